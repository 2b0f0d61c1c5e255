#include "engine/DiskMargin.h"

#include <QTest>

using namespace std::chrono_literals;

// The free space a recording needs follows its own rate, with a floor.
class DiskMarginTest : public QObject
{
    Q_OBJECT
private slots:
    void needed_data();
    void needed();
    void restartForgetsTheLastRecording();
    void roomForTheLastRunRecord_data();
    void roomForTheLastRunRecord();
};

void DiskMarginTest::needed_data()
{
    QTest::addColumn<qint64>("floor");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<int>("frames");
    QTest::addColumn<qint64>("needed");
    const qint64 MiB = 1024 * 1024;
    QTest::newRow("before the first frame") << MiB << 0 << qint64(0) << 0 << MiB;
    QTest::newRow("within the first second: its rate says nothing yet")
        << MiB << 500 << 40 * MiB << 15 << MiB;
    QTest::newRow("slow: the floor") << MiB << 10000 << qint64(200'000) << 300 << MiB;
    // 2 MiB a second: 20 MiB for the next ten, and the index of 600 frames.
    QTest::newRow("fast: ten seconds ahead")
        << MiB << 5000 << 10 * MiB << 600 << 20 * MiB + 600 * DiskMargin::indexBytesPerFrame;
    QTest::newRow("floor raised") << 50 * MiB << 5000 << 10 * MiB << 0 << 50 * MiB;
}

void DiskMarginTest::needed()
{
    QFETCH(qint64, floor);
    QFETCH(int, elapsedMs);
    QFETCH(qint64, bytes);
    QFETCH(int, frames);
    QFETCH(qint64, needed);
    DiskMargin margin(floor);
    margin.restart();
    margin.note(std::chrono::milliseconds(elapsedMs), bytes, frames);
    QCOMPARE(margin.needed(), needed);
}

void DiskMarginTest::restartForgetsTheLastRecording()
{
    DiskMargin margin;
    margin.note(10s, 500 * 1024 * 1024, 3000);
    QVERIFY(margin.needed() > 100 * 1024 * 1024);
    margin.restart();
    QCOMPARE(margin.needed(), DiskMargin::defaultFloor);
}

void DiskMarginTest::roomForTheLastRunRecord_data()
{
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("needed");
    const qint64 MiB = 1024 * 1024;
    const qint64 record = 979;
    QTest::newRow("beyond the floor") << 10000 << qint64(200'000) << MiB + 2 * record;
    QTest::newRow("beyond the files' growth")
        << 5000 << 10 * MiB << 20 * MiB + 600 * DiskMargin::indexBytesPerFrame + 2 * record;
}

// The record that ends a recording is written beside the first one before it takes its place,
// with more events in it: the margin keeps room for it on top of everything else.
void DiskMarginTest::roomForTheLastRunRecord()
{
    QFETCH(int, elapsedMs);
    QFETCH(qint64, bytes);
    QFETCH(qint64, needed);
    DiskMargin margin;
    margin.restart();
    margin.noteRunRecord(979);
    margin.note(std::chrono::milliseconds(elapsedMs), bytes, 600);
    QCOMPARE(margin.needed(), needed);
    margin.restart();
    QCOMPARE(margin.needed(), DiskMargin::defaultFloor);
}

QTEST_GUILESS_MAIN(DiskMarginTest)
#include "tst_DiskMargin.moc"
