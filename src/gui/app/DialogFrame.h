// The frame of the shell's small dialogs: a fixed size (the designed client size, or more
// when the desktop's fonts need it) and a place in the middle of the screen.
#pragma once

#include "components/DialogHints.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

inline void fixDialogFrame(QDialog *dialog, QSize designSize)
{
    DialogHints::SetFixed(dialog);
    QSize size = designSize;
    if (dialog->layout())
        size = size.expandedTo(dialog->layout()->totalMinimumSize());
    dialog->setFixedSize(size);
    QScreen *screen = dialog->parentWidget() ? dialog->parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.x() + (area.width() - size.width()) / 2,
                     area.y() + (area.height() - size.height()) / 2);
    }
}
