#include "WyStatusBar.h"

#include <QIcon>
#include <QLabel>

TWyStatusBar::TWyStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("StatusImage"));
    m_image->setFixedSize(21, 16);
    m_image->setAlignment(Qt::AlignCenter);
    addWidget(m_image);
}

void TWyStatusBar::setPicture(const QPixmap &picture)
{
    m_image->setPixmap(picture);
}

void TWyStatusBar::setPicture(const QIcon &icon)
{
    // Drawn for the screen's pixel ratio, so the picture stays crisp on HiDPI screens.
    m_image->setPixmap(icon.pixmap(QSize(16, 16), devicePixelRatioF()));
}
