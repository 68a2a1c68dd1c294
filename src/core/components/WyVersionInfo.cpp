#include "WyVersionInfo.h"

#include "common/pU_Funcs.h"
#include "common/TasklumeVersionValues.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
const QString kNotAvailable = QStringLiteral("Value Not Available");

QString ownProgramPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}
} // namespace

TWyVersionInfo::TWyVersionInfo(QObject *parent) : QObject(parent)
{
    ReadVersionInfo();
}

void TWyVersionInfo::setFilePath(const QString &path)
{
    if (path == m_filePath)
        return;
    m_filePath = path;
    ReadVersionInfo();
}

void TWyVersionInfo::ReadVersionInfo()
{
    const QString own = ownProgramPath();
    if (m_filePath.isEmpty())
        m_filePath = own;
    // Only the running program carries compiled-in values.
    m_hasInfo = !own.isEmpty() && sameFile(m_filePath, own);
    m_values = valuesFromTable(m_hasInfo ? &programTable() : nullptr);
}

QString TWyVersionInfo::GetValue(int index) const
{
    if (index < 0 || index >= m_values.size())
        throw TasklumeError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_values.at(index);
}

const QStringList &TWyVersionInfo::keys()
{
    static const QStringList names{
        QStringLiteral("CompanyName"),      QStringLiteral("FileDescription"),
        QStringLiteral("FileVersion"),      QStringLiteral("InternalName"),
        QStringLiteral("LegalCopyright"),   QStringLiteral("LegalTrademarks"),
        QStringLiteral("OriginalFilename"), QStringLiteral("ProductName"),
        QStringLiteral("ProductVersion"),   QStringLiteral("Comments"),
    };
    return names;
}

QStringList TWyVersionInfo::valuesFromTable(const Table *table)
{
    QStringList values;
    for (const QString &key : keys()) {
        if (!table) {
            values.append(kNotAvailable);
            continue;
        }
        QString value;
        for (const auto &entry : *table) {
            if (entry.first == key) {
                value = entry.second;
                break;
            }
        }
        values.append(value);
    }
    return values;
}

const TWyVersionInfo::Table &TWyVersionInfo::programTable()
{
    static const Table table{
        {QStringLiteral("CompanyName"), QStringLiteral(TASKLUME_VI_COMPANY_NAME)},
        {QStringLiteral("FileDescription"), QStringLiteral(TASKLUME_VI_FILE_DESCRIPTION)},
        {QStringLiteral("FileVersion"), QStringLiteral(TASKLUME_VI_FILE_VERSION)},
        {QStringLiteral("InternalName"), QStringLiteral(TASKLUME_VI_INTERNAL_NAME)},
        {QStringLiteral("LegalCopyright"), QStringLiteral(TASKLUME_VI_LEGAL_COPYRIGHT)},
        {QStringLiteral("LegalTrademarks"), QStringLiteral(TASKLUME_VI_LEGAL_TRADEMARKS)},
        {QStringLiteral("OriginalFilename"), QStringLiteral(TASKLUME_VI_ORIGINAL_FILENAME)},
        {QStringLiteral("ProductName"), QStringLiteral(TASKLUME_VI_PRODUCT_NAME)},
        {QStringLiteral("ProductVersion"), QStringLiteral(TASKLUME_VI_PRODUCT_VERSION)},
        {QStringLiteral("Comments"), QStringLiteral(TASKLUME_VI_COMMENTS)},
    };
    return table;
}
