// The program's entry: one copy per user and display session and per program folder, the
// main window, the event loop.
#include "app/AutoStart.h"
#include "app/ProgramHelp.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"
#include "common/AppPaths.h"
#include "common/pU_Boxes.h"
#include "common/pU_Funcs.h"
#include "common/RunLock.h"
#include "common/Texts.h"
#include "components/AppIcon.h"
#include "Fm_Main.h"
#include "TasklumeApplication.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    // Answered before any display is opened, so that they work anywhere.
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--version") {
            const QString text =
                argument == "--version" ? ProgramHelp::version() : ProgramHelp::usage();
            std::fputs(text.toLocal8Bit().constData(), stdout);
            return 0;
        }
    }
    TasklumeApplication app(argc, argv);
    // A request to end that comes while the program starts waits for the event loop.
    QuitSignals quitSignals;

    // A second start hands over to the running copy and ends without touching anything.
    if (ActivateRunningInstance())
        return 0;
    // The folder's run lock decides between starts at the same moment; the one that does not
    // get it hands over to the one that did, once that one answers.
    InstanceServer instance;
    RunLock runLock;
    switch (ClaimStart(AppPaths::file(Texts::RunLockFileName), runLock, instance)) {
    case SingleInstance::StartClaim::Run:
        // The only copy on this folder: e-mail attachments an earlier run left are removed.
        AppPaths::clearTempFolder();
        break;
    case SingleInstance::StartClaim::HandedOver:
        return 0;
    case SingleInstance::StartClaim::Unanswered:
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QStringLiteral("%1 already runs on this folder and does not answer.")
                           .arg(Texts::AppTitle)));
        return 1;
    }

    // An autostart entry of an earlier version gets TryExec.
    AutoStart::Renew(QCoreApplication::applicationFilePath(), AutoStart::EntryPath());

    // Every window of the program, and the task switcher, show the program's icon.
    QApplication::setWindowIcon(AppIcon());

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
        mainFm = std::make_unique<TmainFm>(&instance, &runLock);
    } catch (const std::exception &error) {
        // Without its database the program cannot work: the user reads why, and it ends.
        ReportException(error);
        return 1;
    }
    instance.setRequestHandler(boxes(instance.requestHandler()));
    // SIGTERM, SIGHUP and SIGINT end the program as Exit does.
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, mainFm.get(),
                     &TmainFm::endFromOutside);
    mainFm->show();
    const int status = app.exec();
    // Ending: the window and the database are closed below; a further request to end changes
    // nothing of that and must not cut it short.
    quitSignals.ignoreUntilExit();
    return status;
}
