#include "WyFormState.h"

#include "common/IniFile.h"
#include "common/pU_Boxes.h"
#include "common/pU_Funcs.h"
#include "components/FormStateRules.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {
// How often, and how many times, a shown window is looked at until its frame is known.
constexpr int kFrameCheckMs = 50;
constexpr int kFrameChecks = 60;

QList<FormStateRules::ScreenArea> screenAreas()
{
    QList<FormStateRules::ScreenArea> areas;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        areas.append({primary->geometry(), primary->availableGeometry()});
    const auto all = QGuiApplication::screens();
    for (const QScreen *screen : all) {
        if (screen != primary)
            areas.append({screen->geometry(), screen->availableGeometry()});
    }
    return areas;
}

QMargins frameMarginsOf(const QWidget *window)
{
    const QWindow *handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}
} // namespace

TWyFormState::TWyFormState(QWidget *owner)
    : QObject(owner), m_owner(owner),
      m_positionsReported(FormStateRules::PlatformReportsPositions(QGuiApplication::platformName()))
{}

TWyFormState::~TWyFormState()
{
    UnhookForm();
}

bool TWyFormState::isResizable(const QWidget *window)
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
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            RestoreState();
            checkFrameAfterShow();
        } else if (event->type() == QEvent::Close) {
            SaveState();
        }
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
        m_positionsReported
            ? FormStateRules::SaveValues(m_owner->normalGeometry(), maximized, isResizable(m_owner))
            : FormStateRules::SaveValuesKeepingPosition(ini, m_section, m_owner->normalGeometry(),
                                                        maximized, isResizable(m_owner));
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
    const QMargins known = frameMarginsOf(m_owner);
    if (!known.isNull())
        m_frameMargins = known;

    const QRect current =
        m_owner->normalGeometry().isValid() ? m_owner->normalGeometry() : m_owner->geometry();
    const QRect rect =
        FormStateRules::RestoredRect(ini, m_section, current, isResizable(m_owner), screenAreas(),
                                     m_frameMargins, m_owner->minimumSize());
    // Untouched when nothing was saved, so that the window manager places a window that
    // has never been placed; it only shrinks to fit the screen.
    if (rect != current) {
        if (m_owner->isMaximized())
            m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMaximized);
        if (FormStateRules::HasPosition(ini, m_section))
            m_owner->setGeometry(rect);
        else
            m_owner->resize(rect.size());
    }
    if (FormStateRules::RestoredMaximized(ini, m_section))
        m_owner->setWindowState(m_owner->windowState() | Qt::WindowMaximized);
    Q_EMIT OnRestoreState();
}

void TWyFormState::fitFrameOnScreen()
{
    if (!m_owner || !m_owner->isWindow() || !m_owner->isVisible() ||
        (m_owner->windowState() &
         (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        return;
    const QMargins known = frameMarginsOf(m_owner);
    if (!known.isNull())
        m_frameMargins = known;
    const QRect current = m_owner->geometry();
    const QRect fitted = FormStateRules::FitOnScreens(current, m_frameMargins, screenAreas(),
                                                      m_owner->minimumSize());
    if (fitted != current)
        m_owner->setGeometry(fitted);
}

void TWyFormState::checkFrameAfterShow()
{
    if (!m_enabled)
        return;
    fitFrameOnScreen();
    // The window manager frames a newly mapped window a moment later; until it has, the
    // frame's size is not known. A window that gets no frame keeps the first fit.
    if (!m_frameCheck) {
        m_frameCheck = new QTimer(this);
        m_frameCheck->setInterval(kFrameCheckMs);
        connect(m_frameCheck, &QTimer::timeout, this, [this] {
            ++m_frameChecks;
            const bool framed = m_owner && !frameMarginsOf(m_owner).isNull();
            if (framed || m_frameChecks >= kFrameChecks || !m_owner || !m_owner->isVisible()) {
                m_frameCheck->stop();
                fitFrameOnScreen();
            }
        });
    }
    m_frameChecks = 0;
    m_frameCheck->start();
}
