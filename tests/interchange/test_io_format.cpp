// The interchange file's building blocks: the length-prefixed zlib container, the date-time
// text and the comma-path XML helper, on good and on hostile input.
#include "interchange/Interchange.h"
#include "interchange/pU_XmlTry.h"
#include "interchange/WyxContainer.h"
#include "interchange/XmlDateTime.h"
#include "IoFixture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <zlib.h>

using IoFixture::ZoneScope;

namespace {

QByteArray lengthField(quint64 length)
{
    QByteArray field(8, '\0');
    for (int i = 0; i < 8; ++i)
        field[i] = char(length >> (8 * i));
    return field;
}

QByteArray zlibLevel9(const QByteArray &text)
{
    uLongf size = compressBound(uLong(text.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &size,
              reinterpret_cast<const Bytef *>(text.constData()), uLong(text.size()), 9);
    out.resize(qsizetype(size));
    return out;
}

TDateTime days(int y, int m, int d, int h, int n, int s)
{
    return WallTimeToDays(WallTime{QDate(y, m, d).toJulianDay(), (h * 60 + n) * 60 + s});
}

QDateTime instant(TDateTime value)
{
    const WallTime wall = *DaysToWallTime(value);
    return QDateTime(QDate::fromJulianDay(wall.julianDay),
                     QTime::fromMSecsSinceStartOfDay(wall.seconds * 1000), Qt::LocalTime)
        .toUTC();
}

// Loads text into the document the way a file is read: through a container file.
bool loadAsFile(Txmltry &xml, const QByteArray &text)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.wyx"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(WyxContainer::encode(text)) < 0)
        return false;
    file.close();
    return xml.LoadFromFile(path);
}

} // namespace

class TestIoFormat : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void container_roundTrip();
    void container_writerMatchesZlibLevel9();
    void container_refusesBadInput_data();
    void container_refusesBadInput();
    void container_absurdLengthAllocatesNothing();

    void zone_designator_data();
    void zone_designator();
    void dateText_format_data();
    void dateText_format();
    void dateText_parse_data();
    void dateText_parse();
    void dateText_sameZoneRoundTripAcrossSeasons();
    void dateText_otherZoneGivesSameInstant_data();
    void dateText_otherZoneGivesSameInstant();

    void xml_paths();
    void xml_missingAttribute();
    void xml_skeleton();
    void xml_refusesHostileText_data();
    void xml_refusesHostileText();
    void xml_acceptsDeclarationBomAndWhitespace();
    void xml_escapesRoundTrip();
};

// ---- container --------------------------------------------------------------------------

void TestIoFormat::container_roundTrip()
{
    for (const QByteArray &text : {QByteArray("<a/>"), QByteArray(3'000'000, 'x'),
                                   QByteArray("\xC3\xA9t\xC3\xA9 <b c=\"d\"/>")}) {
        const QByteArray container = WyxContainer::encode(text);
        QCOMPARE(container.left(8), lengthField(quint64(text.size())));
        QByteArray back;
        QString why;
        QVERIFY2(WyxContainer::decode(container, back, &why), qPrintable(why));
        QCOMPARE(back, text);
    }
}

void TestIoFormat::container_writerMatchesZlibLevel9()
{
    // Level 9, window 15, memory level 8, default strategy are zlib's compress2 settings.
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += "<task tid=\"" + QByteArray::number(i * 7919) + "\" content=\"buy milk\"/>";
    const QByteArray container = WyxContainer::encode(text);
    QCOMPARE(container.mid(8), zlibLevel9(text));
    QCOMPARE(quint8(container.at(8)), quint8(0x78));
    QCOMPARE(quint8(container.at(9)), quint8(0xDA));
}

