// The window state: the "form" keys a save writes, where a restore puts the window (a
// screen that is gone, a fixed-size window, a maximised one) and a settings file that
// cannot be written.
#include "common/IniFile.h"
#include "components/FormStateRules.h"
#include "components/WyFormState.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace TestSupport;

namespace {
const QString kSection = QStringLiteral("form");

QStringList sectionKeys(const QString &iniPath)
{
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList keys;
    bool inSection = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inSection = line == QStringLiteral("[form]");
        else if (inSection && line.contains(QLatin1Char('=')))
            keys.append(line.section(QLatin1Char('='), 0, 0).trimmed());
    }
    return keys;
}
} // namespace

class TestFormState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void saveValuesInOrder_data();
    void saveValuesInOrder();
    void positionKeptWhereThePlatformHidesIt_data();
    void positionKeptWhereThePlatformHidesIt();
    void windowOnWaylandKeepsTheReportedPosition();
    void platformsThatReportPositions_data();
    void platformsThatReportPositions();
    void restoredRect_data();
    void restoredRect();
    void maximisedRoundTrip();
    void minimisedSavesNotMaximised();
    void fixedSizeKeepsItsSize();
    void restoreOnEveryShowAndSaveOnClose();
    void disabledDoesNothing();
    void unwritableFileIsReportedAndStops();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    QString m_ini;
};

void TestFormState::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_ini = m_folder->file(QStringLiteral("wyConf.ini"));
}

void TestFormState::cleanup()
{
    m_folder.reset();
}

void TestFormState::saveValuesInOrder_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("resizable") << false << true
                               << QStringLiteral("Maximized=0 Left=10 Top=20 Right=310 "
                                                 "Bottom=420 Saved=1");
    QTest::newRow("maximised") << true << true
                               << QStringLiteral("Maximized=1 Left=10 Top=20 Right=310 "
                                                 "Bottom=420 Saved=1");
    QTest::newRow("fixed border") << false << false
                                  << QStringLiteral("Maximized=0 Left=10 Top=20 Saved=1");
}

void TestFormState::saveValuesInOrder()
{
    QFETCH(bool, maximized);
    QFETCH(bool, resizable);
    QFETCH(QString, expected);
    QStringList written;
    const auto values = FormStateRules::SaveValues(QRect(10, 20, 300, 400), maximized, resizable);
    for (const auto &value : values)
        written.append(value.first + QLatin1Char('=') + QString::number(value.second));
    QCOMPARE(written.join(QLatin1Char(' ')), expected);
}

void TestFormState::positionKeptWhereThePlatformHidesIt_data()
{
    QTest::addColumn<QString>("stored"); // the section before the save
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<QString>("expected");
    const QString x11Save = QStringLiteral("Maximized=0 Left=442 Top=246 Right=1042 Bottom=746 "
                                           "Saved=1");
    QTest::newRow("position from an earlier start")
        << x11Save << true
        << QStringLiteral("Maximized=0 Left=442 Top=246 Right=742 Bottom=646 Saved=1");
    QTest::newRow("fixed border") << QStringLiteral("Maximized=0 Left=442 Top=246 Saved=1") << false
                                  << QStringLiteral("Maximized=0 Left=442 Top=246 Saved=1");
    QTest::newRow("only a left edge")
        << QStringLiteral("Left=-20") << true
        << QStringLiteral("Maximized=0 Left=-20 Top=20 Right=280 Bottom=420 Saved=1");
    // Never placed where the position was known: no position, and no size without one.
    QTest::newRow("nothing saved") << QString() << true << QStringLiteral("Maximized=0 Saved=1");
    QTest::newRow("saved without a position")
        << QStringLiteral("Maximized=1 Saved=1") << true << QStringLiteral("Maximized=0 Saved=1");
}

