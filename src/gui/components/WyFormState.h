// Remembers where its owner window was and how big, in a section of the settings file, and
// puts the window back there each time it is shown.
#pragma once

#include <QMargins>
#include <QObject>
#include <QString>

class QTimer;
class QWidget;

class TWyFormState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(QString Section READ Section WRITE setSection)
    Q_PROPERTY(QString IniPath READ IniPath WRITE setIniPath)
public:
    explicit TWyFormState(QWidget *owner);
    ~TWyFormState() override;

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on) { m_enabled = on; }
    const QString &Section() const { return m_section; }
    void setSection(const QString &section) { m_section = section; }
    const QString &IniPath() const { return m_iniPath; }
    void setIniPath(const QString &path) { m_iniPath = path; }

    // Whether the platform reports where windows are (not on Wayland); where it does not, a
    // save keeps the position saved last where one was reported.
    bool PositionsReported() const { return m_positionsReported; }
    void setPositionsReported(bool reported) { m_positionsReported = reported; }

    // Chains into the owner's show (restore first) and close (save first) events.
    virtual void HookForm();
    virtual void UnhookForm();
    // Writes "Maximized", "Left", "Top", for a resizable window "Right" and "Bottom", then
    // "Saved". A write that fails is reported and ends the save.
    virtual void SaveState();
    // Puts the window at the saved rectangle (on a screen that still exists) and maximises
    // it when it was. The whole frame, title bar included, lands within a screen's
    // available area, the window shrunk when it is larger; once the window manager has
    // framed the shown window, the frame is checked again.
    virtual void RestoreState();
    // Moves and shrinks the shown window so that its frame lies within its screen's
    // available area (nothing while maximised, minimised or hidden).
    void fitFrameOnScreen();

    // A window whose size the user cannot change keeps its own size.
    static bool isResizable(const QWidget *window);

Q_SIGNALS:
    void OnSaveState();
    void OnRestoreState();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void checkFrameAfterShow();

    QWidget *m_owner;
    // The frame the window manager drew around the window when last seen.
    QMargins m_frameMargins;
    // Runs after a show until the window manager has framed the window.
    QTimer *m_frameCheck = nullptr;
    int m_frameChecks = 0;
    bool m_enabled = true;
    bool m_positionsReported;
    QString m_section;
    QString m_iniPath;
    bool m_hooked = false;
};
