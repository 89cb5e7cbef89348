#include <QStandardItemModel>
#include <QtTest>

#include "testkit/testenv.h"
#include "ui/dispatchlist.h"

// How the operator's choice of machines and devices becomes the dispatch: grouped by machine in
// sorted order, each device once.
class TestDispatchList : public QObject
{
    Q_OBJECT

private slots:
    void targets_data()
    {
        // The rows ("machine" or "machine/device"), whether the operator chose them, the dispatch
        // list and the selected devices; ";" between entries.
        QTest::addColumn<QStringList>("row");
        const auto row = [](const char *name, const char *rows, bool chosen, const char *dispatch,
                            const char *devices) {
            QTest::newRow(name) << QStringList{rows, chosen ? "chosen" : "", dispatch, devices};
        };
        row("two devices on two machines", "M2/S1;M1/S2", true, "M1|S2;M2|S1", "M1|S2;M2|S1");
        row("chosen machine rows are ignored", "M1;M2/S1", true, "M2|S1", "M2|S1");
        row("only machine rows chosen", "M1;M2", true, "", "");
        row("source device keeps its mark", "M1/*S3", true, "M1|*S3", "M1|*S3");
        row("device without a name is no selected device", "M2/", true, "M2", "");
        row("S10 above S1", "M3/S10;M3/S1", true, "M3|S1|S10", "M3|S1;M3|S10");
        row("machines differing in case", "m2/S5;M2/S1", true, "M2|S1;m2|S5", "M2|S1;m2|S5");
        row("machine name prefix of another", "M1/S1;M10/S1;M1/S2", true, "M10|S1;M1|S1|S2",
            "M10|S1;M1|S1;M1|S2");
        row("device named inside machine name", "N1/1;N1/S2", true, "N1|S2", "N1|1;N1|S2");
        row("same device twice", "M4/S1;M4/S1", true, "M4|S1", "M4|S1;M4|S1");
        row("separator inside a device name", "M5/S1|x", true, "M5|S1", "M5|S1|x");
        // As select-all leaves them: machine rows, device rows of the expanded M1 only. Each
        // machine brings all its devices, each device once.
        row("machine rows", "M1;M1/S1;M1/S2;M1/*S3;M2;m2;M3", false,
            "M1|*S3|S1|S2;M2|S1;M3|S1|S10;m2|S5", "");
    }
    void targets()
    {
        QFETCH(QStringList, row);
        const auto list = [&](int field) { return row.at(field).split(';', Qt::SkipEmptyParts); };
        QStandardItemModel model;
        QHash<QString, QModelIndex> rowAt;
        for (const char *machine : {"M1,S1,S2,*S3", "M2,S1,", "m2,S5", "M3,S10,S1", "M10,S1",
                                    "N1,1,S2", "M4,S1,S1", "M5,S1|x"}) {
            const QStringList names = QString::fromLatin1(machine).split(',');
            auto *item = new QStandardItem(names.first());
            model.appendRow(item);
            rowAt.insert(names.first(), item->index());
            for (const QString &device : names.mid(1)) {
                item->appendRow(new QStandardItem(device));
                rowAt.insert(names.first() + '/' + device,
                             item->child(item->rowCount() - 1)->index());
            }
        }
        QModelIndexList indexes;
        for (const QString &rowPath : list(0))
            indexes << rowAt.value(rowPath);
        const DispatchTargets targets = dispatchTargets(indexes, row.at(1) == "chosen");
        QCOMPARE(targets.dispatchList, list(2));
        QCOMPARE(targets.selectedDevices, list(3));
    }
};

TARN_TEST_MAIN(TestDispatchList)
#include "tst_dispatchlist.moc"
