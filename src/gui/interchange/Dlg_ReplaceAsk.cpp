#include "Dlg_ReplaceAsk.h"

#include "common/pU_Funcs.h"
#include "interchange/IoTexts.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kAnswerBase = 100;

QLabel *label(QWidget *parent, const char *name, int left, int top)
{
    auto *result = new QLabel(parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setTextFormat(Qt::PlainText);
    result->move(left, top);
    return result;
}

// A one-line item text in blue, 360 pixels wide; what does not fit is cut off.
void makeTitle(QLabel *title)
{
    title->setFixedWidth(360);
    title->setWordWrap(false);
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    title->setPalette(palette);
}

QString timeText(TDateTime value)
{
    return value == 0 ? QString() : FormatDateTime(value);
}

} // namespace

TReplaceAskDlg::TReplaceAskDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ReplaceAskDlg"));
    setWindowTitle(IoTexts::ReplaceCaption);
    // A fixed dialog border: a title and a close button, nothing to resize or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(463, 250);

    Label_Caption = label(this, "Label_Caption", 56, 24);
    Label_oldTitle = label(this, "Label_oldTitle", 80, 56);
    Label_oldTime = label(this, "Label_oldTime", 80, 80);
    Label2 = label(this, "Label2", 56, 104);
    Label2->setText(IoTexts::ReplaceWith);
    Label_newTitle = label(this, "Label_newTitle", 80, 144);
    Label_newTime = label(this, "Label_newTime", 80, 168);
    makeTitle(Label_oldTitle);
    makeTitle(Label_newTitle);

    auto button = [this](const char *name, const QString &text, int left,
                         Interchange::Answer answer) {
        auto *result = new QPushButton(text, this);
        result->setObjectName(QString::fromLatin1(name));
        result->setGeometry(left, 200, 75, 25);
        connect(result, &QPushButton::clicked, this, [this, answer] { this->answer(answer); });
        return result;
    };
    Btn_Yes = button("Btn_Yes", QStringLiteral("&Yes"), 88, Interchange::Answer::Yes);
    Btn_All = button("Btn_All", QStringLiteral("&All"), 176, Interchange::Answer::All);
    Btn_No = button("Btn_No", QStringLiteral("&No"), 264, Interchange::Answer::No);
    Btn_Abort = button("Btn_Abort", QStringLiteral("A&bort"), 352, Interchange::Answer::Abort);
    setTabOrder(Btn_Yes, Btn_No);
    setTabOrder(Btn_No, Btn_Abort);
    setTabOrder(Btn_Abort, Btn_All);
}

void TReplaceAskDlg::fill(const Interchange::ReplaceQuestion &question)
{
    Label_Caption->setText(IoTexts::ReplaceQuestion + question.kind);
    Label_Caption->adjustSize();
    Label_oldTitle->setText(FlattenLines(question.storedContent));
    Label_oldTitle->adjustSize();
    Label_oldTitle->setFixedWidth(360);
    Label_oldTime->setText(IoTexts::Modified + timeText(question.storedEditTime));
    Label_oldTime->adjustSize();
    Label_newTitle->setText(FlattenLines(question.fileContent));
    Label_newTitle->adjustSize();
    Label_newTitle->setFixedWidth(360);
    Label_newTime->setText(IoTexts::Modified + (question.fileEditTime
                                                    ? timeText(*question.fileEditTime)
                                                    : question.fileEditTimeText));
    Label_newTime->adjustSize();
    Label2->adjustSize();
}

void TReplaceAskDlg::answer(Interchange::Answer answer)
{
    done(kAnswerBase + int(answer));
}

Interchange::Answer TReplaceAskDlg::ask(const Interchange::ReplaceQuestion &question)
{
    fill(question);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    Btn_Yes->setFocus();
    const int result = exec();
    if (result >= kAnswerBase && result <= kAnswerBase + int(Interchange::Answer::Abort))
        return Interchange::Answer(result - kAnswerBase);
    return Interchange::Answer::No; // closed by its window button or Escape
}

DialogReplaceAsker::DialogReplaceAsker(QWidget *parent) : m_dialog(parent) {}

Interchange::Answer DialogReplaceAsker::ask(const Interchange::ReplaceQuestion &question)
{
    return m_dialog.ask(question);
}
