// Row keys as the records hold them: every key reads back as exactly the text it was made
// from, compares and hashes like that text, and the program's own keys take no text.
#include "common/pU_Funcs.h"
#include "common/RowKey.h"
#include "common/Texts.h"

#include <QTest>

class TestRowKey : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAsItsText_data();
    void readsAsItsText();
    void comparesLikeItsText_data();
    void comparesLikeItsText();
    void copiesAndMovesKeepTheKey();
};

void TestRowKey::readsAsItsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("own form") << QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF0123456789}");
    QTest::newRow("all zero") << QStringLiteral("{00000000-0000-0000-0000-000000000000}");
    QTest::newRow("all F") << QStringLiteral("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
    QTest::newRow("lower-case digits") << QStringLiteral("{0a1b2c3d-4e5f-6789-abcd-ef0123456789}");
    QTest::newRow("no braces") << QStringLiteral("0A1B2C3D-4E5F-6789-ABCD-EF0123456789");
    QTest::newRow("dash out of place") << QStringLiteral("{0A1B2C3D4-E5F-6789-ABCD-EF0123456789}");
    QTest::newRow("one digit short") << QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF012345678}");
    QTest::newRow("not hexadecimal") << QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF012345678G}");
    QTest::newRow("root") << Texts::RootKey;
    QTest::newRow("empty") << QString();
    QTest::newRow("other text") << QStringLiteral("key 7");
    QTest::newRow("outside ASCII") << QStringLiteral("{Ä1B2C3D-4E5F-6789-ABCD-EF0123456789}");
    QTest::newRow("new key") << NewRowKey();
}

void TestRowKey::readsAsItsText()
{
    QFETCH(QString, text);
    const RowKey key(text);
    QCOMPARE(key.toString(), text);
    QCOMPARE(QString(key), text);
    QCOMPARE(key.toUtf8(), text.toUtf8());
    QCOMPARE(key.size(), text.size());
    QCOMPARE(key.isEmpty(), text.isEmpty());
    // Read from the UTF-8 a database holds, the key is the same.
    const RowKey read = RowKey::fromUtf8(text.toUtf8());
    QCOMPARE(read.toString(), text);
    QVERIFY(read == key);
    QCOMPARE(read.hash(), key.hash());
    RowKey assigned;
    assigned = text;
    QVERIFY(assigned == key);
    assigned.clear();
    QVERIFY(assigned.isEmpty());
    QCOMPARE(assigned.toString(), QString());
}

void TestRowKey::comparesLikeItsText_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    const QString own = QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF0123456789}");
    QTest::newRow("same") << own << own;
    QTest::newRow("last digit") << own << QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF0123456788}");
    QTest::newRow("first digit") << own << QStringLiteral("{1A1B2C3D-4E5F-6789-ABCD-EF0123456789}");
    QTest::newRow("letter case") << own << own.toLower();
    QTest::newRow("own form and text") << own << QStringLiteral("root");
    QTest::newRow("empty and own form") << QString() << own;
    QTest::newRow("empty and root") << QString() << Texts::RootKey;
    QTest::newRow("two texts") << QStringLiteral("a") << QStringLiteral("b");
    QTest::newRow("same text") << QStringLiteral("a") << QStringLiteral("a");
}

void TestRowKey::comparesLikeItsText()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    const RowKey keyA(a);
    const RowKey keyB(b);
    const bool equal = a == b;
    QCOMPARE(keyA == keyB, equal);
    QCOMPARE(keyA != keyB, !equal);
    QCOMPARE(keyA == b, equal);
    QCOMPARE(a == keyB, equal);
    QCOMPARE(keyA != b, !equal);
    if (equal)
        QCOMPARE(qHash(keyA), qHash(keyB));
}

void TestRowKey::copiesAndMovesKeepTheKey()
{
    for (const QString &text : {NewRowKey(), QStringLiteral("other"), Texts::RootKey, QString()}) {
        RowKey key(text);
        RowKey copy(key);
        RowKey assigned;
        assigned = copy;
        const RowKey &same = assigned;
        assigned = same; // onto itself
        RowKey moved(std::move(copy));
        RowKey moveAssigned;
        moveAssigned = std::move(assigned);
        for (const RowKey *each : {&key, &moved, &moveAssigned})
            QCOMPARE(each->toString(), text);
        key = QStringLiteral("changed");
        QCOMPARE(moved.toString(), text);
    }
}

QTEST_MAIN(TestRowKey)
#include "test_rowkey.moc"
