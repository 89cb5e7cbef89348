#include <QStandardItemModel>
#include <QtTest>

#include "testkit/testenv.h"
#include "ui/dispatchlist.h"

namespace {
QStringList list(const char *items)
{
    return QString::fromLatin1(items).split(';', Qt::SkipEmptyParts);
}
} // namespace

// How the operator's choice of machines and devices becomes the dispatch.
class TestDispatchList : public QObject
{
    Q_OBJECT

private slots:
    void groups_data();
    void groups();
    void targets_data();
    void targets();
};

void TestDispatchList::groups_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QStringList>("groups");
    const auto row = [](const char *name, const char *pairs, const char *groups) {
        QTest::newRow(name) << list(pairs) << list(groups);
    };
    row("nothing", "", "");
    row("S1 and S10, S1 first", "M1|S10;M1|S1", "M1|S1|S10");
    row("device named inside machine name", "M1|1;M1|S2", "M1|S2");
    row("same device twice", "M1|S1;M1|S1", "M1|S1");
    row("names differing only in case", "m1|S1;M1|S2", "M1|S2;m1|S1");
    row("groups in sorted order", "M2|S1;M1|S3;M1|S2", "M1|S2|S3;M2|S1");
    row("machine name prefix of another", "M1|S1;M10|S1;M1|S2", "M10|S1;M1|S1|S2");
    row("source mark sorts first", "M1|S2;M1|*S1", "M1|*S1|S2");
    row("empty device name adds nothing", "M1|;M1|S1", "M1|S1");
    row("machine with only an empty device", "M1|", "M1");
    row("third field ignored", "M1|S1|extra", "M1|S1");
}

void TestDispatchList::groups()
{
    QFETCH(QStringList, pairs);
    QFETCH(QStringList, groups);
    QCOMPARE(dispatchGroups(pairs), groups);
}

void TestDispatchList::targets_data()
{
    QTest::addColumn<QStringList>("rows"); // "machine" or "machine/device"
    QTest::addColumn<bool>("isOperatorChoice");
    QTest::addColumn<QStringList>("dispatchList");
    QTest::addColumn<QStringList>("selectedDevices");
    const auto row = [](const char *name, const char *rows, bool chosen, const char *dispatch,
                        const char *devices) {
        QTest::newRow(name) << list(rows) << chosen << list(dispatch) << list(devices);
    };
    row("two devices on two machines", "M2/S1;M1/S2", true, "M1|S2;M2|S1", "M1|S2;M2|S1");
    row("chosen machine rows are ignored", "M1;M2/S1", true, "M2|S1", "M2|S1");
    row("only machine rows chosen", "M1;M2", true, "", "");
    row("source device keeps its mark", "M1/*S3", true, "M1|*S3", "M1|*S3");
    row("device without a name is no selected device", "M2/", true, "M2", "");
    row("S10 above S1", "M3/S10;M3/S1", true, "M3|S1|S10", "M3|S1;M3|S10");
    row("machines differing in case", "m2/S5;M2/S1", true, "M2|S1;m2|S5", "M2|S1;m2|S5");
    // Select-all: every machine row, device rows of the expanded M1 only. Each machine brings
    // all its devices, each device once.
    row("whole tree", "M1;M1/S1;M1/S2;M1/*S3;M2;m2;M3", false, "M1|*S3|S1|S2;M2|S1;M3|S1|S10;m2|S5",
        "");
}

void TestDispatchList::targets()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, isOperatorChoice);
    QFETCH(QStringList, dispatchList);
    QFETCH(QStringList, selectedDevices);
    QStandardItemModel model;
    QHash<QString, QModelIndex> rowAt;
    for (const char *machine : {"M1|S1|S2|*S3", "M2|S1|", "m2|S5", "M3|S10|S1"}) {
        const QStringList names = QString::fromLatin1(machine).split('|');
        auto *item = new QStandardItem(names.first());
        model.appendRow(item);
        rowAt.insert(names.first(), item->index());
        for (const QString &device : names.mid(1)) {
            item->appendRow(new QStandardItem(device));
            rowAt.insert(names.first() + '/' + device, item->child(item->rowCount() - 1)->index());
        }
    }
    QModelIndexList indexes;
    for (const QString &rowPath : rows)
        indexes << rowAt.value(rowPath);
    const DispatchTargets targets = dispatchTargets(indexes, isOperatorChoice);
    QCOMPARE(targets.dispatchList, dispatchList);
    QCOMPARE(targets.selectedDevices, selectedDevices);
}

TARN_TEST_MAIN(TestDispatchList)
#include "tst_dispatchlist.moc"
