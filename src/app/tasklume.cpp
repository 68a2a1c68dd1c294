// The program's entry: one copy per user and display session, the main window, the event
// loop.
#include "common/pU_Boxes.h"
#include "common/pU_Funcs.h"
#include "components/AppIcon.h"
#include "Fm_Main.h"
#include "SingleInstance.h"
#include "TasklumeApplication.h"

int main(int argc, char *argv[])
{
    TasklumeApplication app(argc, argv);

    // A second start hands over to the running copy and ends without touching anything.
    if (ActivateRunningInstance())
        return 0;

    // Every window of the program, and the task switcher, show the program's icon.
    QApplication::setWindowIcon(AppIcon());

    InstanceServer instance;
    // Programs of the same user can read the open message boxes over the channel, from the
    // start on (the end-to-end tests read what the program told the user this way).
    const auto boxes = [](const InstanceServer::RequestHandler &others) {
        return [others](const QByteArray &request) {
            if (request == "boxes")
                return OpenBoxesText();
            return others ? others(request) : QByteArrayLiteral("error\n");
        };
    };
    instance.setRequestHandler(boxes(nullptr));
    std::unique_ptr<TmainFm> mainFm;
    try {
        mainFm = std::make_unique<TmainFm>(&instance);
    } catch (const std::exception &error) {
        // Without its database the program cannot work: the user reads why, and it ends.
        ReportException(error);
        return 1;
    }
    instance.setRequestHandler(boxes(instance.requestHandler()));
    mainFm->show();
    return app.exec();
}
