// The program's help window: the HTML help shown in a browser pane with Back, Forward and
// Contents. Links to web pages and mail addresses go to the desktop's own programs.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;
class QToolBar;

class HelpViewer : public QWidget
{
    Q_OBJECT
public:
    explicit HelpViewer(QWidget *parent = nullptr);

    // Opens the help file at an anchor (the start when empty).
    void open(const QString &file, const QString &anchor);
    QTextBrowser *browser() const { return m_browser; }
    // The anchor last asked for.
    const QString &currentAnchor() const { return m_anchor; }

private:
    QTextBrowser *m_browser;
    QString m_file;
    QString m_anchor;
};
