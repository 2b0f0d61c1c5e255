#include "ui/RunTimes.h"

#include <QTest>

class RunTimesTest : public QObject
{
    Q_OBJECT
private slots:
    void of_data();
    void of();
};

void RunTimesTest::of_data()
{
    QTest::addColumn<int>("postpone");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("startMs");
    QTest::addColumn<int>("stopMs");
    QTest::newRow("short run") << 1 << 1 << true << 1000 << 7000;
    QTest::newRow("no postponement, no length") << 0 << 0 << true << 0 << 5000;
    QTest::newRow("default length") << 0 << 300 << true << 0 << 305000;
    QTest::newRow("longest run") << 2147000 << 478 << true << 2147000000 << 2147483000;
    QTest::newRow("one second longer") << 2147000 << 479 << false << 0 << 0;
    QTest::newRow("largest postponement") << 999999999 << 0 << false << 0 << 0;
    QTest::newRow("largest length") << 0 << 999999999 << false << 0 << 0;
    QTest::newRow("both largest") << 999999999 << 999999999 << false << 0 << 0;
    QTest::newRow("sum wraps to a small number") << 2147483647 << 2147483647 << false << 0 << 0;
    QTest::newRow("negative postponement") << -1 << 10 << false << 0 << 0;
}

void RunTimesTest::of()
{
    QFETCH(int, postpone);
    QFETCH(int, length);
    QFETCH(bool, fits);
    QFETCH(int, startMs);
    QFETCH(int, stopMs);
    const std::optional<RunTimes> times = RunTimes::of(postpone, length);
    QCOMPARE(times.has_value(), fits);
    if (!times)
        return;
    QCOMPARE(times->startMs, startMs);
    QCOMPARE(times->stopMs, stopMs);
}

QTEST_APPLESS_MAIN(RunTimesTest)
#include "tst_RunTimes.moc"
