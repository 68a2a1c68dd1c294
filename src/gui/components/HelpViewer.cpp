#include "HelpViewer.h"

#include "common/Texts.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

HelpViewer::HelpViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpViewer"));
    // Ends with the program's name, so the desktop does not append it a second time.
    setWindowTitle(QStringLiteral("Help \u2014 ") + Texts::AppTitle);
    resize(760, 640);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(16, 16));
    layout->addWidget(bar);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help text"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setFrameShape(QFrame::NoFrame);
    layout->addWidget(m_browser, 1);

    QAction *back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                   QStringLiteral("&Back"), m_browser, &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction *forward =
        bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"),
                       m_browser, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("&Contents"), this,
                   [this] { open(m_file, QString()); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    auto *closeAction = new QAction(this);
    closeAction->setShortcut(Qt::Key_Escape);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    addAction(closeAction);
}

void HelpViewer::open(const QString &file, const QString &anchor)
{
    m_file = file;
    m_anchor = anchor.isEmpty() ? QStringLiteral("contents") : anchor;
    if (!QFileInfo(file).isFile()) {
        m_browser->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be found.</p>")
                               .arg(file.toHtmlEscaped()));
        return;
    }
    QUrl url = QUrl::fromLocalFile(file);
    url.setFragment(m_anchor);
    if (m_browser->source() == url)
        m_browser->scrollToAnchor(m_anchor);
    else
        m_browser->setSource(url);
}
