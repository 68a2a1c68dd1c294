#include "E2eSupport.h"

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

X11Session::X11Session(Options options)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return;
    m_xvfb = std::make_unique<QProcess>();
    m_xvfb->setProcessChannelMode(QProcess::SeparateChannels);
    m_xvfb->start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), options.screen, QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    if (!m_xvfb->waitForStarted(5000))
        return;
    QByteArray number;
    QDeadlineTimer deadline(10000);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           m_xvfb->state() == QProcess::Running) {
        m_xvfb->waitForReadyRead(200);
        number += m_xvfb->readAllStandardOutput();
    }
    if (!number.contains('\n'))
        return;
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    const QProcessEnvironment env = environment();
    if (options.windowManager) {
        // Openbox runs its start-up command once it manages the screen: the window manager is
        // ready when that command has left its mark. Now and then openbox ends at once
        // without a word: it is started again then.
        const QString ready = m_runtime.filePath(QStringLiteral("window-manager-ready"));
        bool managed = false;
        for (int attempt = 0; attempt < 3 && !managed; ++attempt) {
            if (m_wm && m_wm->state() != QProcess::NotRunning) {
                m_wm->kill();
                m_wm->waitForFinished(1000);
            }
            m_wm = std::make_unique<QProcess>();
            m_wm->setProcessEnvironment(env);
            m_wm->start(QStringLiteral("openbox"),
                        {QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
            managed =
                m_wm->waitForStarted(5000) &&
                QTest::qWaitFor(
                    [&] { return m_wm->state() == QProcess::NotRunning || QFile::exists(ready); },
                    10000) &&
                m_wm->state() == QProcess::Running;
            if (!managed)
                qWarning("the window manager did not come up (exit code %d)", m_wm->exitCode());
        }
    }
    if (options.tray)
        startTray();
}

bool X11Session::startTray()
{
    stopTray();
    m_tray = std::make_unique<QProcess>();
    m_tray->setProcessEnvironment(environment());
    m_tray->start(QStringLiteral("trayer"),
                  {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                   QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                   QStringLiteral("--width"), QStringLiteral("120")});
    if (!m_tray->waitForStarted(5000))
        return false;
    // The tray is ready once its panel shows.
    return QTest::qWaitFor(
        [this] {
            return !run(QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--classname"), QStringLiteral("^panel$")})
                        .isEmpty();
        },
        10000);
}

void X11Session::stopTray()
{
    if (!m_tray)
        return;
    if (m_tray->state() != QProcess::NotRunning) {
        m_tray->terminate();
        if (!m_tray->waitForFinished(3000))
            m_tray->kill();
        m_tray->waitForFinished(1000);
    }
    m_tray.reset();
}

X11Session::~X11Session()
{
    for (auto *process : {m_tray.get(), m_wm.get(), m_xvfb.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(1000);
        }
    }
}

QProcessEnvironment X11Session::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(m_extra);
    return env;
}

void X11Session::setEnvironmentValue(const QString &name, const QString &value)
{
    m_extra.insert(name, value);
}

QString X11Session::run(const QString &program, const QStringList &arguments, int *exitCode,
                        int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString X11Session::waitForWindow(const QString &title, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString ids =
            run(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
        if (!ids.isEmpty())
            return ids.split(QLatin1Char('\n')).first();
        QTest::qWait(100);
    }
    return {};
}

QStringList X11Session::shownWindows(const QString &windowClass) const
{
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                QStringLiteral("--classname"), QLatin1Char('^') + windowClass + QLatin1Char('$')})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString X11Session::waitForNewWindow(const QString &windowClass, const QStringList &before,
                                     int timeoutMs) const
{
    QString added;
    const bool shown = QTest::qWaitFor(
        [&] {
            for (const QString &id : shownWindows(windowClass)) {
                if (!before.contains(id)) {
                    added = id;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return shown ? added : QString();
}

bool X11Session::waitUntilActive(const QString &window, int timeoutMs) const
{
    return QTest::qWaitFor(
        [&] {
            return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}) == window;
        },
        timeoutMs);
}

QString X11Session::mapState(const QString &window) const
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("Map State:")))
            return trimmed.mid(10).trimmed();
    }
    return {};
}

