#include <QtTest>

#include "client/wire/lineframer.h"
#include "testkit/testenv.h"

class TestLineFramer : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void overlongLineIsDroppedAndMemoryStaysBounded();
};

void TestLineFramer::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("segments");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<qint64>("leftOver");

    using L = QList<QByteArray>;
    QTest::newRow("empty") << L{} << L{} << qint64(0);
    QTest::newRow("two lines in one segment") << L{"a\nb\n"} << L{"a", "b"} << qint64(0);
    QTest::newRow("line over two segments") << L{"ab", "c\n"} << L{"abc"} << qint64(0);
    QTest::newRow("crlf") << L{"x\r\n"} << L{"x"} << qint64(0);
    QTest::newRow("cr split from lf") << L{"x\r", "\n"} << L{"x"} << qint64(0);
    QTest::newRow("lone cr kept inside") << L{"a\rb\n"} << L{"a\rb"} << qint64(0);
    QTest::newRow("partial tail waits") << L{"a\npart"} << L{"a"} << qint64(4);
    QTest::newRow("empty line") << L{"\n\nz\n"} << L{"", "", "z"} << qint64(0);
}

void TestLineFramer::framing()
{
    QFETCH(QList<QByteArray>, segments);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(qint64, leftOver);

    LineFramer framer(64);
    QList<QByteArray> got;
    for (const QByteArray &s : segments) {
        framer.append(s);
        QByteArray line;
        while (framer.takeLine(line))
            got << line;
    }
    QCOMPARE(got, lines);
    QCOMPARE(framer.bufferedBytes(), leftOver);
    QVERIFY(framer.takeDroppedLines().isEmpty());
}

void TestLineFramer::overlongLineIsDroppedAndMemoryStaysBounded()
{
    const int limit = 1000;
    LineFramer framer(limit);
    framer.append("before\n");
    // 10,000 bytes without a line feed, in pieces: never more than the limit is held.
    for (int i = 0; i < 100; ++i) {
        framer.append(QByteArray(100, 'x'));
        QVERIFY(framer.bufferedBytes() <= limit + 8);
    }
    QVERIFY(framer.takeDroppedLines().isEmpty()); // not ended yet
    framer.append(QByteArray(50, 'y') + "\nafter\n");
    QCOMPARE(framer.takeDroppedLines(), QList<qint64>{10050});

    QByteArray line;
    QVERIFY(framer.takeLine(line));
    QCOMPARE(line, QByteArray("before"));
    QVERIFY(framer.takeLine(line));
    QCOMPARE(line, QByteArray("after"));
    QVERIFY(!framer.takeLine(line));

    // A complete over-long line that arrives in one piece is dropped too.
    framer.append(QByteArray(limit + 1, 'z') + "\nok\n");
    QVERIFY(framer.takeLine(line));
    QCOMPARE(line, QByteArray("ok"));
    QCOMPARE(framer.takeDroppedLines(), QList<qint64>{limit + 1});
}

TARN_TEST_MAIN(TestLineFramer)
#include "tst_lineframer.moc"
