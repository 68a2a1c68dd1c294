// The version values: compiled into the running program, "Value Not Available" for any
// other file, empty for a key the table lacks.
#include "common/ProgramVersion.h"
#include "common/pU_Funcs.h"
#include "common/Reports.h"
#include "components/WyVersionInfo.h"
#include "interchange/Interchange.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

class TestVersionInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ownProgramCarriesTheBuildValues();
    void versionIsFourNumbers_data();
    void versionIsFourNumbers();
    void otherFileHasNone();
    void missingKeyGivesEmptyValue_data();
    void missingKeyGivesEmptyValue();
    void indexOutsideTheListIsAnError();
};

void TestVersionInfo::ownProgramCarriesTheBuildValues()
{
    TWyVersionInfo info;
    QCOMPARE(info.FilePath(), QCoreApplication::applicationFilePath());
    QVERIFY(info.hasVersionInfo());
    QCOMPARE(info.GetValue(TWyVersionInfo::FileVersion), QStringLiteral(TASKLUME_VERSION));
    QCOMPARE(info.GetValue(TWyVersionInfo::ProductVersion), QStringLiteral(TASKLUME_VERSION));
    QCOMPARE(info.GetValue(TWyVersionInfo::ProductName), QStringLiteral("Ploxen Tasklume"));
    QCOMPARE(info.GetValue(TWyVersionInfo::CompanyName), QStringLiteral("Ploxen Software"));
    // The core's own version text is the component's file version.
    QCOMPARE(ProgramVersion(), info.GetValue(TWyVersionInfo::FileVersion));
    // The ten keys in their fixed order.
    QCOMPARE(TWyVersionInfo::keys(),
             QStringLiteral("CompanyName FileDescription FileVersion InternalName "
                            "LegalCopyright LegalTrademarks OriginalFilename ProductName "
                            "ProductVersion Comments")
                 .split(QLatin1Char(' ')));
}

void TestVersionInfo::versionIsFourNumbers_data()
{
    // Every place the version is shown or written: the about box and the interchange
    // file's "appversion" take the file version, the reports their signature line, the
    // programs' --version the compiled value.
    QTest::addColumn<QString>("version");
    const TWyVersionInfo info;
    QTest::newRow("file version") << info.GetValue(TWyVersionInfo::FileVersion);
    QTest::newRow("product version") << info.GetValue(TWyVersionInfo::ProductVersion);
    QTest::newRow("report signature") << Reports::MakeStamp(QDateTime::currentDateTime()).version;
    QTest::newRow("interchange appversion") << Interchange::FileVersionText();
    QTest::newRow("compiled version") << QStringLiteral(TASKLUME_VERSION);
}

void TestVersionInfo::versionIsFourNumbers()
{
    QFETCH(QString, version);
    static const QRegularExpression fourNumbers(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    QVERIFY2(fourNumbers.match(version).hasMatch(), qPrintable(version));
}

void TestVersionInfo::otherFileHasNone()
{
    QTemporaryFile other;
    QVERIFY(other.open());
    TWyVersionInfo info;
    info.setFilePath(other.fileName());
    QVERIFY(!info.hasVersionInfo());
    for (int i = 0; i < TWyVersionInfo::ValueCount; ++i)
        QCOMPARE(info.GetValue(i), QStringLiteral("Value Not Available"));

    // Back to the program itself reads its values again.
    info.setFilePath(QCoreApplication::applicationFilePath());
    QVERIFY(info.hasVersionInfo());
    QCOMPARE(info.GetValue(TWyVersionInfo::FileVersion), QStringLiteral(TASKLUME_VERSION));
}

void TestVersionInfo::missingKeyGivesEmptyValue_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("FileVersion") << QStringLiteral("FileVersion");
    QTest::newRow("Comments") << QStringLiteral("Comments");
    QTest::newRow("CompanyName") << QStringLiteral("CompanyName");
}

void TestVersionInfo::missingKeyGivesEmptyValue()
{
    QFETCH(QString, missing);
    TWyVersionInfo::Table table;
    for (const QString &key : TWyVersionInfo::keys()) {
        if (key != missing)
            table.append({key, key + QStringLiteral(" value")});
    }
    const QStringList values = TWyVersionInfo::valuesFromTable(&table);
    QCOMPARE(values.size(), TWyVersionInfo::ValueCount);
    for (int i = 0; i < values.size(); ++i) {
        const QString key = TWyVersionInfo::keys().at(i);
        QCOMPARE(values.at(i), key == missing ? QString() : key + QStringLiteral(" value"));
    }
}

void TestVersionInfo::indexOutsideTheListIsAnError()
{
    TWyVersionInfo info;
    QVERIFY_THROWS_EXCEPTION(TasklumeError, info.GetValue(10));
    QVERIFY_THROWS_EXCEPTION(TasklumeError, info.GetValue(-1));
    QCOMPARE(info.GetValue(9), info.GetValue(TWyVersionInfo::Comments));
}

QTEST_GUILESS_MAIN(TestVersionInfo)
#include "test_versioninfo.moc"