QString X11Session::waitForTrayIcon(const QString &windowClass, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString ids =
            run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--classname"),
                                            QLatin1Char('^') + windowClass + QLatin1Char('$')});
        for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
            int width = 0;
            int height = 0;
            bool viewable = false;
            for (const QString &line : info.split(QLatin1Char('\n'))) {
                const QString trimmed = line.trimmed();
                if (trimmed.startsWith(QLatin1String("Width:")))
                    width = trimmed.mid(6).trimmed().toInt();
                else if (trimmed.startsWith(QLatin1String("Height:")))
                    height = trimmed.mid(7).trimmed().toInt();
                else if (trimmed.startsWith(QLatin1String("Map State:")))
                    viewable = trimmed.endsWith(QLatin1String("IsViewable"));
            }
            if (viewable && width > 1 && height > 1 && width <= 64 && height <= 64)
                return id;
        }
        QTest::qWait(100);
    }
    return {};
}

QString X11Session::wmState(const QString &window) const
{
    const QString info =
        run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("WM_STATE")});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("window state:")))
            return trimmed.mid(13).trimmed();
    }
    return {};
}

bool X11Session::isHiddenInTray(const QString &window) const
{
    return mapState(window) == QStringLiteral("IsUnMapped") &&
           wmState(window) != QStringLiteral("Iconic");
}

bool X11Session::isReachable(const QString &window) const
{
    return mapState(window) == QStringLiteral("IsViewable") ||
           wmState(window) == QStringLiteral("Iconic");
}

void X11Session::closeWithKey(const QString &window) const
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window,
             QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("alt+F4")});
        QDeadlineTimer deadline(2000);
        while (!deadline.hasExpired() && mapState(window) == QStringLiteral("IsViewable"))
            QTest::qWait(50);
        if (mapState(window) != QStringLiteral("IsViewable"))
            return;
        qInfo("the close key again");
    }
}

void X11Session::click(const QString &window, int button) const
{
    const QString geometry =
        run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), window});
    int width = 2;
    int height = 2;
    for (const QString &line : geometry.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1String("Geometry:"))) {
            const QStringList size = trimmed.mid(9).trimmed().split(QLatin1Char('x'));
            if (size.size() == 2) {
                width = size.at(0).toInt();
                height = size.at(1).toInt();
            }
        }
    }
    run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                    QString::number(width / 2), QString::number(height / 2),
                                    QStringLiteral("click"), QString::number(button)});
}

void X11Session::keys(const QStringList &names) const
{
    run(QStringLiteral("xdotool"),
        QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} +
            names);
}

ProgramRun::ProgramRun(const X11Session &session, const QString &home, const QString &program)
    : m_session(session), m_home(home), m_program(program.isEmpty() ? programPath() : program)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

ProgramRun::~ProgramRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString ProgramRun::programPath()
{
    return QStringLiteral(TASKLUME_PROGRAM);
}

bool ProgramRun::start()
{
    QProcessEnvironment env = m_session.environment();
    env.insert(QStringLiteral("TASKLUME_HOME"), m_home);
    m_process.setProcessEnvironment(env);
    m_process.start(m_program, {});
    return m_process.waitForStarted(5000);
}

QByteArray ProgramRun::request(const QByteArray &line) const
{
    // The channel's name depends on the display and runtime folder of the session.
    const QProcessEnvironment env = m_session.environment();
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("DISPLAY", env.value(QStringLiteral("DISPLAY")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", env.value(QStringLiteral("XDG_RUNTIME_DIR")).toLocal8Bit());
    const QByteArray reply = RequestRunningInstance(line);
    qputenv("DISPLAY", oldDisplay);
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    return reply;
}

QByteArray ProgramRun::waitForRows(const QByteArray &list, const QByteArray &needle,
                                   int timeoutMs) const
{
    QByteArray rows;
    QDeadlineTimer deadline(timeoutMs);
    while (!rows.contains(needle) && !deadline.hasExpired()) {
        rows = request("rows " + list);
        if (!rows.contains(needle))
            QTest::qWait(20);
    }
    return rows;
}

bool ProgramRun::waitForEnd(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return m_process.waitForFinished(timeoutMs);
}

QString ProgramRun::output() const
{
    return QString::fromLocal8Bit(const_cast<QProcess &>(m_process).readAll());
}
