// The application object: the last line of the application-wide error report, so that an
// error escaping a command is shown to the user and the program goes on.
#pragma once

#include <QApplication>

class TasklumeApplication : public QApplication
{
    Q_OBJECT
public:
    TasklumeApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
