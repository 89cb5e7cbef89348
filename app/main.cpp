#include "app/para.h"
#include "app/translation.h"
#include "ui/mainwindow.h"

#include <QApplication>

#include <sys/resource.h>

namespace {
// Every machine holds a socket, and a chatty one a spooled run log too: a room of a few hundred
// machines would meet the usual soft limit of 1,024 descriptors long before the hard one.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    raiseDescriptorLimit();
    QApplication app(argc, argv);
    initTarnResources();
    para.restore();
    installLanguage(para.translate);

    // Deletes itself when closed.
    auto *window = new MainWindow();
    window->show();
    return app.exec();
}
