#include "app/para.h"
#include "app/translation.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initTarnResources();
    para.restore();
    installLanguage(para.translate);

    // Deletes itself when closed.
    auto *window = new MainWindow();
    window->show();
    return app.exec();
}
