#include "DialogHints.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstring>

namespace {

// The Motif window-manager hints as window managers read them.
constexpr quint32 kMwmHintsFunctions = 1u << 0;
constexpr quint32 kMwmHintsDecorations = 1u << 1;
constexpr quint32 kMwmFuncMove = 1u << 2;
constexpr quint32 kMwmFuncClose = 1u << 5;
constexpr quint32 kMwmDecorBorder = 1u << 1;
constexpr quint32 kMwmDecorTitle = 1u << 3;
constexpr quint32 kMwmDecorMenu = 1u << 4;

void writeMotifHints(QWidget *dialog, bool closable)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t *connection = x11->connection();
    const char name[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(std::strlen(name)), name), nullptr);
    if (!reply)
        return;
    const xcb_atom_t atom = reply->atom;
    free(reply);
    const quint32 hints[5] = {
        kMwmHintsFunctions | kMwmHintsDecorations,
        kMwmFuncMove | (closable ? kMwmFuncClose : 0u),
        kMwmDecorBorder | kMwmDecorTitle | (closable ? kMwmDecorMenu : 0u),
        0,
        0,
    };
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(dialog->winId()), atom,
                        atom, 32, 5, hints);
    xcb_flush(connection);
}

// Writes the hints each time the dialog is shown: the toolkit writes its own when it
// makes the window, and the window manager reads them when it maps it.
class MotifHints : public QObject
{
public:
    MotifHints(QWidget *dialog, bool closable) : QObject(dialog), m_closable(closable)
    {
        setObjectName(QStringLiteral("DialogHints"));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            auto *dialog = static_cast<QWidget *>(watched);
            if (dialog->minimumSize() != dialog->maximumSize())
                dialog->setFixedSize(dialog->size());
            writeMotifHints(dialog, m_closable);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_closable;
};

} // namespace

namespace DialogHints {

void SetFixed(QWidget *dialog, bool closable)
{
    Qt::WindowFlags flags = dialog->windowFlags() & ~Qt::WindowType_Mask;
    flags &= ~(Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
               Qt::WindowContextHelpButtonHint);
    flags |= Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
             Qt::MSWindowsFixedSizeDialogHint;
    if (closable)
        flags |= Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    dialog->setWindowFlags(flags);
    if (!dialog->findChild<QObject *>(QStringLiteral("DialogHints"), Qt::FindDirectChildrenOnly))
        dialog->installEventFilter(new MotifHints(dialog, closable));
}

} // namespace DialogHints
