// Where the real program's window lands under a window manager: whatever the settings file
// says about the window's place (a place off any side of the screen, a corner, a size
// larger than the screen, damaged numbers, a huge file), the program starts, shows its
// window, and the whole frame with its title bar lies on the screen; a saved size that
// fits is kept. The first start on a small screen at double scale fits as well.
#include "E2eSupport.h"
#include "storage/Database.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRect>
#include <QTest>

using namespace TestSupport;

namespace {
const QString kTitle = QStringLiteral("Ploxen Tasklume");

// The window's client rectangle on the screen, from xwininfo.
QRect clientRect(const X11Session &session, const QString &window)
{
    const QString info = session.run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        const QString value = trimmed.section(QLatin1Char(':'), 1).trimmed();
        if (trimmed.startsWith(QLatin1String("Absolute upper-left X:")))
            x = value.toInt();
        else if (trimmed.startsWith(QLatin1String("Absolute upper-left Y:")))
            y = value.toInt();
        else if (trimmed.startsWith(QLatin1String("Width:")))
            width = value.toInt();
        else if (trimmed.startsWith(QLatin1String("Height:")))
            height = value.toInt();
    }
    return QRect(x, y, width, height);
}

// The frame the window manager drew around the window (_NET_FRAME_EXTENTS: left, right,
// top, bottom), or a null rectangle while it has drawn none.
QRect frameRect(const X11Session &session, const QString &window)
{
    const QString prop =
        session.run(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")});
    const QString values = prop.section(QLatin1Char('='), 1).trimmed();
    const QStringList parts = values.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return {};
    const int left = parts.at(0).trimmed().toInt();
    const int right = parts.at(1).trimmed().toInt();
    const int top = parts.at(2).trimmed().toInt();
    const int bottom = parts.at(3).trimmed().toInt();
    if (top <= 0)
        return {};
    return clientRect(session, window).adjusted(-left, -top, right, bottom);
}

// Waits until the window's frame lies within the screen; returns the frame seen last.
QRect waitForFrameWithin(const X11Session &session, const QString &window, const QRect &screen)
{
    QRect frame;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        frame = frameRect(session, window);
        if (!frame.isNull() && screen.contains(frame))
            return frame;
        QTest::qWait(100);
    }
    return frame;
}

void seedDatabase(const ProgramFolder &folder)
{
    TestSupport::seedDatabase(
        folder.file(QStringLiteral("wyData.wyb")),
        {Row{key(1), QStringLiteral("root"), QStringLiteral("Water the plants")}});
}

QString rectText(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}
} // namespace

class TestE2ePlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void frameOnScreen_data();
    void frameOnScreen();
    void firstStartAtDoubleScaleFits();
    void cleanupTestCase();

private:
    std::unique_ptr<X11Session> m_session;
    std::unique_ptr<ProgramFolder> m_folder;
};

void TestE2ePlacement::initTestCase()
{
    m_session = std::make_unique<X11Session>();
    if (!m_session->isRunning())
        QSKIP("Xvfb is not available");
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->copyProgramFiles();
    seedDatabase(*m_folder);
}

