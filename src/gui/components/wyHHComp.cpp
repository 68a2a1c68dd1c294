#include "wyHHComp.h"

#include "common/AppPaths.h"
#include "components/HelpTopics.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QWidget>

namespace {
const char *const kHelpContextProperty = "helpContext";
}

TWYHHComp::TWYHHComp(QWidget *owner) : QObject(owner), m_owner(owner) {}

TWYHHComp::~TWYHHComp()
{
    if (m_loaded)
        qApp->removeEventFilter(this);
    closeAll();
}

QString TWYHHComp::fullHelpPath() const
{
    if (QDir::isAbsolutePath(m_helpFile))
        return m_helpFile;
    return AppPaths::folder() + m_helpFile;
}

void TWYHHComp::Loaded()
{
    if (m_loaded)
        return;
    // Keys reach the application before the focused control, as a key preview would.
    qApp->installEventFilter(this);
    m_loaded = true;
}

int TWYHHComp::helpContextOf(const QWidget *widget)
{
    return widget ? widget->property(kHelpContextProperty).toInt() : 0;
}

void TWYHHComp::setHelpContext(QWidget *widget, int context)
{
    widget->setProperty(kHelpContextProperty, context);
}

int TWYHHComp::activeContext() const
{
    if (!m_owner)
        return 0;
    for (const QWidget *w = m_owner->focusWidget(); w && w != m_owner; w = w->parentWidget()) {
        if (const int context = helpContextOf(w))
            return context;
    }
    return helpContextOf(m_owner);
}

void TWYHHComp::showHelp(int context)
{
    if (m_helpFile.isEmpty())
        return;
    if (!m_viewer) {
        m_viewer = new HelpViewer;
        m_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_viewer->open(fullHelpPath(), HelpAnchor(context));
    m_viewer->show();
    m_viewer->raise();
    m_viewer->activateWindow();
}

void TWYHHComp::closeAll()
{
    delete m_viewer;
}

bool TWYHHComp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_owner)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (key->key() != Qt::Key_F1 || !widget || widget->window() != m_owner)
        return QObject::eventFilter(watched, event);
    constexpr Qt::KeyboardModifiers held =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key->modifiers() & held)
        return QObject::eventFilter(watched, event); // passed on unchanged
    showHelp(activeContext());
    return true; // handled, whether or not help was opened
}
