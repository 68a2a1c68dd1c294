#include "pU_Boxes.h"

#include "common/Texts.h"
#include "common/pU_Funcs.h"

#include <QApplication>

QMessageBox::StandardButton ShowBox(const QString &caption, const QString &text,
                                    QMessageBox::StandardButtons buttons)
{
    QWidget *owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, caption, text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    return QMessageBox::StandardButton(box.exec());
}

bool AskBox(const QString &text)
{
    return ShowBox(Texts::CaptionAsk, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

void ErrorBox(const QString &text)
{
    ShowBox(Texts::CaptionError, text, QMessageBox::Ok);
}

void WarningBox(const QString &text)
{
    ShowBox(Texts::CaptionWarning, text, QMessageBox::Ok);
}

void TipBox(const QString &text)
{
    ShowBox(Texts::CaptionTip, text, QMessageBox::Ok);
}

void ReportError(const QString &text)
{
    ShowBox(Texts::AppTitle, text, QMessageBox::Ok);
}

void ReportException(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const TasklumeError *>(&error))
        ReportError(own->text());
    else
        ReportError(QString::fromLocal8Bit(error.what()));
}

QByteArray OpenBoxesText()
{
    QByteArray text;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        const auto *box = qobject_cast<const QMessageBox *>(widget);
        if (box && box->isVisible())
            text += (box->windowTitle() + QLatin1Char('\t') + FlattenLines(box->text())).toUtf8() +
                    '\n';
    }
    return text;
}
