#include "WyFormState.h"

#include "common/IniFile.h"
#include "common/pU_Boxes.h"
#include "common/pU_Funcs.h"
#include "FormStateRules.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

TWyFormState::TWyFormState(QWidget *owner) : QObject(owner), m_owner(owner) {}

TWyFormState::~TWyFormState()
{
    UnhookForm();
}

bool TWyFormState::IsResizable(const QWidget *window)
{
    if (window->windowFlags() & Qt::MSWindowsFixedSizeDialogHint)
        return false;
    return window->minimumSize() != window->maximumSize();
}

void TWyFormState::HookForm()
{
    if (!m_owner || !m_owner->isWindow() || m_hooked)
        return;
    m_owner->installEventFilter(this);
    m_hooked = true;
}

void TWyFormState::UnhookForm()
{
    if (!m_owner || !m_hooked)
        return;
    m_owner->removeEventFilter(this);
    m_hooked = false;
}

bool TWyFormState::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner) {
        // The owner's own handlers run after these (the event goes on). A window the
        // window manager un-minimises is not shown anew.
        if (event->type() == QEvent::Show && !event->spontaneous())
            RestoreState();
        else if (event->type() == QEvent::Close)
            SaveState();
    }
    return QObject::eventFilter(watched, event);
}

void TWyFormState::SaveState()
{
    if (!m_enabled || !m_owner || !m_owner->isWindow())
        return;
    const Qt::WindowStates state = m_owner->windowState();
    // A window minimised on the task bar counts as not maximised; one hidden away (in the
    // tray) keeps the state it comes back in. The normal rectangle is kept either way.
    const bool maximized =
        (state & Qt::WindowMaximized) && (!(state & Qt::WindowMinimized) || !m_owner->isVisible());
    const IniFile ini(m_iniPath);
    const auto values =
        FormStateRules::SaveValues(m_owner->normalGeometry(), maximized, IsResizable(m_owner));
    try {
        for (const auto &value : values)
            ini.writeInteger(m_section, value.first, value.second);
    } catch (const TasklumeError &error) {
        ErrorBox(error.text());
    }
    Q_EMIT OnSaveState();
}

void TWyFormState::RestoreState()
{
    if (!m_enabled || !m_owner || !m_owner->isWindow())
        return;
    const IniFile ini(m_iniPath);
    QList<QRect> screens;
    const auto all = QGuiApplication::screens();
    for (const QScreen *screen : all)
        screens.append(screen->geometry());
    QPoint workArea(0, 0);
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        workArea = primary->availableGeometry().topLeft();

    const QRect current =
        m_owner->normalGeometry().isValid() ? m_owner->normalGeometry() : m_owner->geometry();
    const QRect rect = FormStateRules::RestoredRect(ini, m_section, current, IsResizable(m_owner),
                                                    screens, workArea);
    // Untouched when nothing was saved, so that the window manager places a window that
    // has never been placed.
    if (rect != current) {
        if (m_owner->isMaximized())
            m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMaximized);
        m_owner->setGeometry(rect);
    }
    if (FormStateRules::RestoredMaximized(ini, m_section))
        m_owner->setWindowState(m_owner->windowState() | Qt::WindowMaximized);
    Q_EMIT OnRestoreState();
}
