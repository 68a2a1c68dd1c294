#include "Dlg_About.h"

#include "app/CommonOptions.h"
#include "common/AppPaths.h"
#include "common/pU_Boxes.h"
#include "common/Texts.h"
#include "DialogFrame.h"
#include "Dm_Common.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QFrame *separator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A label whose text is one link; the link is named, not followed.
QLabel *linkLabel(const QString &name, const QString &link, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(link, text.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

TAboutDlg::TAboutDlg(TcommonDm &commonDm, const QString &version, QWidget *parent)
    : QDialog(parent), m_commonDm(commonDm)
{
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About..."));

    Image_App = new QLabel(this);
    Image_App->setObjectName(QStringLiteral("Image_App"));
    Image_App->setFixedSize(65, 65);
    Image_App->setAlignment(Qt::AlignCenter);
    Label_AppName = new QLabel(Texts::AppTitle, this);
    Label_AppName->setObjectName(QStringLiteral("Label_AppName"));
    QFont nameFont = Label_AppName->font();
    nameFont.setBold(true);
    nameFont.setPixelSize(19);
    Label_AppName->setFont(nameFont);
    lbl_version = new QLabel(QStringLiteral("Version: 1.2.xxx"), this);
    lbl_version->setObjectName(QStringLiteral("lbl_version"));
    lbl_version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Label_Website =
        linkLabel(QStringLiteral("Label_Website"), QStringLiteral("website"), Texts::WebSite, this);
    Label_Support = linkLabel(QStringLiteral("Label_Support"), QStringLiteral("support"),
                              CommonOptions::SupportMail, this);
    Label_Sales = linkLabel(QStringLiteral("Label_Sales"), QStringLiteral("sales"),
                            CommonOptions::SalesMail, this);
    for (QLabel *label : {Label_Website, Label_Support, Label_Sales})
        connect(label, &QLabel::linkActivated, this, &TAboutDlg::LinkClick);

    auto *notice1 = new QLabel(
        QStringLiteral("Ploxen Tasklume keeps a to-do list and memos in the system tray."), this);
    auto *notice2 =
        new QLabel(QStringLiteral("Copyright (C) Ploxen Software. All rights reserved."), this);
    for (QLabel *label : {notice1, notice2})
        label->setWordWrap(true);

    Btn_Close = new QPushButton(QStringLiteral("Close"), this);
    Btn_Close->setObjectName(QStringLiteral("Btn_Close"));
    Btn_Close->setDefault(true);
    connect(Btn_Close, &QPushButton::clicked, this, &QDialog::accept);

    auto *names = new QVBoxLayout;
    names->addStretch();
    names->addWidget(Label_AppName);
    names->addWidget(lbl_version);
    names->addStretch();
    auto *head = new QHBoxLayout;
    head->setSpacing(16);
    head->addWidget(Image_App, 0, Qt::AlignTop);
    head->addLayout(names, 1);

    auto *addresses = new QGridLayout;
    addresses->setHorizontalSpacing(16);
    addresses->setVerticalSpacing(10);
    const QString captions[] = {QStringLiteral("Website:"), QStringLiteral("Support:"),
                                QStringLiteral("Sales:")};
    QLabel *links[] = {Label_Website, Label_Support, Label_Sales};
    for (int row = 0; row < 3; ++row) {
        addresses->addWidget(new QLabel(captions[row], this), row, 0);
        addresses->addWidget(links[row], row, 1);
    }
    // Where the lists and settings are kept, so the user can find and back them up.
    auto *dataFolder = new QLabel(AppPaths::describeFolder(), this);
    dataFolder->setObjectName(QStringLiteral("Label_DataFolder"));
    dataFolder->setWordWrap(true);
    dataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addresses->addWidget(new QLabel(QStringLiteral("Data folder:"), this), 3, 0, Qt::AlignTop);
    addresses->addWidget(dataFolder, 3, 1);
    addresses->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Btn_Close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(12);
    layout->addLayout(head);
    layout->addWidget(separator(this));
    layout->addLayout(addresses);
    layout->addWidget(separator(this));
    layout->addWidget(notice1);
    layout->addWidget(notice2);
    layout->addStretch();
    layout->addWidget(separator(this));
    layout->addLayout(buttons);

    // The picture; without it the box still shows everything else.
    const QString picture = AppPaths::resource(Texts::AppIconFile);
    QImageReader reader(picture);
    const QImage image = reader.read();
    if (image.isNull())
        ReportError(
            QStringLiteral("Cannot load the image \"%1\": %2").arg(picture, reader.errorString()));
    else {
        // Scaled to fit the 65 by 65 place, sharp at the screen's pixel ratio.
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(image).scaled(
            QSize(65, 65) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(ratio);
        Image_App->setPixmap(pixmap);
    }
    // The version number alone.
    lbl_version->setText(version);

    fixDialogFrame(this, QSize(372, 372));
}

void TAboutDlg::LinkClick(const QString &link)
{
    RunCommand([this, &link] {
        if (link == QLatin1String("website"))
            m_commonDm.VisitHomePage();
        else if (link == QLatin1String("support"))
            m_commonDm.MailSupport();
        else if (link == QLatin1String("sales"))
            m_commonDm.MailSales();
    });
}