void TestIoFormat::container_refusesBadInput_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray text = QByteArray("<ploxen app=\"Tasklume\"/>").repeated(50);
    const QByteArray stream = zlibLevel9(text);
    const quint64 size = quint64(text.size());
    QByteArray gzip = stream;
    gzip[0] = char(0x1f);
    gzip[1] = char(0x8b);
    QByteArray badAdler = lengthField(size) + stream;
    badAdler[badAdler.size() - 1] = char(badAdler.at(badAdler.size() - 1) ^ 0x55);

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("shorter than the length field") << QByteArray("\x05\0\0", 3);
    QTest::newRow("length only") << lengthField(size);
    QTest::newRow("plain XML") << lengthField(size) + text;
    QTest::newRow("plain XML without length") << text;
    QTest::newRow("gzip header") << lengthField(size) + gzip;
    QTest::newRow("truncated stream") << lengthField(size) + stream.left(stream.size() / 2);
    QTest::newRow("stream without trailer") << lengthField(size) + stream.chopped(4);
    QTest::newRow("wrong checksum") << badAdler;
    QTest::newRow("length larger than the stream") << lengthField(size + 1) + stream;
    QTest::newRow("length smaller than the stream") << lengthField(size - 1) + stream;
    QTest::newRow("length zero") << lengthField(0) + stream;
    QTest::newRow("absurd length") << lengthField(quint64(1) << 62) + stream;
    QTest::newRow("negative length") << lengthField(~quint64(0)) + stream;
    QTest::newRow("just above the limit") << lengthField(WyxContainer::MaxTextSize + 1) + stream;
    QTest::newRow("data after the stream") << lengthField(size) + stream + "x";
    QTest::newRow("two streams") << lengthField(size) + stream + stream;
}

void TestIoFormat::container_refusesBadInput()
{
    QFETCH(QByteArray, file);
    QByteArray text = "left over";
    QString why;
    QVERIFY(!WyxContainer::decode(file, text, &why));
    QVERIFY(!why.isEmpty());
    QVERIFY(text.isEmpty());
}

void TestIoFormat::container_absurdLengthAllocatesNothing()
{
    // A stream of 100 MB of zeros that claims 900 MB: the buffer follows what really comes
    // out, and the mismatch is refused.
    z_stream zs{};
    deflateInit(&zs, 9);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray stream(1 << 20, '\0');
    zs.next_out = reinterpret_cast<Bytef *>(stream.data());
    zs.avail_out = uInt(stream.size());
    for (int i = 0; i < 100; ++i) {
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        zs.avail_in = uInt(zeros.size());
        deflate(&zs, i == 99 ? Z_FINISH : Z_NO_FLUSH);
    }
    stream.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    QByteArray text;
    QString why;
    QVERIFY(!WyxContainer::decode(lengthField(900u << 20) + stream, text, &why));
    QCOMPARE(why, QStringLiteral("the stream holds less than the length field says"));
    // The same stream with its true length is a (useless but honest) document.
    QVERIFY(WyxContainer::decode(lengthField(100u << 20) + stream, text, &why));
    QCOMPARE(text.size(), qsizetype(100) << 20);
}

// ---- date-time text ---------------------------------------------------------------------

void TestIoFormat::zone_designator_data()
{
    QTest::addColumn<int>("bias");
    QTest::addColumn<QString>("designator");
    QTest::newRow("UTC") << 0 << QStringLiteral("Z");
    QTest::newRow("60 behind") << 60 << QStringLiteral("-01:00");
    QTest::newRow("300 behind") << 300 << QStringLiteral("-05:00");
    QTest::newRow("330 ahead") << -330 << QStringLiteral("+05:30");
    QTest::newRow("30 ahead") << -30 << QStringLiteral("+00:30");
    QTest::newRow("Chatham") << -825 << QStringLiteral("+13:45");
}

void TestIoFormat::zone_designator()
{
    QFETCH(int, bias);
    QFETCH(QString, designator);
    QCOMPARE(XmlDateTimeText(days(2024, 2, 29, 23, 59, 58), bias),
             QStringLiteral("2024-02-29T23:59:58.000") + designator);
}

void TestIoFormat::dateText_format_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << QStringLiteral("1899-12-30T00:00:00.000");
    QTest::newRow("noon") << 45000.5 << QStringLiteral("2023-03-15T12:00:00.000");
    // Milliseconds are cut, not rounded.
    QTest::newRow("cut to seconds") << days(2024, 5, 6, 7, 8, 9) + 999.0 / 86400000.0
                                    << QStringLiteral("2024-05-06T07:08:09.000");
    // A whole second stored as a slightly short double stays that second.
    QTest::newRow("binary fraction")
        << 45000.0 + 37815.0 / 86400.0 << QStringLiteral("2023-03-15T10:30:15.000");
    QTest::newRow("before the epoch") << -1.25 << QStringLiteral("1899-12-29T06:00:00.000");
    QTest::newRow("out of range") << 1e9 << QStringLiteral("1899-12-30T00:00:00.000");
    QTest::newRow("year 1") << days(1, 1, 1, 0, 0, 1) << QStringLiteral("0001-01-01T00:00:01.000");
}

