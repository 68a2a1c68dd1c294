// The tray icon on a dark and on a light panel (trayer tinted): the one-colour icon is drawn in
// a light ink on the dark panel and in a dark ink on the light one, as the screen shows it.
#include "E2eSupport.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {
const QColor kLightInk(0xee, 0xee, 0xec);
const QColor kDarkInk(0x2e, 0x34, 0x36);

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
           qAbs(a.blue() - b.blue()) <= 8;
}

int distance(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
}

// The place of a window on the screen, from xwininfo.
QRect placeOf(const X11Session &session, const QString &window)
{
    const QString info = session.run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    QRect place;
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        const int value = trimmed.section(QLatin1Char(':'), 1).trimmed().toInt();
        if (trimmed.startsWith(QLatin1String("Absolute upper-left X:")))
            place.moveLeft(value);
        else if (trimmed.startsWith(QLatin1String("Absolute upper-left Y:")))
            place.moveTop(value);
        else if (trimmed.startsWith(QLatin1String("Width:")))
            place.setWidth(value);
        else if (trimmed.startsWith(QLatin1String("Height:")))
            place.setHeight(value);
    }
    return place;
}
} // namespace

class TestE2eTrayInk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inkStandsOutFromThePanel_data();
    void inkStandsOutFromThePanel();
};

void TestE2eTrayInk::inkStandsOutFromThePanel_data()
{
    QTest::addColumn<QString>("tint");
    QTest::addColumn<QColor>("ink");
    // An ink near the panel's own colour does not count (a light icon on a light panel).
    QTest::newRow("dark panel") << QStringLiteral("0x202020") << kLightInk;
    QTest::newRow("light panel") << QStringLiteral("0xe8e8e8") << kDarkInk;
}

void TestE2eTrayInk::inkStandsOutFromThePanel()
{
    QFETCH(QString, tint);
    QFETCH(QColor, ink);
    X11Session session;
    if (!session.isRunning())
        QSKIP("Xvfb is not available");
    QProcess panel;
    panel.setProcessEnvironment(session.environment());
    panel.start(QStringLiteral("trayer"),
                {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                 QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--height"),
                 QStringLiteral("24"), QStringLiteral("--transparent"), QStringLiteral("true"),
                 QStringLiteral("--alpha"), QStringLiteral("0"), QStringLiteral("--tint"), tint});
    if (!panel.waitForStarted(5000))
        QSKIP("trayer is not available");

    ProgramFolder folder;
    folder.copyProgramFiles();
    ProgramRun program(session, folder.path());
    QVERIFY(program.start());
    const QString icon = session.waitForTrayIcon(QStringLiteral("tasklume"), 30000);
    QVERIFY2(!icon.isEmpty(), qPrintable(program.output()));

    // What the screen shows where the icon is, once the program has looked at the panel.
    QTemporaryDir shots;
    QVERIFY(shots.isValid());
    const QString shot = shots.filePath(QStringLiteral("icon.png"));
    int inked = 0;
    QDeadlineTimer deadline(20000);
    do {
        QTest::qWait(200);
        const QRect place = placeOf(session, icon);
        QVERIFY(place.width() > 1 && place.height() > 1);
        session.run(QStringLiteral("import"),
                    {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                     QStringLiteral("%1x%2+%3+%4")
                         .arg(place.width())
                         .arg(place.height())
                         .arg(place.x())
                         .arg(place.y()),
                     shot});
        const QImage image(shot);
        inked = 0;
        if (image.isNull())
            continue;
        // The panel shows in the icon's corners, where the glyph never draws; only what
        // differs clearly from it counts.
        const QColor panelColour = image.pixelColor(0, 0);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (distance(pixel, panelColour) <= 48)
                    continue;
                inked += near(pixel, ink) ? 1 : 0;
            }
        }
    } while (inked < 20 && !deadline.hasExpired());
    QVERIFY2(inked >= 20, qPrintable(QStringLiteral("%1 pixels in the ink").arg(inked)));

    program.process().terminate();
    QVERIFY(program.waitForEnd());
    panel.terminate();
    panel.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(TestE2eTrayInk)
#include "test_e2e_trayink.moc"
