// "Set Color": a text colour code and a background colour code in, the same two out, with a
// live preview.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class TColorSetDlg : public QDialog
{
    Q_OBJECT
public:
    // Filled from a task's textColor and backgroundColor.
    TColorSetDlg(qint32 textColor, qint32 backgroundColor, QWidget *parent = nullptr);

    // The result after OK or Default.
    qint32 textColor() const { return m_textColor; }
    qint32 backgroundColor() const { return m_backgroundColor; }

    // The code a colour list has selected.
    static qint32 selectedCode(const QComboBox *list);
    // Selects code in a colour list, adding it at the end when the list does not offer it.
    static void selectCode(QComboBox *list, qint32 code);

    QCheckBox *cb_text = nullptr;
    QComboBox *cbox_text = nullptr;
    QCheckBox *cb_bg = nullptr;
    QComboBox *cbox_bg = nullptr;
    QLineEdit *Memo1 = nullptr;
    QPushButton *btn_Default = nullptr;
    QPushButton *btn_Ok = nullptr;
    QPushButton *btn_Cancel = nullptr;

protected:
    // The focused control shows its focus frame from the start.
    void showEvent(QShowEvent *event) override;

private:
    QComboBox *makeColorList(const QString &name);
    void FormShow();
    void cb_textClick();
    void cb_bgClick();
    void cbox_textChange();
    void cbox_bgChange();
    void refreshPreview();
    void setPreview(const QColor &text, const QColor &background);
    void btn_OkClick();
    void btn_DefaultClick();

    qint32 m_inText;
    qint32 m_inBackground;
    qint32 m_textColor = 0;
    qint32 m_backgroundColor = 0;
};