void TestIoFormat::dateText_format()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(XmlDateTimeText(value, 0), text + QLatin1Char('Z'));
    QCOMPARE(DateTimeToXmlText(value, false), text + QLatin1Char('Z'));
}

void TestIoFormat::dateText_parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value"); // read in UTC
    const double t = days(2024, 3, 1, 9, 30, 15);
    QTest::newRow("Z") << "2024-03-01T09:30:15.000Z" << true << t;
    QTest::newRow("no designator") << "2024-03-01T09:30:15.000" << true << t;
    QTest::newRow("no fraction") << "2024-03-01T09:30:15Z" << true << t;
    QTest::newRow("long fraction ignored") << "2024-03-01T09:30:15.987654Z" << true << t;
    QTest::newRow("ahead of UTC") << "2024-03-01T11:00:15.000+01:30" << true << t;
    QTest::newRow("behind UTC") << "2024-03-01T04:30:15.000-05:00" << true << t;
    QTest::newRow("across midnight") << "2024-02-29T23:30:15.000-10:00" << true << t;
    QTest::newRow("zero in any zone") << "1899-12-30T00:00:00.000+09:00" << true << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("date only") << "2024-03-01" << false << 0.0;
    QTest::newRow("blank for T") << "2024-03-01 09:30:15.000Z" << false << 0.0;
    QTest::newRow("month 13") << "2024-13-01T09:30:15.000Z" << false << 0.0;
    QTest::newRow("30 February") << "2024-02-30T09:30:15.000Z" << false << 0.0;
    QTest::newRow("hour 24") << "2024-03-01T24:00:00.000Z" << false << 0.0;
    QTest::newRow("second 60") << "2024-03-01T09:30:60.000Z" << false << 0.0;
    QTest::newRow("year 0") << "0000-03-01T09:30:15.000Z" << false << 0.0;
    QTest::newRow("letters") << "2024-0a-01T09:30:15.000Z" << false << 0.0;
    QTest::newRow("signed field") << "2024-+3-01T09:30:15.000Z" << false << 0.0;
    QTest::newRow("empty fraction") << "2024-03-01T09:30:15.Z" << false << 0.0;
    QTest::newRow("offset without colon") << "2024-03-01T09:30:15.000+0100" << false << 0.0;
    QTest::newRow("offset hour 24") << "2024-03-01T09:30:15.000+24:00" << false << 0.0;
    QTest::newRow("trailing text") << "2024-03-01T09:30:15.000Zx" << false << 0.0;
    QTest::newRow("leading blank") << " 2024-03-01T09:30:15.000Z" << false << 0.0;
    QTest::newRow("non-ASCII digit")
        << QString::fromUtf8("2024-03-01T09:30:1\xd9\xa5.000Z") << false << 0.0;
}

void TestIoFormat::dateText_parse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    ZoneScope zone("UTC");
    const std::optional<TDateTime> parsed = XmlTextToDateTime(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void TestIoFormat::dateText_sameZoneRoundTripAcrossSeasons()
{
    // Written in winter or in summer, read in the same zone: the same wall-clock times, the
    // hour the clock skips and the hour it repeats included.
    ZoneScope zone("Europe/Berlin");
    const TDateTime values[] = {
        days(2024, 1, 15, 8, 0, 0),     days(2024, 7, 15, 8, 0, 0),  days(2024, 3, 31, 2, 30, 0),
        days(2024, 10, 27, 2, 30, 0),   days(1899, 12, 30, 0, 0, 1), days(1950, 6, 1, 12, 0, 0),
        days(9999, 12, 31, 23, 59, 59),
    };
    for (const TDateTime value : values) {
        const QString text = DateTimeToXmlText(value, true);
        QCOMPARE(XmlTextToDateTime(text), std::optional<TDateTime>(value));
    }
    QVERIFY(DateTimeToXmlText(days(2024, 1, 15, 8, 0, 0)).endsWith(QLatin1String("+01:00")));
    QVERIFY(DateTimeToXmlText(days(2024, 7, 15, 8, 0, 0)).endsWith(QLatin1String("+02:00")));
}

void TestIoFormat::dateText_otherZoneGivesSameInstant_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("winter") << days(2024, 1, 15, 8, 0, 0);
    QTest::newRow("summer") << days(2024, 7, 15, 23, 45, 10);
    QTest::newRow("first summer day in Berlin") << days(2024, 3, 31, 12, 0, 0);
    QTest::newRow("New York already summer, Berlin not") << days(2024, 3, 20, 12, 0, 0);
}

