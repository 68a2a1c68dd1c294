// How the lists look on the user's desktop: tool bar and menu commands take the desktop icon
// theme's icons where it has one for the command (a one-colour "-symbolic" icon drawn in the
// palette's text colour) and the program's own pictures otherwise; the rows keep the
// program's marks; and row texts stand out from every row background, light or dark palette.
#include "common/ColorCodes.h"
#include "common/IconArt.h"
#include "support/FakeFrameHost.h"
#include "support/TestSupport.h"
#include "tasks/Fr_wyTasks.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

Q_DECLARE_METATYPE(IconId)

namespace {

// A palette of a dark desktop: light text on dark bases, as dark themes set it.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x23, 0x23, 0x23);
    const QColor text(0xee, 0xee, 0xee);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, QColor(0x45, 0x45, 0x45));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

// A 22 px square theme image: a filled disc in one colour on a clear ground.
void writeThemeImage(const QString &path, const QColor &color)
{
    QImage image(22, 22, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRect(2, 2, 18, 18));
    }
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(image.save(path));
}

void writeTheme(const QString &root, const QString &name, const QStringList &icons,
                const QColor &color)
{
    const QString folder = root + QLatin1Char('/') + name;
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("/index.theme"),
              "[Icon Theme]\nName=" + name.toUtf8() +
                  "\nDirectories=actions/22\n\n[actions/22]\nSize=22\nContext=Actions\n"
                  "Type=Fixed\n");
    for (const QString &icon : icons)
        writeThemeImage(folder + QStringLiteral("/actions/22/") + icon + QStringLiteral(".png"),
                        color);
}

QColor centre(const QIcon &icon)
{
    return icon.pixmap(QSize(22, 22), 1.0).toImage().pixelColor(11, 11);
}

} // namespace

class TestDesktopLook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void commandIcon_data();
    void commandIcon();
    void frameCommandsTakeThemeRowsKeepOwnMarks();
    void readableOn_data();
    void readableOn();
    void barBitmapsSuitOnlyLightPalettes_data();
    void barBitmapsSuitOnlyLightPalettes();
    void rowTextStandsOut_data();
    void rowTextStandsOut();

private:
    QTemporaryDir m_themes;
    QPalette m_palette;
    QString m_themeName;
    QStringList m_searchPaths;
};

void TestDesktopLook::initTestCase()
{
    QVERIFY(m_themes.isValid());
    m_palette = QApplication::palette();
    m_themeName = QIcon::themeName();
    m_searchPaths = QIcon::themeSearchPaths();
    // A theme in full colour with some commands, one that draws them in one colour only.
    writeTheme(m_themes.path(), QStringLiteral("full"),
               {QStringLiteral("edit-delete"), QStringLiteral("document-save"),
                QStringLiteral("view-sort-ascending")},
               QColor(0xd0, 0x20, 0x20));
    writeTheme(m_themes.path(), QStringLiteral("onecolour"),
               {QStringLiteral("edit-delete-symbolic")}, QColor(0x22, 0x22, 0x22));
    QIcon::setThemeSearchPaths({m_themes.path()});
}

void TestDesktopLook::cleanup()
{
    QApplication::setPalette(m_palette);
    QIcon::setThemeName(m_themeName);
}

void TestDesktopLook::cleanupTestCase()
{
    QIcon::setThemeSearchPaths(m_searchPaths);
}

void TestDesktopLook::commandIcon_data()
{
    QTest::addColumn<QString>("theme");
    QTest::addColumn<IconId>("id");
    QTest::addColumn<QString>("expected"); // theme, tinted or own

    QTest::newRow("theme has the command") << "full" << IconId::Delete << "theme";
    QTest::newRow("theme has another command") << "full" << IconId::Save << "theme";
    QTest::newRow("theme lacks the command") << "full" << IconId::Search << "own";
    QTest::newRow("command without a theme name") << "full" << IconId::AddChild << "own";
    QTest::newRow("one-colour theme") << "onecolour" << IconId::Delete << "tinted";
    QTest::newRow("no theme") << "absent" << IconId::Delete << "own";
}

