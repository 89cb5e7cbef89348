#include "machineoptions.h"
#include "machineroom.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarn-machine"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    const MachineOptions options = MachineOptions::fromCommandLine(app);
    MachineRoom room(options);
    if (!room.start())
        return 1;
    return app.exec();
}