void TestIoFormat::dateText_otherZoneGivesSameInstant()
{
    QFETCH(double, value);
    QString text;
    QDateTime written;
    {
        ZoneScope zone("Europe/Berlin");
        text = DateTimeToXmlText(value, true);
        written = instant(value);
    }
    ZoneScope zone("America/New_York");
    const std::optional<TDateTime> read = XmlTextToDateTime(text);
    QVERIFY(read);
    QCOMPARE(instant(*read), written);
}

// ---- the XML helper ---------------------------------------------------------------------

void TestIoFormat::xml_paths()
{
    QStringList shown;
    Txmltry xml([&](const QString &text) { shown.append(text); });
    QVERIFY(xml.loadFromText("<root a=\"1\"><x n=\"x0\"/><tasks><one v=\"0\"/><two v=\"1\"/>"
                             "<three v=\"2\"/></tasks><x n=\"x1\"/></root>"));
    // The first component stands for the root whatever its name.
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen"), "a"), QStringLiteral("1"));
    QCOMPARE(xml.CountChildren(QStringLiteral("ploxen,tasks")), 3);
    // "#N" takes the N-th child whatever its name, in any order of asking.
    for (const int n : {0, 1, 2, 1, 0, 2}) {
        QCOMPARE(xml.GetAttr(QStringLiteral("ploxen,tasks,task#") + QString::number(n), "v"),
                 QString::number(n));
    }
    // A name takes the first child element of that name.
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen,x"), "n"), QStringLiteral("x0"));
    // A component that selects nothing leaves the position where it was.
    QCOMPARE(xml.CountChildren(QStringLiteral("ploxen,memos")), 3);
    QCOMPARE(xml.findNode(QStringLiteral("ploxen,tasks,task#7")).name(), "tasks");
    QCOMPARE(xml.findNode(QStringLiteral("ploxen,tasks,task#-1")).name(), "tasks");
    QCOMPARE(xml.findNode(QStringLiteral("ploxen,tasks,task#x")).name(), "tasks");
    QVERIFY(shown.isEmpty());
}

void TestIoFormat::xml_missingAttribute()
{
    QStringList shown;
    Txmltry xml([&](const QString &text) { shown.append(text); });
    QVERIFY(xml.loadFromText("<ploxen><tasks><task tid=\"a\"/></tasks></ploxen>"));
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen,tasks,task#0"), "pid"), QString());
    QVERIFY(xml.rawAttr(QStringLiteral("ploxen,tasks,task#0"), "due-time") == nullptr);
    // SetAttr never creates an attribute.
    QVERIFY(!xml.SetAttr(QStringLiteral("ploxen"), "app", QStringLiteral("Tasklume")));
    QVERIFY(!xml.findNode(QStringLiteral("ploxen")).attribute("app"));
    QVERIFY(xml.SetAttr(QStringLiteral("ploxen,tasks,task#0"), "tid", QStringLiteral("b")));
    QCOMPARE(shown, QStringList({QStringLiteral("ploxen,tasks,task#0: pid not Exist !"),
                                 QStringLiteral("ploxen,tasks,task#0: due-time not Exist !"),
                                 QStringLiteral("ploxen: app not Exist !")}));
}

void TestIoFormat::xml_skeleton()
{
    Txmltry xml(nullptr);
    QVERIFY(xml.loadFromText(Interchange::SkeletonText()));
    const pugi::xml_node root = xml.findNode(QStringLiteral("ploxen"));
    QStringList attributes;
    for (const pugi::xml_attribute a : root.attributes())
        attributes << QString::fromUtf8(a.name()) + QLatin1Char('=') + QString::fromUtf8(a.value());
    QCOMPARE(attributes, QStringList({QStringLiteral("app="), QStringLiteral("appversion="),
                                      QStringLiteral("dataversion=1.1"), QStringLiteral("time=")}));
    QStringList sections;
    for (const pugi::xml_node child : root.children())
        sections << QString::fromUtf8(child.name());
    // The whitespace between the lines is not kept: the sections are the only children.
    QCOMPARE(sections, QStringList({QStringLiteral("tasks"), QStringLiteral("memos"),
                                    QStringLiteral("notes"), QStringLiteral("peers")}));
    QVERIFY(Interchange::SkeletonText().contains("\r  <tasks/>\r"));
}

