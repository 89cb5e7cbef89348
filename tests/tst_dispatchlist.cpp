#include <QStandardItemModel>
#include <QtTest>

#include "testkit/testenv.h"
#include "ui/dispatchlist.h"

class TestDispatchList : public QObject
{
    Q_OBJECT

private slots:
    void groups_data();
    void groups();
    void targets_data();
    void targets();

private:
    QModelIndex find(const QStandardItemModel &model, const QString &rowPath);
};

void TestDispatchList::groups_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QStringList>("groups");
    QTest::newRow("nothing") << QStringList{} << QStringList{};
    QTest::newRow("one device") << QStringList{"M1|S1"} << QStringList{"M1|S1"};
    QTest::newRow("S1 and S10, S1 first")
        << QStringList{"M1|S10", "M1|S1"} << QStringList{"M1|S1|S10"};
    QTest::newRow("device named inside machine name")
        << QStringList{"M1|1", "M1|S2"} << QStringList{"M1|S2"};
    QTest::newRow("same device twice") << QStringList{"M1|S1", "M1|S1"} << QStringList{"M1|S1"};
    QTest::newRow("names differing only in case")
        << QStringList{"m1|S1", "M1|S2"} << QStringList{"M1|S2", "m1|S1"};
    QTest::newRow("groups in sorted order")
        << QStringList{"M2|S1", "M1|S3", "M1|S2"} << QStringList{"M1|S2|S3", "M2|S1"};
    QTest::newRow("machine name prefix of another")
        << QStringList{"M1|S1", "M10|S1", "M1|S2"} << QStringList{"M10|S1", "M1|S1|S2"};
    QTest::newRow("source mark sorts first")
        << QStringList{"M1|S2", "M1|*S1"} << QStringList{"M1|*S1|S2"};
    QTest::newRow("empty device name adds nothing")
        << QStringList{"M1|", "M1|S1"} << QStringList{"M1|S1"};
    QTest::newRow("machine with only an empty device") << QStringList{"M1|"} << QStringList{"M1"};
    QTest::newRow("third field ignored") << QStringList{"M1|S1|extra"} << QStringList{"M1|S1"};
}

void TestDispatchList::groups()
{
    QFETCH(QStringList, pairs);
    QFETCH(QStringList, groups);
    QCOMPARE(dispatchGroups(pairs), groups);
}

// The tree: machine "M1" with S1, S2 and the source *S3; "M2" with S1 and a device without a
// name; "m2" with S5; "M3" with S10 above S1. Rows are named "machine" or "machine/device".
QModelIndex TestDispatchList::find(const QStandardItemModel &model, const QString &rowPath)
{
    const QString machine = rowPath.section('/', 0, 0);
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex machineIndex = model.index(row, 0);
        if (machineIndex.data().toString() != machine)
            continue;
        if (!rowPath.contains('/'))
            return machineIndex;
        for (int child = 0; child < model.rowCount(machineIndex); ++child) {
            const QModelIndex device = model.index(child, 0, machineIndex);
            if (device.data().toString() == rowPath.section('/', 1))
                return device;
        }
    }
    qFatal("no row %s", qPrintable(rowPath));
    return {};
}

void TestDispatchList::targets_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("isOperatorChoice");
    QTest::addColumn<QStringList>("dispatchList");
    QTest::addColumn<QStringList>("selectedDevices");
    QTest::newRow("two devices on two machines")
        << QStringList{"M2/S1", "M1/S2"} << true << QStringList{"M1|S2", "M2|S1"}
        << QStringList{"M1|S2", "M2|S1"};
    QTest::newRow("chosen machine rows are ignored")
        << QStringList{"M1", "M2/S1"} << true << QStringList{"M2|S1"} << QStringList{"M2|S1"};
    QTest::newRow("only machine rows chosen")
        << QStringList{"M1", "M2"} << true << QStringList{} << QStringList{};
    QTest::newRow("source device keeps its mark")
        << QStringList{"M1/*S3"} << true << QStringList{"M1|*S3"} << QStringList{"M1|*S3"};
    QTest::newRow("device without a name is no selected device")
        << QStringList{"M2/"} << true << QStringList{"M2"} << QStringList{};
    QTest::newRow("S10 above S1") << QStringList{"M3/S10", "M3/S1"} << true
                                  << QStringList{"M3|S1|S10"} << QStringList{"M3|S1", "M3|S10"};
    QTest::newRow("machines differing in case")
        << QStringList{"m2/S5", "M2/S1"} << true << QStringList{"M2|S1", "m2|S5"}
        << QStringList{"M2|S1", "m2|S5"};
    // The whole tree as select-all leaves it: every machine row, and the device rows of the
    // expanded machine M1 only. Each machine brings all its devices, each device once.
    QTest::newRow("whole tree") << QStringList{"M1", "M1/S1", "M1/S2", "M1/*S3", "M2", "m2", "M3"}
                                << false
                                << QStringList{"M1|*S3|S1|S2", "M2|S1", "M3|S1|S10", "m2|S5"}
                                << QStringList{};
}

void TestDispatchList::targets()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, isOperatorChoice);
    QFETCH(QStringList, dispatchList);
    QFETCH(QStringList, selectedDevices);

    QStandardItemModel model;
    const QList<QPair<QString, QStringList>> tree = {
        {"M1", {"S1", "S2", "*S3"}}, {"M2", {"S1", ""}}, {"m2", {"S5"}}, {"M3", {"S10", "S1"}}};
    for (const auto &machine : tree) {
        auto *item = new QStandardItem(machine.first);
        for (const QString &device : machine.second)
            item->appendRow(new QStandardItem(device));
        model.appendRow(item);
    }
    QModelIndexList indexes;
    for (const QString &rowPath : rows)
        indexes << find(model, rowPath);

    const DispatchTargets targets = dispatchTargets(indexes, isOperatorChoice);
    QCOMPARE(targets.dispatchList, dispatchList);
    QCOMPARE(targets.selectedDevices, selectedDevices);
}

TARN_TEST_MAIN(TestDispatchList)
#include "tst_dispatchlist.moc"