void TestE2ePlacement::frameOnScreen_data()
{
    QTest::addColumn<QByteArray>("form"); // the [form] section's lines
    QTest::addColumn<QSize>("keptSize");  // the client size the window keeps, if any
    // The screen is 1280x900; openbox draws a title bar and borders.
    const QSize fits(600, 400);
    const QSize none;
    QTest::newRow("off the left side")
        << QByteArray("Left=-700\nTop=200\nRight=-100\nBottom=600\n") << fits;
    QTest::newRow("off the top") << QByteArray("Left=300\nTop=-500\nRight=900\nBottom=-100\n")
                                 << fits;
    QTest::newRow("at the top edge")
        << QByteArray("Left=300\nTop=0\nRight=900\nBottom=400\n") << fits;
    QTest::newRow("past the right side")
        << QByteArray("Left=1000\nTop=200\nRight=1600\nBottom=600\n") << fits;
    QTest::newRow("past the bottom")
        << QByteArray("Left=300\nTop=800\nRight=900\nBottom=1200\n") << fits;
    QTest::newRow("off the bottom-right corner")
        << QByteArray("Left=1500\nTop=1100\nRight=2100\nBottom=1500\n") << fits;
    QTest::newRow("at the top-left corner")
        << QByteArray("Left=0\nTop=0\nRight=600\nBottom=400\n") << fits;
    QTest::newRow("larger than the screen")
        << QByteArray("Left=0\nTop=0\nRight=1900\nBottom=1200\n") << none;
    QTest::newRow("maximised, larger than the screen")
        << QByteArray("Maximized=1\nLeft=-50\nTop=-50\nRight=1900\nBottom=1200\n") << none;
    // Damaged files.
    QTest::newRow("right and bottom at 40000")
        << QByteArray("Left=10\nTop=10\nRight=40000\nBottom=40000\n") << none;
    QTest::newRow("int extremes")
        << QByteArray("Left=-2147483648\nTop=-2147483648\nRight=2147483647\nBottom=2147483647\n")
        << none;
    QTest::newRow("largest position")
        << QByteArray("Left=2147483647\nTop=2147483647\nRight=2147483647\nBottom=2147483647\n")
        << none;
    QTest::newRow("negative size")
        << QByteArray("Left=500\nTop=500\nRight=-40000\nBottom=-40000\n") << none;
    QTest::newRow("beyond int")
        << QByteArray("Left=-99999999999\nTop=99999999999\nRight=99999999999999\nBottom=1e9\n")
        << none;
    QTest::newRow("not numbers")
        << QByteArray("Maximized=yes\nLeft=left\nTop=\xff\xfe\nRight=0x\nBottom=--7\nSaved=x\n")
        << none;
    QByteArray huge("Left=-40000\nTop=40000\nRight=40000\nBottom=-40000\nJunk=");
    huge += QByteArray(10 * 1024 * 1024, 'x');
    huge += '\n';
    QTest::newRow("a 10 MB file") << huge << none;
}

void TestE2ePlacement::frameOnScreen()
{
    QFETCH(QByteArray, form);
    QFETCH(QSize, keptSize);
    QVERIFY(m_session && m_folder);
    {
        QFile ini(m_folder->file(QStringLiteral("wyConf.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[option]\nvisitWebEn=0\n\n[form]\n" + form);
    }
    ProgramRun program(*m_session, m_folder->path());
    QVERIFY(program.start());
    const QString window = m_session->waitForWindow(kTitle, 30000);
    QVERIFY2(!window.isEmpty(), qPrintable(program.output()));
    QCOMPARE(m_session->mapState(window), QStringLiteral("IsViewable"));

    const QRect screen(0, 0, 1280, 900);
    const QRect frame = waitForFrameWithin(*m_session, window, screen);
    QVERIFY2(!frame.isNull(), "the window manager drew no frame");
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("frame %1").arg(rectText(frame))));
    if (keptSize.isValid())
        QCOMPARE(clientRect(*m_session, window).size(), keptSize);
    QCOMPARE(program.process().state(), QProcess::Running);
}

void TestE2ePlacement::firstStartAtDoubleScaleFits()
{
    // A small screen at double scale: the window's designed size is taller than the screen.
    X11Session session(X11Session::Options{true, false, QStringLiteral("1600x1000x24")});
    if (!session.isRunning())
        QSKIP("Xvfb is not available");
    ProgramFolder folder;
    folder.copyProgramFiles();
    seedDatabase(folder);
    const QByteArray oldScale = qgetenv("QT_SCALE_FACTOR");
    qputenv("QT_SCALE_FACTOR", "2");
    ProgramRun program(session, folder.path());
    const bool started = program.start();
    if (oldScale.isNull())
        qunsetenv("QT_SCALE_FACTOR");
    else
        qputenv("QT_SCALE_FACTOR", oldScale);
    QVERIFY(started);
    const QString window = session.waitForWindow(kTitle, 30000);
    QVERIFY2(!window.isEmpty(), qPrintable(program.output()));
    const QRect screen(0, 0, 1600, 1000);
    const QRect frame = waitForFrameWithin(session, window, screen);
    QVERIFY2(!frame.isNull(), "the window manager drew no frame");
    QVERIFY2(screen.contains(frame), qPrintable(QStringLiteral("frame %1").arg(rectText(frame))));
}

void TestE2ePlacement::cleanupTestCase()
{
    m_folder.reset();
    m_session.reset();
}

QTEST_GUILESS_MAIN(TestE2ePlacement)
#include "test_e2e_placement.moc"
