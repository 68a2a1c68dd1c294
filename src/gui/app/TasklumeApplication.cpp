#include "TasklumeApplication.h"

#include "common/Texts.h"
#include "common/pU_Boxes.h"

TasklumeApplication::TasklumeApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(Texts::AppTitle);
    setOrganizationName(QStringLiteral("Ploxen"));
    setApplicationVersion(QStringLiteral(TASKLUME_VERSION));
    setDesktopFileName(Texts::DesktopId);
    setQuitOnLastWindowClosed(false);
}

bool TasklumeApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ReportException(error);
    }
    return false;
}
