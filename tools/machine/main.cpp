#include "machineoptions.h"
#include "machineroom.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <signal.h>

namespace {
constexpr int WatchEveryMs = 500;

bool processGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarn-machine"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    const MachineOptions options = MachineOptions::fromCommandLine(app);
    MachineRoom room(options);
    if (!room.start())
        return 1;

    // The machines of a demo or a test go with the process that started them, however it ends.
    QTimer watch;
    if (options.watchPid > 0) {
        QObject::connect(&watch, &QTimer::timeout, &app, [&options] {
            if (processGone(options.watchPid))
                QCoreApplication::quit();
        });
        watch.start(WatchEveryMs);
    }
    return app.exec();
}
