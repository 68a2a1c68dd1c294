#include "Reports.h"

#include "ProgramVersion.h"
#include "SafeFile.h"
#include "Texts.h"

namespace Reports {

QString ProductPageAddress()
{
    QString site = Texts::WebSite;
    while (site.endsWith(QLatin1Char('/')))
        site.chop(1);
    return site + QStringLiteral("/tasklume");
}

QString VersionText()
{
    return ProgramVersion();
}

Stamp MakeStamp(const QDateTime &moment)
{
    return {FormatDateTime(DateTimeToDays(moment)), VersionText(), ProductPageAddress()};
}

Entries CollectEntries(const QList<ItemNode *> &selected)
{
    Entries entries;
    for (const ItemNode *node : selected) {
        if (node == nullptr || node->info == nullptr)
            continue;
        entries.list.append({node, false});
        ++entries.mainCount;
        if (node->level() != 0)
            continue;
        for (const auto &child : node->children) {
            entries.list.append({child.get(), true});
            ++entries.childCount;
        }
    }
    return entries;
}

bool WriteReportFile(const QString &fileName, const QByteArray &bytes)
{
    return SafeFile::Write(fileName, bytes);
}

QString ChangeExtension(const QString &fileName, const QString &extension)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    // The dot must lie in the last part and not start it.
    if (dot > slash + 1)
        return fileName.left(dot) + extension;
    return fileName + extension;
}

QByteArray AsciiWithReferences(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            bytes.append(char(c.unicode()));
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        }
        bytes.append("&#");
        bytes.append(QByteArray::number(quint32(code)));
        bytes.append(';');
    }
    return bytes;
}

} // namespace Reports
