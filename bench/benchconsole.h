#pragma once

// The console as the main window builds it, for the benchmarks that measure it: tree, tabs,
// global log and a real Server on a free command port, its window shown offscreen. Nothing
// announces on a network.

#include <QByteArray>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QTreeView>
#include <QVBoxLayout>

#include "server/server.h"
#include "ui/progressdelegate.h"
#include "ui/summarystyle.h"

#include <cstring>
#include <functional>
#include <memory>

struct BenchConsole
{
    QWidget window;
    QStandardItemModel model;
    QTreeView *tree = new QTreeView;
    QTabWidget *tabs = new QTabWidget;
    QTextBrowser *log = new QTextBrowser;
    std::unique_ptr<Server> server;
    quint16 commandPort = 0;

    BenchConsole()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(tabs);
        tabs->addTab(tree, "Machines Summary");
        tabs->addTab(log, "Global Log");
        tabs->addTab(new QWidget, "Files");
        model.setHorizontalHeaderLabels(
            {"Index", "ModelName", "VendorName", "Capacity", "Status", "Percentage", "Note"});
        tree->setModel(&model);
        tree->setUniformRowHeights(true);
        tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // As the main window paints it: progress bars, result colours, rate tool tips.
        tree->setItemDelegate(new ProgressDelegate(
            ProgressDelegate::machineRates([this] { return server.get(); }), tree));
        SummaryStyle::followResultColors(&model);
        window.resize(1200, 900);
        window.show();
        Server::setAddressEntrySource([] { return QList<QNetworkAddressEntry>(); });
        QTcpServer probe;
        probe.listen(QHostAddress::Any, 0);
        commandPort = probe.serverPort();
        probe.close();
        server = std::make_unique<Server>(log, commandPort, model.invisibleRootItem(), tabs);
        QObject::connect(server.get(), &Server::expandTreeView, tree, &QTreeView::expandAll);
    }
};

// What a baseline does with a machine's bytes: reads all the socket holds, 64 KiB at a time, and
// counts the line feeds; each piece read also goes to `seen` when one is given.
inline qint64 readCountingLines(QTcpSocket *socket,
                                const std::function<void(const QByteArray &)> &seen = nullptr)
{
    char chunk[64 * 1024];
    qint64 lines = 0;
    qint64 got;
    while ((got = socket->read(chunk, sizeof chunk)) > 0) {
        for (const char *p = chunk;
             (p = static_cast<const char *>(std::memchr(p, '\n', chunk + got - p))); ++p)
            ++lines;
        if (seen)
            seen(QByteArray::fromRawData(chunk, int(got)));
    }
    return lines;
}