void TestFormState::positionKeptWhereThePlatformHidesIt()
{
    QFETCH(QString, stored);
    QFETCH(bool, resizable);
    QFETCH(QString, expected);
    const IniFile ini(m_ini);
    for (const QString &pair : stored.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        ini.writeInteger(kSection, pair.section(QLatin1Char('='), 0, 0),
                         pair.section(QLatin1Char('='), 1).toInt());
    // The window says it stands at 3,30 (where Wayland puts every window as Qt sees it).
    QStringList written;
    const auto values = FormStateRules::SaveValuesKeepingPosition(
        ini, kSection, QRect(10, 20, 300, 400), false, resizable);
    for (const auto &value : values)
        written.append(value.first + QLatin1Char('=') + QString::number(value.second));
    QCOMPARE(written.join(QLatin1Char(' ')), expected);
}

void TestFormState::windowOnWaylandKeepsTheReportedPosition()
{
    // Saved by an earlier start where positions were reported.
    {
        const IniFile ini(m_ini);
        ini.writeInteger(kSection, QStringLiteral("Left"), 442);
        ini.writeInteger(kSection, QStringLiteral("Top"), 246);
        ini.writeInteger(kSection, QStringLiteral("Right"), 1042);
        ini.writeInteger(kSection, QStringLiteral("Bottom"), 746);
    }
    QWidget window;
    window.setGeometry(3, 30, 500, 350);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    QVERIFY(state.PositionsReported()); // offscreen reports positions
    state.setPositionsReported(false);
    state.SaveState();

    // The position stays; the size is the window's own.
    const IniFile ini(m_ini);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Left"), -1), 442);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Top"), -1), 246);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Right"), -1), 942);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Bottom"), -1), 596);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Saved"), -1), 1);
}

void TestFormState::platformsThatReportPositions_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("reports");
    QTest::newRow("xcb") << QStringLiteral("xcb") << true;
    QTest::newRow("offscreen") << QStringLiteral("offscreen") << true;
    QTest::newRow("wayland") << QStringLiteral("wayland") << false;
    QTest::newRow("wayland-egl") << QStringLiteral("wayland-egl") << false;
}

void TestFormState::platformsThatReportPositions()
{
    QFETCH(QString, platform);
    QFETCH(bool, reports);
    QCOMPARE(FormStateRules::PlatformReportsPositions(platform), reports);
    // The Stay on top item says where the request is ignored, and only there.
    const QString hint = FormStateRules::StayOnTopHint(platform);
    QVERIFY(hint.startsWith(QStringLiteral("Keep the window above other windows")));
    QCOMPARE(hint.contains(QStringLiteral("not on Wayland")), !reports);
}

void TestFormState::restoredRect_data()
{
    QTest::addColumn<QString>("keys"); // "Key=value ..." written first
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QRect>("expected");
    // Current window: 100,100 455x503. One screen 0,0 1280x900, work area from 0,24 (a
    // panel at the top); a second screen right of it for the rows that say so.
    const QMargins none;
    const QMargins frame(1, 20, 1, 1); // borders and a title bar
    const QSize any;
    QTest::newRow("nothing saved: as it is")
        << QString() << true << none << any << QRect(100, 100, 455, 503);
    QTest::newRow("saved rectangle") << QStringLiteral("Left=40 Top=50 Right=640 Bottom=550")
                                     << true << frame << any << QRect(40, 50, 600, 500);
    QTest::newRow("only a position: current size")
        << QStringLiteral("Left=40 Top=50") << true << none << any << QRect(40, 50, 455, 503);
    QTest::newRow("fixed border ignores right and bottom")
        << QStringLiteral("Left=40 Top=50 Right=640 Bottom=550") << false << none << any
        << QRect(40, 50, 455, 503);
    QTest::newRow("monitor gone: top-left of the work area, size kept")
        << QStringLiteral("Left=2000 Top=50 Right=2600 Bottom=550") << true << none << any
        << QRect(0, 24, 600, 500);
    QTest::newRow("monitor gone: the frame's corner at the work area's")
        << QStringLiteral("Left=2000 Top=50 Right=2600 Bottom=550") << true << frame << any
        << QRect(1, 44, 600, 500);
    QTest::newRow("above the screen") << QStringLiteral("Left=40 Top=-300 Right=640 Bottom=200")
                                      << true << frame << any << QRect(1, 44, 600, 500);
    QTest::newRow("left of the screen: fixed border")
        << QStringLiteral("Left=-900 Top=50") << false << frame << any << QRect(1, 44, 455, 503);
    QTest::newRow("title bar under the panel")
        << QStringLiteral("Left=100 Top=10 Right=700 Bottom=510") << true << frame << any
        << QRect(100, 44, 600, 500);
    QTest::newRow("past the right edge")
        << QStringLiteral("Left=1000 Top=100 Right=1600 Bottom=600") << true << frame << any
        << QRect(679, 100, 600, 500);
    QTest::newRow("past the bottom edge")
        << QStringLiteral("Left=100 Top=800 Right=700 Bottom=1300") << true << frame << any
        << QRect(100, 399, 600, 500);
    QTest::newRow("bottom-right corner")
        << QStringLiteral("Left=1200 Top=850 Right=1800 Bottom=1350") << true << frame << any
        << QRect(679, 399, 600, 500);
    QTest::newRow("too large: shrunk to the work area")
        << QStringLiteral("Left=0 Top=0 Right=1900 Bottom=1200") << true << frame << any
        << QRect(1, 44, 1278, 855);
    QTest::newRow("cannot shrink below its minimum: title bar at the top")
        << QStringLiteral("Left=200 Top=300 Right=800 Bottom=1300") << true << frame
        << QSize(300, 1000) << QRect(200, 44, 600, 1000);
    QTest::newRow("second monitor still there")
        << QStringLiteral("Left=1500 Top=100 Right=1900 Bottom=400") << true << frame << any
        << QRect(1500, 100, 400, 300);
    QTest::newRow("second monitor: past its bottom edge")
        << QStringLiteral("Left=1500 Top=700 Right=1900 Bottom=1000") << true << frame << any
        << QRect(1500, 467, 400, 300);
    QTest::newRow("inverted rectangle keeps the current size")
        << QStringLiteral("Left=40 Top=50 Right=30 Bottom=20") << true << none << any
        << QRect(40, 50, 455, 503);
    // Damaged files.
    QTest::newRow("right and bottom far out")
        << QStringLiteral("Left=40 Top=50 Right=40000 Bottom=40000") << true << frame << any
        << QRect(1, 44, 1278, 855);
    QTest::newRow("int extremes")
        << QStringLiteral("Left=-2147483648 Top=-2147483648 Right=2147483647 Bottom=2147483647")
        << true << frame << any << QRect(1, 44, 1278, 855);
    QTest::newRow("largest position") << QStringLiteral("Left=2147483647 Top=2147483647") << true
                                      << frame << any << QRect(1, 44, 455, 503);
    QTest::newRow("largest edges from the smallest position")
        << QStringLiteral("Left=-2147483648 Top=0 Right=2147483647 Bottom=600") << true << frame
        << any << QRect(1, 44, 1278, 600);
    QTest::newRow("not numbers: as it is") << QStringLiteral("Left=abc Top=1e3 Right=0x Bottom=--5")
                                           << true << none << any << QRect(100, 100, 455, 503);
    QTest::newRow("beyond int: as it is")
        << QStringLiteral("Left=99999999999 Top=-99999999999 Right=4294967296 Bottom=1") << true
        << none << any << QRect(100, 100, 455, 503);
}