void TestIoFormat::xml_refusesHostileText_data()
{
    QTest::addColumn<QByteArray>("text");
    QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE ploxen [\n<!ENTITY a0 \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        bomb += "<!ENTITY a" + QByteArray::number(i) + " \"" +
                QByteArray("&a" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    bomb += "]>\n<ploxen app=\"&a9;\"><tasks/><memos/></ploxen>";
    QTest::newRow("entity bomb") << bomb;
    QTest::newRow("external entity")
        << QByteArray("<!DOCTYPE ploxen [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                      "<ploxen app=\"&x;\"/>");
    QTest::newRow("plain DOCTYPE") << QByteArray("<!DOCTYPE ploxen><ploxen app=\"Tasklume\"/>");
    QTest::newRow("invalid UTF-8") << QByteArray("<ploxen app=\"Task\xff\xfelume\"/>");
    QTest::newRow("overlong UTF-8") << QByteArray("<ploxen app=\"\xc0\xbc\"/>");
    QTest::newRow("UTF-16 surrogate in UTF-8") << QByteArray("<ploxen app=\"\xed\xa0\x80\"/>");
    QTest::newRow("cut UTF-8 at the end") << QByteArray("<ploxen app=\"x\"/>\xe2\x82");
    QTest::newRow("Latin-1 declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                      "<ploxen app=\"caf\xe9\"/>");
    QTest::newRow("unclosed root") << QByteArray("<ploxen app=\"Tasklume\"><tasks>");
    QTest::newRow("mismatched tags") << QByteArray("<ploxen><tasks></memos></ploxen>");
    QTest::newRow("unquoted attribute") << QByteArray("<ploxen app=Tasklume/>");
    QTest::newRow("no root element") << QByteArray("<?xml version=\"1.0\"?>  ");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("NUL bytes") << QByteArray("<ploxen app=\"Tasklume\"/>\0\0<x", 28);
}

void TestIoFormat::xml_refusesHostileText()
{
    QFETCH(QByteArray, text);
    Txmltry xml(nullptr);
    QVERIFY(!loadAsFile(xml, text));
    QVERIFY(!xml.loadError().isEmpty());
    QVERIFY(!xml.findNode(QStringLiteral("ploxen")));
}

void TestIoFormat::xml_acceptsDeclarationBomAndWhitespace()
{
    Txmltry xml(nullptr);
    QVERIFY(loadAsFile(
        xml, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- note -->\n"
             "<ploxen app=\"Tasklume\">\n  <tasks>\n    <task tid=\"1\"/>\n    <task tid=\"2\"/>\n"
             "  </tasks>\n</ploxen>\n"));
    QCOMPARE(xml.CountChildren(QStringLiteral("ploxen,tasks")), 2);
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen,tasks,task#1"), "tid"), QStringLiteral("2"));
    // Deep nesting is no problem for a parser that does not recurse.
    const QByteArray deep =
        QByteArray("<a>").repeated(200000) + QByteArray("</a>").repeated(200000);
    QVERIFY(loadAsFile(xml, deep));
}

void TestIoFormat::xml_escapesRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.wyx"));
    const QString value = QString::fromUtf8("a <b> & \"c\" 'd'\n\te\r f \xF0\x9F\x98\x80 \x01");
    {
        Txmltry xml(nullptr);
        QVERIFY(xml.loadFromText(Interchange::SkeletonText()));
        QVERIFY(xml.SetAttr(QStringLiteral("ploxen"), "app", value));
        QVERIFY(xml.SaveToFile(path));
    }
    Txmltry xml(nullptr);
    QVERIFY2(xml.LoadFromFile(path), qPrintable(xml.loadError()));
    QCOMPARE(xml.GetAttr(QStringLiteral("ploxen"), "app"), value);
}

QTEST_GUILESS_MAIN(TestIoFormat)
#include "test_io_format.moc"
