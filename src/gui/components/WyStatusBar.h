// The list frames' status bar: a status bar that holds a 16 by 16 picture in a first,
// narrow panel, ahead of the other panels and controls placed on it. Nothing builds it yet:
// the list frames still put the same bar together themselves (Fr_wyTree.cpp).
#pragma once

#include <QStatusBar>

class QLabel;

class TWyStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit TWyStatusBar(QWidget *parent = nullptr);

    // The picture in the first panel (21 pixels wide).
    void setPicture(const QPixmap &picture);
    void setPicture(const QIcon &icon);
    QLabel *StatusImage() const { return m_image; }

private:
    QLabel *m_image;
};
