// Connects a window to the program's HTML help: F1 opens the help at the topic of the
// focused control (or of the nearest control around it, or of the window), shown in the
// program's own help viewer. The viewer closes when the component goes.
#pragma once

#include "HelpViewer.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class TWYHHComp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString HelpFile READ HelpFile WRITE setHelpFile)
public:
    explicit TWYHHComp(QWidget *owner);
    ~TWYHHComp() override;

    const QString &HelpFile() const { return m_helpFile; }
    void setHelpFile(const QString &file) { m_helpFile = file; }
    // The help file to open: HelpFile itself when it is a full path, otherwise the
    // program's folder followed by HelpFile.
    QString fullHelpPath() const;

    // Starts watching the owner's keys.
    void Loaded();

    // The help context of a control (0 when it has none) and setting it.
    static int helpContextOf(const QWidget *widget);
    static void setHelpContext(QWidget *widget, int context);
    // The context F1 opens for the owner now: the focused control's, else that of the
    // nearest control around it that has one, else the window's own.
    int activeContext() const;

    // Opens the help at a context's topic (the start of the help for 0); nothing while
    // HelpFile is empty.
    void showHelp(int context);
    // The viewer while one is open.
    HelpViewer *viewer() const { return m_viewer; }
    // Closes every help window this component opened.
    void closeAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_owner;
    QString m_helpFile;
    QPointer<HelpViewer> m_viewer;
    bool m_loaded = false;
};