void TestDesktopLook::commandIcon()
{
    QFETCH(QString, theme);
    QFETCH(IconId, id);
    QFETCH(QString, expected);
    QApplication::setPalette(darkPalette());
    QIcon::setThemeName(theme);

    const QIcon icon = IconArt::commandIcon(id);
    QVERIFY(!icon.isNull());
    if (expected == QLatin1String("theme")) {
        QCOMPARE(icon.name(), IconArt::themeName(id));
        QCOMPARE(centre(icon), QColor(0xd0, 0x20, 0x20));
    } else if (expected == QLatin1String("tinted")) {
        // Drawn in the palette's text colour, light on the dark desktop.
        QCOMPARE(centre(icon), darkPalette().color(QPalette::ButtonText));
    } else {
        QCOMPARE(icon.cacheKey(), IconArt::icon(id).cacheKey());
    }
}

void TestDesktopLook::frameCommandsTakeThemeRowsKeepOwnMarks()
{
    QIcon::setThemeName(QStringLiteral("full"));
    ProgramFolder folder;
    FakeFrameHost host;
    QWidget window;
    TwyTasksFrame frame(host, &window);

    const QAction *remove = frame.findChild<QAction *>(QStringLiteral("Action_TaskDelete"));
    QVERIFY(remove);
    QCOMPARE(remove->icon().name(), QStringLiteral("edit-delete"));
    // The sort button offers the other direction: ascending once the list goes down.
    const QAction *sort = frame.findChild<QAction *>(QStringLiteral("Action_ViewAsc"));
    QVERIFY(sort);
    QVERIFY(!sort->icon().isNull());
    // The image list the rows draw from stays the program's own: the delete picture at the
    // same index is not the theme's.
    QVERIFY(frame.tree()->imageForIndex);
    QCOMPARE(frame.tree()->imageForIndex(5).cacheKey(), IconArt::icon(IconId::Delete).cacheKey());
}

void TestDesktopLook::readableOn_data()
{
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<qreal>("minimum");
    QTest::addColumn<bool>("soft");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("black on white stays")
        << QColor(Qt::black) << QColor(Qt::white) << 4.5 << false << QColor(Qt::black);
    QTest::newRow("light text on a light row turns black")
        << QColor(0xee, 0xee, 0xee) << QColor(0xfa, 0xfb, 0xfc) << 4.5 << false
        << QColor(Qt::black);
    QTest::newRow("dark text on a dark row turns white")
        << QColor(0x30, 0x30, 0x30) << QColor(0x20, 0x20, 0x60) << 4.5 << false
        << QColor(Qt::white);
    QTest::newRow("a faint grey that still shows stays")
        << QColor(0xa0, 0xa0, 0xa0) << QColor(Qt::white) << 2.0 << true << QColor(0xa0, 0xa0, 0xa0);
    QTest::newRow("a grey too faint darkens softly")
        << QColor(0xf0, 0xf0, 0xf0) << QColor(Qt::white) << 3.0 << true << QColor();
}

void TestDesktopLook::readableOn()
{
    QFETCH(QColor, text);
    QFETCH(QColor, background);
    QFETCH(qreal, minimum);
    QFETCH(bool, soft);
    QFETCH(QColor, expected);
    const QColor result = ColorCodes::readableOn(text, background, minimum, soft);
    if (expected.isValid()) {
        QCOMPARE(result, expected);
    } else {
        // A soft grey reaches the contrast without going all the way to black or white.
        QVERIFY(ColorCodes::contrast(result, background) >= minimum);
        QVERIFY(ColorCodes::contrast(result, background) < 21.0);
        QVERIFY(result != QColor(Qt::black) && result != QColor(Qt::white));
    }
}

void TestDesktopLook::barBitmapsSuitOnlyLightPalettes_data()
{
    QTest::addColumn<QString>("bitmap");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<bool>("suits");
    for (const char *name : {"toolsbarBackground.bmp", "searchbarBackground.bmp",
                             "groupBackground.bmp", "itemBackground0.bmp", "itemBackground1.bmp"}) {
        QTest::addRow("%s, light", name) << QString::fromLatin1(name) << false << true;
        // Light command icons and texts of a dark palette would vanish on them.
        QTest::addRow("%s, dark", name) << QString::fromLatin1(name) << true << false;
    }
}

