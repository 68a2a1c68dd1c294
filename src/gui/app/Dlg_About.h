// "About...": the program's picture, name and version, the maker's web site and mail
// addresses (each opens in the user's browser or mail program), and the maker's notice.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TcommonDm;

class TAboutDlg : public QDialog
{
    Q_OBJECT
public:
    // version: the program's file version, shown alone.
    TAboutDlg(TcommonDm &commonDm, const QString &version, QWidget *parent = nullptr);

    QLabel *Image_App = nullptr;
    QLabel *Label_AppName = nullptr;
    QLabel *lbl_version = nullptr;
    QLabel *Label_Website = nullptr;
    QLabel *Label_Support = nullptr;
    QLabel *Label_Sales = nullptr;
    QPushButton *Btn_Close = nullptr;

private:
    void LinkClick(const QString &link);

    TcommonDm &m_commonDm;
};
