// iconsheet: renders every icon of IconArt into one labelled PNG contact sheet.
//
// Usage: iconsheet [OUT.png]   (default "iconsheet.png")
// Each row shows one icon at 16, 22 and 32 px, at 16 px disabled and at 16 px for a 2x screen,
// once on a light and once on a dark background (with a matching dark palette).
#include "common/IconArt.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QString>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

const std::vector<std::pair<IconId, const char *>> kIcons = {
    {IconId::AddItem, "AddItem"},
    {IconId::AddChild, "AddChild"},
    {IconId::Edit, "Edit"},
    {IconId::Delete, "Delete"},
    {IconId::SortAsc, "SortAsc"},
    {IconId::SortDesc, "SortDesc"},
    {IconId::ViewList, "ViewList"},
    {IconId::ViewDate, "ViewDate"},
    {IconId::ExpandAll, "ExpandAll"},
    {IconId::CollapseAll, "CollapseAll"},
    {IconId::TipEdit, "TipEdit"},
    {IconId::TipInfo, "TipInfo"},
    {IconId::Search, "Search"},
    {IconId::ClearSearch, "ClearSearch"},
    {IconId::Alarm, "Alarm"},
    {IconId::Overdue, "Overdue"},
    {IconId::Due, "Due"},
    {IconId::MemoTop, "MemoTop"},
    {IconId::MemoChild, "MemoChild"},
    {IconId::TabTasks, "TabTasks"},
    {IconId::TabMemos, "TabMemos"},
    {IconId::StatusBulb, "StatusBulb"},
    {IconId::Save, "Save"},
    {IconId::Print, "Print"},
    {IconId::Color, "Color"},
    {IconId::Reminder, "Reminder"},
    {IconId::DueSet, "DueSet"},
};

constexpr int kRowHeight = 40;
constexpr int kLabelWidth = 96;
constexpr int kCell = 40;
constexpr int kColumns = 5; // 16, 22, 32, 16 disabled, 16 @2x
constexpr int kHalf = kLabelWidth + kColumns * kCell + 8;

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2e, 0x33));
    p.setColor(QPalette::WindowText, QColor(0xe6, 0xe8, 0xeb));
    p.setColor(QPalette::Base, QColor(0x23, 0x26, 0x2a));
    p.setColor(QPalette::Text, QColor(0xe6, 0xe8, 0xeb));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xc6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

QPalette lightPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0xf4, 0xf5, 0xf6));
    p.setColor(QPalette::WindowText, QColor(0x23, 0x26, 0x2a));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, QColor(0x23, 0x26, 0x2a));
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xc6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

void drawHalf(QPainter &p, int x0, int height, const QPalette &pal)
{
    QGuiApplication::setPalette(pal);
    const QColor bg = pal.color(QPalette::Window);
    const QColor fg = pal.color(QPalette::WindowText);
    p.fillRect(x0, 0, kHalf, height, bg);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(fg);
    const char *heads[kColumns] = {"16", "22", "32", "16 off", "16 @2x"};
    for (int c = 0; c < kColumns; ++c)
        p.drawText(QRect(x0 + kLabelWidth + c * kCell, 2, kCell, 16), Qt::AlignCenter,
                   QString::fromLatin1(heads[c]));
    int y = 20;
    for (const auto &[id, name] : kIcons) {
        const QIcon icon = IconArt::icon(id);
        p.setPen(fg);
        p.drawText(QRect(x0 + 4, y, kLabelWidth - 8, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromLatin1(name));
        const int sizes[4] = {16, 22, 32, 16};
        for (int c = 0; c < 4; ++c) {
            const int s = sizes[c];
            const QPixmap pm =
                icon.pixmap(QSize(s, s), 1.0, c == 3 ? QIcon::Disabled : QIcon::Normal);
            p.drawPixmap(x0 + kLabelWidth + c * kCell + (kCell - s) / 2, y + (kRowHeight - s) / 2,
                         pm);
        }
        // The 2x pixmap is drawn pixel for pixel (32 device pixels), as a 2x screen shows it.
        QPixmap hi = icon.pixmap(QSize(16, 16), 2.0);
        if (hi.devicePixelRatio() != 2.0 || hi.width() != 32)
            std::fprintf(stderr, "iconsheet: %s: 2x pixmap is %dx%d at ratio %g\n", name,
                         hi.width(), hi.height(), hi.devicePixelRatio());
        hi.setDevicePixelRatio(1.0);
        p.drawPixmap(x0 + kLabelWidth + 4 * kCell + (kCell - hi.width()) / 2,
                     y + (kRowHeight - hi.height()) / 2, hi);
        y += kRowHeight;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("iconsheet.png");
    const int height = 20 + int(kIcons.size()) * kRowHeight + 4;
    QImage sheet(2 * kHalf, height, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&sheet);
        drawHalf(p, 0, height, lightPalette());
        drawHalf(p, kHalf, height, darkPalette());
    }
    if (!sheet.save(out)) {
        std::fprintf(stderr, "iconsheet: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
