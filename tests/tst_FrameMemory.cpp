#include "common/FrameMemory.h"

#include <QTest>

#include <limits>

// How many frames each queue of a recording may hold for a camera's declared rate: a stream's
// silly or missing rate must neither make a queue huge nor leave it too short for a busy moment.
class FrameMemoryTest : public QObject
{
    Q_OBJECT
private slots:
    void queuesForRate_data();
    void queuesForRate();
    void framesWithinBudget_data();
    void framesWithinBudget();
    void writerQueueBytesStayWithinItsShare();
};

void FrameMemoryTest::queuesForRate_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<double>("believable");
    QTest::addColumn<int>("writerQueue");
    QTest::addColumn<int>("readAhead");

    const double infinite = std::numeric_limits<double>::infinity();
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    // clang-format off
    QTest::newRow("unknown rate")         << 0.0        << 30.0   << 60   << 8;
    QTest::newRow("negative rate")        << -1.0       << 30.0   << 60   << 8;
    QTest::newRow("not a number")         << notANumber << 30.0   << 60   << 8;
    QTest::newRow("slow camera, 15 fps")  << 15.0       << 15.0   << 60   << 8;
    QTest::newRow("webcam, 30 fps")       << 30.0       << 30.0   << 60   << 8;
    QTest::newRow("29.97 fps, rounded up") << 29.97     << 29.97  << 60   << 8;
    QTest::newRow("lab camera, 200 fps")  << 200.0      << 200.0  << 400  << 50;
    QTest::newRow("lab camera, 500 fps")  << 500.0      << 500.0  << 1000 << 125;
    QTest::newRow("at the bound")         << 1000.0     << 1000.0 << 2000 << 250;
    QTest::newRow("a stream's 90000 fps") << 90000.0    << 1000.0 << 2000 << 250;
    QTest::newRow("infinite rate")        << infinite   << 1000.0 << 2000 << 250;
    // clang-format on
}

void FrameMemoryTest::queuesForRate()
{
    QFETCH(double, fps);
    QFETCH(double, believable);
    QFETCH(int, writerQueue);
    QFETCH(int, readAhead);
    QCOMPARE(FrameMemory::believableFps(fps), believable);
    QCOMPARE(FrameMemory::writerQueueFrames(fps), writerQueue);
    QCOMPARE(FrameMemory::readAheadFrames(fps), readAhead);
}

void FrameMemoryTest::framesWithinBudget_data()
{
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<qint64>("frameBytes");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("frames");

    const qint64 mebibyte = FrameMemory::mebibyte;
    const qint64 sxgaColour = 1280 * 1024 * 3;
    // clang-format off
    QTest::newRow("small frames: the count bounds")  << 48 * mebibyte  << qint64(640 * 480) << 8 << 50  << 50;
    QTest::newRow("large frames: the bytes bound")   << 48 * mebibyte  << sxgaColour        << 8 << 50  << 12;
    QTest::newRow("4 MB frames in 256 MiB")          << 256 * mebibyte << 4 * mebibyte      << 1 << 400 << 64;
    QTest::newRow("a frame beyond the budget")       << 48 * mebibyte  << 64 * mebibyte     << 1 << 50  << 1;
    QTest::newRow("the least holds over the bytes")  << 48 * mebibyte  << 16 * mebibyte     << 4 << 50  << 4;
    QTest::newRow("size not known yet")              << 48 * mebibyte  << qint64(0)         << 8 << 50  << 50;
    // clang-format on
}

void FrameMemoryTest::framesWithinBudget()
{
    QFETCH(qint64, budget);
    QFETCH(qint64, frameBytes);
    QFETCH(int, least);
    QFETCH(int, most);
    QFETCH(int, frames);
    QCOMPARE(FrameMemory::framesWithin(budget, frameBytes, least, most), frames);
}

void FrameMemoryTest::writerQueueBytesStayWithinItsShare()
{
    const qint64 bytes = FrameMemory::writerQueueBytes();
    QVERIFY(bytes > 0);
    QVERIFY(bytes <= 256 * FrameMemory::mebibyte);
}

QTEST_APPLESS_MAIN(FrameMemoryTest)
#include "tst_FrameMemory.moc"
