#include "Dlg_ColorSet.h"

#include "common/ColorCodes.h"
#include "common/IconArt.h"
#include "components/DialogHints.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QColor kPreviewText(0, 0, 0);
const QColor kPreviewBackground(255, 255, 255);

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(24, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(color);
    painter.drawRect(0, 0, 23, 13);
    return QIcon(pixmap);
}

QColor colorOf(qint32 code)
{
    // Black is stored as code 0, which elsewhere means "no colour of its own".
    return code == 0 ? QColor(0, 0, 0) : ColorCodes::toColor(code);
}

} // namespace

TColorSetDlg::TColorSetDlg(qint32 textColor, qint32 backgroundColor, QWidget *parent)
    : QDialog(parent), m_inText(textColor), m_inBackground(backgroundColor)
{
    setObjectName(QStringLiteral("ColorSetDlg"));
    setWindowTitle(QStringLiteral("Set Color"));
    DialogHints::SetFixed(this);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFixedSize(32, 32);
    picture->setPixmap(IconArt::icon(IconId::Color).pixmap(QSize(32, 32), devicePixelRatioF()));

    auto *textGroup = new QGroupBox(QStringLiteral("Text Color"), this);
    cb_text = new QCheckBox(QStringLiteral("Default Text Color"), textGroup);
    cb_text->setObjectName(QStringLiteral("cb_text"));
    cbox_text = makeColorList(QStringLiteral("cbox_text"));
    auto *textGrid = new QGridLayout(textGroup);
    textGrid->addWidget(cb_text, 0, 0, 1, 2);
    auto *textLabel = new QLabel(QStringLiteral("Custom: "), textGroup);
    textLabel->setBuddy(cbox_text);
    cbox_text->setAccessibleName(QStringLiteral("Custom text color"));
    textGrid->addWidget(textLabel, 1, 0);
    textGrid->addWidget(cbox_text, 1, 1);
    textGrid->setColumnStretch(1, 1);

    auto *bgGroup = new QGroupBox(QStringLiteral("Background Color"), this);
    cb_bg = new QCheckBox(QStringLiteral("Default Background Color"), bgGroup);
    cb_bg->setObjectName(QStringLiteral("cb_bg"));
    cbox_bg = makeColorList(QStringLiteral("cbox_bg"));
    auto *bgGrid = new QGridLayout(bgGroup);
    bgGrid->addWidget(cb_bg, 0, 0, 1, 2);
    auto *bgLabel = new QLabel(QStringLiteral("Custom: "), bgGroup);
    bgLabel->setBuddy(cbox_bg);
    cbox_bg->setAccessibleName(QStringLiteral("Custom background color"));
    bgGrid->addWidget(bgLabel, 1, 0);
    bgGrid->addWidget(cbox_bg, 1, 1);
    bgGrid->setColumnStretch(1, 1);

    Memo1 = new QLineEdit(QStringLiteral("  Ploxen Software"), this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setAccessibleName(QStringLiteral("Preview"));

    btn_Default = new QPushButton(QStringLiteral("Default"), this);
    btn_Default->setObjectName(QStringLiteral("btn_Default"));
    btn_Ok = new QPushButton(QStringLiteral("OK"), this);
    btn_Ok->setObjectName(QStringLiteral("btn_Ok"));
    btn_Ok->setDefault(true);
    btn_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));

    connect(cb_text, &QCheckBox::clicked, this, &TColorSetDlg::cb_textClick);
    connect(cb_bg, &QCheckBox::clicked, this, &TColorSetDlg::cb_bgClick);
    connect(btn_Ok, &QPushButton::clicked, this, &TColorSetDlg::btn_OkClick);
    connect(btn_Default, &QPushButton::clicked, this, &TColorSetDlg::btn_DefaultClick);
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *groups = new QVBoxLayout;
    groups->addWidget(textGroup);
    groups->addWidget(bgGroup);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(groups, 1);
    auto *preview = new QHBoxLayout;
    auto *previewLabel = new QLabel(QStringLiteral("Preview:"), this);
    previewLabel->setBuddy(Memo1);
    preview->addWidget(previewLabel);
    preview->addWidget(Memo1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btn_Default);
    buttons->addStretch(1);
    buttons->addWidget(btn_Ok);
    buttons->addWidget(btn_Cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(top);
    layout->addLayout(preview);
    layout->addSpacing(4);
    layout->addLayout(buttons);

    FormShow();
    // Picking a colour (by pointer or keys) refreshes the preview.
    connect(cbox_text, &QComboBox::currentIndexChanged, this, &TColorSetDlg::cbox_textChange);
    connect(cbox_bg, &QComboBox::currentIndexChanged, this, &TColorSetDlg::cbox_bgChange);
    resize(qMax(360, sizeHint().width()), sizeHint().height());
    setFixedSize(size());
}

void TColorSetDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    setAttribute(Qt::WA_KeyboardFocusChange);
}

QComboBox *TColorSetDlg::makeColorList(const QString &name)
{
    auto *list = new QComboBox(this);
    list->setObjectName(name);
    list->setIconSize(QSize(24, 14));
    list->setMaxVisibleItems(16);
    for (const ColorCodes::NamedColor &color : ColorCodes::namedColors())
        list->addItem(swatch(colorOf(color.code)), color.name, color.code);
    return list;
}

qint32 TColorSetDlg::selectedCode(const QComboBox *list)
{
    return list->currentIndex() < 0 ? 0 : qint32(list->currentData().toInt());
}

void TColorSetDlg::selectCode(QComboBox *list, qint32 code)
{
    int index = list->findData(code);
    if (index < 0) {
        // A colour the list does not name (from an imported file): offered as it is, so
        // that OK keeps it.
        list->addItem(swatch(colorOf(code)), QStringLiteral("Custom"), code);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
}

void TColorSetDlg::FormShow()
{
    // The lists start at black for the text and white for the background.
    selectCode(cbox_text, ColorCodes::rgb(0, 0, 0));
    selectCode(cbox_bg, ColorCodes::rgb(255, 255, 255));
    cb_text->setChecked(m_inText == 0);
    cbox_text->setEnabled(m_inText != 0);
    cb_bg->setChecked(m_inBackground == 0);
    cbox_bg->setEnabled(m_inBackground != 0);
    // A default colour shows as the window's normal look.
    QColor text = palette().color(QPalette::Text);
    QColor background = palette().color(QPalette::Base);
    if (m_inText != 0) {
        selectCode(cbox_text, m_inText);
        text = colorOf(m_inText);
    }
    if (m_inBackground != 0) {
        selectCode(cbox_bg, m_inBackground);
        background = colorOf(m_inBackground);
    }
    setPreview(text, background);
}

void TColorSetDlg::setPreview(const QColor &text, const QColor &background)
{
    QPalette palette = Memo1->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Base, background);
    }
    Memo1->setPalette(palette);
}

void TColorSetDlg::refreshPreview()
{
    setPreview(cb_text->isChecked() ? kPreviewText : colorOf(selectedCode(cbox_text)),
               cb_bg->isChecked() ? kPreviewBackground : colorOf(selectedCode(cbox_bg)));
}

void TColorSetDlg::cb_textClick()
{
    cbox_text->setEnabled(!cb_text->isChecked());
    refreshPreview();
}

void TColorSetDlg::cb_bgClick()
{
    cbox_bg->setEnabled(!cb_bg->isChecked());
    refreshPreview();
}

void TColorSetDlg::cbox_textChange()
{
    refreshPreview();
}

void TColorSetDlg::cbox_bgChange()
{
    refreshPreview();
}

void TColorSetDlg::btn_OkClick()
{
    m_textColor = cb_text->isChecked() ? 0 : selectedCode(cbox_text);
    m_backgroundColor = cb_bg->isChecked() ? 0 : selectedCode(cbox_bg);
    accept();
}

void TColorSetDlg::btn_DefaultClick()
{
    m_textColor = 0;
    m_backgroundColor = 0;
    accept();
}