void TestFormState::restoredRect()
{
    QFETCH(QString, keys);
    QFETCH(bool, resizable);
    QFETCH(QMargins, frame);
    QFETCH(QSize, minimum);
    QFETCH(QRect, expected);
    const IniFile ini(m_ini);
    for (const QString &pair : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        ini.writeString(kSection, pair.section(QLatin1Char('='), 0, 0),
                        pair.section(QLatin1Char('='), 1));
    QList<FormStateRules::ScreenArea> screens{{QRect(0, 0, 1280, 900), QRect(0, 24, 1280, 876)}};
    if (QByteArray(QTest::currentDataTag()).startsWith("second monitor"))
        screens.append({QRect(1280, 0, 1024, 768), QRect(1280, 0, 1024, 768)});
    QCOMPARE(FormStateRules::RestoredRect(ini, kSection, QRect(100, 100, 455, 503), resizable,
                                          screens, frame, minimum),
             expected);
}

void TestFormState::maximisedRoundTrip()
{
    QWidget window;
    window.setGeometry(60, 70, 400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.showMaximized();
    QTRY_VERIFY(window.isMaximized());

    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    QSignalSpy saved(&state, &TWyFormState::OnSaveState);
    state.SaveState();
    QCOMPARE(saved.count(), 1);

    // The normal rectangle and the maximised flag are stored.
    const IniFile ini(m_ini);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Maximized"), -1), 1);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Left"), -1), 60);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Top"), -1), 70);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Right"), -1), 460);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Bottom"), -1), 370);
    QCOMPARE(sectionKeys(m_ini).last(), QStringLiteral("Saved"));

    // A new window restored from the keys comes up maximised; un-maximising gives the
    // saved rectangle back.
    QWidget second;
    TWyFormState secondState(&second);
    secondState.setSection(kSection);
    secondState.setIniPath(m_ini);
    QSignalSpy restored(&secondState, &TWyFormState::OnRestoreState);
    secondState.HookForm();
    second.show();
    QCOMPARE(restored.count(), 1);
    QTRY_VERIFY(second.isMaximized());
    second.showNormal();
    QTRY_COMPARE(second.geometry(), QRect(60, 70, 400, 300));
}

