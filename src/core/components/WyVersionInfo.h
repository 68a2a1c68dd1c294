// The version values of a program file. This program carries its values compiled in from
// the build (there is no version resource on this platform): the running program's own
// file has them, any other file has none.
#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class TWyVersionInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString FilePath READ FilePath WRITE setFilePath)
public:
    // The ten values, in this order, addressed by index.
    enum Index
    {
        CompanyName = 0,
        FileDescription = 1,
        FileVersion = 2,
        InternalName = 3,
        LegalCopyright = 4,
        LegalTrademarks = 5,
        OriginalFilename = 6,
        ProductName = 7,
        ProductVersion = 8,
        Comments = 9,
    };
    static constexpr int ValueCount = 10;

    // Reads the values at once (of the program's own file while FilePath is empty).
    explicit TWyVersionInfo(QObject *parent = nullptr);

    const QString &FilePath() const { return m_filePath; }
    // A different path reads the values again.
    void setFilePath(const QString &path);

    void ReadVersionInfo();
    // The value at an index of the table above. Throws TasklumeError outside 0 to 9.
    QString GetValue(int index) const;
    bool hasVersionInfo() const { return m_hasInfo; }

    // The ten key names in index order.
    static const QStringList &keys();
    // A version table as key and value pairs; a missing key gives an empty value.
    using Table = QList<QPair<QString, QString>>;
    // The values of a file with the given table, or of a file without any (null):
    // "Value Not Available" ten times.
    static QStringList valuesFromTable(const Table *table);
    // The table compiled into this program.
    static const Table &programTable();

private:
    QString m_filePath;
    QStringList m_values;
    bool m_hasInfo = false;
};
