// Drives the modal dialogs that the code under test opens with exec(): waits for the next
// visible top-level widget of a type and runs an action on it from the dialog's own event
// loop.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

template <class Dialog> class OnDialog : public QObject
{
public:
    explicit OnDialog(std::function<void(Dialog *)> action) : m_action(std::move(action))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<Dialog *>(widget);
                if (dialog && dialog->isVisible() && !m_seen.contains(dialog)) {
                    m_seen.append(dialog);
                    m_timer.stop();
                    ++m_runs;
                    const QPointer<Dialog> guard(dialog);
                    m_action(dialog);
                    // An action that failed half-way must not leave a modal dialog open.
                    if (guard && guard->isVisible())
                        guard->reject();
                    return;
                }
            }
        });
        m_timer.start();
    }
    // How often the action ran (once, unless rearmed).
    int runs() const { return m_runs; }
    // Waits for the next dialog of the type too.
    void rearm() { m_timer.start(); }

private:
    std::function<void(Dialog *)> m_action;
    QTimer m_timer;
    QList<QPointer<Dialog>> m_seen;
    int m_runs = 0;
};

// Answers the next message box with a button and keeps its caption and text.
class BoxAnswer : public OnDialog<QMessageBox>
{
public:
    explicit BoxAnswer(QMessageBox::StandardButton button)
        : OnDialog<QMessageBox>([this, button](QMessageBox *box) {
              caption = box->windowTitle();
              text = box->text();
              box->button(button)->click();
          })
    {}
    QString caption;
    QString text;
};

// Answers every message box that shows, so that none waits for a click for ever, and keeps
// "caption: text" of each. Each box is answered with button; QMessageBox::NoButton closes it
// as Cancel.
class EveryBoxAnswer : public QObject
{
public:
    explicit EveryBoxAnswer(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this, button] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (box == nullptr || !box->isVisible())
                    continue;
                texts.append(box->windowTitle() + QStringLiteral(": ") + box->text());
                if (button == QMessageBox::NoButton)
                    box->done(QMessageBox::Cancel);
                else
                    box->button(button)->click();
            }
        });
        m_timer.start();
    }
    QStringList texts;

private:
    QTimer m_timer;
};