void TestFormState::minimisedSavesNotMaximised()
{
    QWidget window;
    window.setGeometry(30, 40, 350, 250);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(window.isMinimized());

    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    state.SaveState();
    const IniFile ini(m_ini);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Maximized"), -1), 0);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Left"), -1), 30);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Right"), -1), 380);

    // Maximised, then minimised on the task bar: not maximised. Hidden away in that
    // state (the tray): it comes back maximised, so that is what is kept.
    window.showMaximized();
    QTRY_VERIFY(window.isMaximized() && !window.isMinimized());
    window.setWindowState(window.windowState() | Qt::WindowMinimized);
    QTRY_VERIFY(window.isMinimized());
    state.SaveState();
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Maximized"), -1), 0);
    window.hide();
    state.SaveState();
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Maximized"), -1), 1);
    QCOMPARE(ini.readInteger(kSection, QStringLiteral("Left"), -1), 30);
}

void TestFormState::fixedSizeKeepsItsSize()
{
    const IniFile ini(m_ini);
    ini.writeInteger(kSection, QStringLiteral("Left"), 80);
    ini.writeInteger(kSection, QStringLiteral("Top"), 90);
    ini.writeInteger(kSection, QStringLiteral("Right"), 1000);
    ini.writeInteger(kSection, QStringLiteral("Bottom"), 800);

    QWidget dialog;
    dialog.setFixedSize(285, 198);
    QVERIFY(!TWyFormState::isResizable(&dialog));
    TWyFormState state(&dialog);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    state.RestoreState();
    QCOMPARE(dialog.geometry(), QRect(80, 90, 285, 198));

    // Saving a fixed-size window writes neither "Right" nor "Bottom".
    QFile::remove(m_ini);
    state.SaveState();
    QCOMPARE(sectionKeys(m_ini), (QStringList{QStringLiteral("Maximized"), QStringLiteral("Left"),
                                              QStringLiteral("Top"), QStringLiteral("Saved")}));
}

void TestFormState::restoreOnEveryShowAndSaveOnClose()
{
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    state.HookForm();
    QSignalSpy saved(&state, &TWyFormState::OnSaveState);
    QSignalSpy restored(&state, &TWyFormState::OnRestoreState);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Nothing saved yet: the window keeps its place.
    QCOMPARE(window.geometry(), QRect(100, 100, 300, 200));
    window.setGeometry(150, 160, 320, 240);
    window.close();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(IniFile(m_ini).readInteger(kSection, QStringLiteral("Left"), -1), 150);

    // Moved while hidden; the next show puts it back where it was saved.
    window.setGeometry(5, 5, 100, 100);
    window.show();
    QCOMPARE(restored.count(), 2);
    QCOMPARE(window.geometry(), QRect(150, 160, 320, 240));

    state.UnhookForm();
    window.hide();
    window.setGeometry(5, 5, 100, 100);
    window.show();
    QCOMPARE(restored.count(), 2);
    QCOMPARE(window.geometry(), QRect(5, 5, 100, 100));
}

void TestFormState::disabledDoesNothing()
{
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    state.setEnabled(false);
    QSignalSpy saved(&state, &TWyFormState::OnSaveState);
    state.SaveState();
    QCOMPARE(saved.count(), 0);
    QVERIFY(!QFile::exists(m_ini));
    IniFile(m_ini).writeInteger(kSection, QStringLiteral("Left"), 7);
    state.RestoreState();
    QCOMPARE(window.geometry(), QRect(100, 100, 300, 200));
}

void TestFormState::unwritableFileIsReportedAndStops()
{
    // The settings path is a folder: no key can be written.
    QDir().mkpath(m_ini);
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    TWyFormState state(&window);
    state.setSection(kSection);
    state.setIniPath(m_ini);
    QSignalSpy saved(&state, &TWyFormState::OnSaveState);

    QString caption;
    QString text;
    QTimer::singleShot(0, this, [&] {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *w : widgets) {
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                caption = box->windowTitle();
                text = box->text();
                box->accept();
            }
        }
    });
    state.SaveState();
    QCOMPARE(caption, QStringLiteral("Error"));
    QVERIFY2(text.contains(m_ini), qPrintable(text));
    // The save still reports that it ran.
    QCOMPARE(saved.count(), 1);
}

QTEST_MAIN(TestFormState)
#include "test_formstate.moc"