void TestDesktopLook::barBitmapsSuitOnlyLightPalettes()
{
    QFETCH(QString, bitmap);
    QFETCH(bool, dark);
    QFETCH(bool, suits);
    const QPixmap picture(qEnvironmentVariable("TASKLUME_PROGRAM_DIR") +
                          QStringLiteral("/Images/") + bitmap);
    QVERIFY(!picture.isNull());
    QPalette light;
    light.setColor(QPalette::WindowText, Qt::black);
    QCOMPARE(ColorCodes::suitsPalette(picture, dark ? darkPalette() : light), suits);
    // No picture suits no palette.
    QVERIFY(!ColorCodes::suitsPalette(QPixmap(), light));
}

void TestDesktopLook::rowTextStandsOut_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<int>("top");   // the top-level row
    QTest::addColumn<int>("child"); // the child row under it, -1 for the top-level row itself
    QTest::addColumn<qreal>("minimum");

    for (const bool dark : {false, true}) {
        const char *palette = dark ? "dark" : "light";
        // Top-level rows alternate the two item bitmaps, children lie on the group bitmap;
        // completed tasks are grey and may be fainter.
        QTest::addRow("%s, first item bitmap", palette) << dark << 0 << -1 << 4.5;
        QTest::addRow("%s, second item bitmap", palette) << dark << 1 << -1 << 4.5;
        QTest::addRow("%s, group bitmap", palette) << dark << 0 << 0 << 4.5;
        QTest::addRow("%s, completed task", palette) << dark << 2 << -1 << 1.8;
    }
}

void TestDesktopLook::rowTextStandsOut()
{
    QFETCH(bool, dark);
    QFETCH(int, top);
    QFETCH(int, child);
    QFETCH(qreal, minimum);
    if (dark)
        QApplication::setPalette(darkPalette());

    ProgramFolder folder;
    FakeFrameHost host;
    host.loadBitmaps(qEnvironmentVariable("TASKLUME_PROGRAM_DIR"));
    QSqlDatabase db = host.database();
    const QString text = QStringLiteral("MMMMMMMM WWWWWWWW %1");
    Row parent{key(1), QStringLiteral("root"), text.arg(0)};
    parent.expandFlag = true;
    insertTask(db, parent);
    insertTask(db, Row{key(2), key(1), text.arg(3)});
    insertTask(db, Row{key(3), QStringLiteral("root"), text.arg(1)});
    Row done{key(4), QStringLiteral("root"), text.arg(2)};
    done.checkFlag = true;
    insertTask(db, done);

    QWidget window;
    window.resize(420, 400);
    auto *frame = new TwyTasksFrame(host, &window);
    frame->resize(420, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frame->postMessage(WM_FRAME_RELOAD);
    frame->postMessage(WM_FRAME_ACTIVATE);
    QAbstractItemModel *model = frame->tree()->model();
    QTRY_COMPARE(model->rowCount(), 3);
    frame->tree()->clearSelection();
    frame->tree()->setCurrentIndex(QModelIndex());

    QModelIndex index = model->index(top, 0);
    QCOMPARE(index.data().toString(), text.arg(top));
    if (child >= 0) {
        QTRY_COMPARE(model->rowCount(index), 1);
        index = model->index(child, 0, index);
    }
    QTest::qWait(50);

    const QImage shot = frame->tree()->viewport()->grab().toImage();
    const QRect rect = frame->tree()->visualRect(index);
    QVERIFY(!rect.isEmpty());
    // The row's background is the colour at its right end, past the text; the text is the
    // pixel that differs most from it.
    const QColor background = shot.pixelColor(rect.right() - 2, rect.center().y());
    qreal best = 1.0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left() + 40; x < rect.right() - 20; ++x)
            best = qMax(best, ColorCodes::contrast(shot.pixelColor(x, y), background));
    }
    QVERIFY2(best >= minimum,
             qPrintable(QStringLiteral("contrast %1 on %2").arg(best).arg(background.name())));
}

QTEST_MAIN(TestDesktopLook)
#include "test_desktop_look.moc"
