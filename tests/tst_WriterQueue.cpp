#include "capture/TestCamera.h"
#include "encode/WriterQueue.h"
#include "tests/support/ScriptedSink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>

#include <thread>
#include <vector>

class WriterQueueTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fullQueueRefusesFrames();
    void pushWaitsForRoom();
    void capacityIsSetPerRecording();
    void framesInFileFollowFlushes_data();
    void framesInFileFollowFlushes();
    void framesInFileWaitForTheWriter();
    void byteBudgetBoundsWaitingFrames_data();
    void byteBudgetBoundsWaitingFrames();
    void slowWriterLosesFramesBeyondTheBudget();
    void framesBeyondTheQueueSpillAndKeepTheirOrder();
    void spillDrainedWhileRecording();
    void queueTakesFramesWhileSpilledOnesWait();
    void failedSpillLosesTheLastFrames();

private:
    std::unique_ptr<ScriptedSink> openedSink(ScriptedSink::Script script = {});

    std::unique_ptr<WriterQueue> queue;
    ScriptedSink::Written written;
    std::vector<cv::Mat> frames;
    QTemporaryDir folder;
};

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

// Frames of 4 MiB, as a 2048x2048 grey camera delivers them, each with its index.
std::vector<cv::Mat> largeFrames(int count)
{
    TestCamera camera(*TestCamera::Settings::parse("test:2048x2048@0:gray"));
    std::vector<cv::Mat> made(static_cast<std::size_t>(count));
    for (cv::Mat &frame : made)
        camera.read(frame);
    return made;
}

} // namespace

void WriterQueueTest::init()
{
    queue = std::make_unique<WriterQueue>();
    written = std::make_shared<QVector<int>>();
    TestCamera camera(*TestCamera::Settings::parse("test:320x240@0"));
    frames.resize(12);
    for (cv::Mat &frame : frames)
        camera.read(frame);
}

void WriterQueueTest::cleanup()
{
    queue.reset();
}

std::unique_ptr<ScriptedSink> WriterQueueTest::openedSink(ScriptedSink::Script script)
{
    auto sink = std::make_unique<ScriptedSink>(script, written);
    sink->open("unused.avi", 0, 30.0, {320, 240}, true);
    return sink;
}

void WriterQueueTest::fullQueueRefusesFrames()
{
    QSemaphore gate;
    queue->start(openedSink({&gate}), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY(queue->tryPush(frames[i]));
    // The writer holds frame 0 in a stalled write: four frames wait, no more fit.
    QVERIFY(!queue->tryPush(frames[4]));
    QVERIFY(!queue->tryPush(frames[5]));
    gate.release();
    QVERIFY(queue->finish());
    QCOMPARE(*written, QVector<int>({0, 1, 2, 3}));
}

void WriterQueueTest::pushWaitsForRoom()
{
    QSemaphore gate;
    queue->start(openedSink({&gate}), 2);
    QVERIFY(queue->tryPush(frames[0]));
    QVERIFY(queue->tryPush(frames[1]));
    QVERIFY(!queue->tryPush(frames[2]));
    // The stalled write goes on a little later, while push() waits.
    std::thread writerResumes([&gate] {
        QThread::msleep(50);
        gate.release();
    });
    for (std::size_t i = 2; i < frames.size(); ++i)
        queue->push(frames[i]);
    writerResumes.join();
    QVERIFY(queue->finish());
    QCOMPARE(written->size(), int(frames.size()));
    for (int i = 0; i < written->size(); ++i)
        QCOMPARE(written->at(i), i);
}

void WriterQueueTest::capacityIsSetPerRecording()
{
    ScriptedSink::Script failing;
    failing.firstFailingWrite = 0;
    queue->start(openedSink(failing), 8);
    QVERIFY(queue->tryPush(frames[0]));
    QVERIFY(!queue->finish());

    QSemaphore gate;
    queue->start(openedSink({&gate}), 2);
    QVERIFY(queue->tryPush(frames[1]));
    QVERIFY(queue->tryPush(frames[2]));
    QVERIFY(!queue->tryPush(frames[3]));
    gate.release();
    QVERIFY(queue->finish());
    // The failure of the last recording is not carried into this one.
    QVERIFY(!queue->hasFailed());
    QCOMPARE(*written, QVector<int>({1, 2}));
}

void WriterQueueTest::framesInFileFollowFlushes_data()
{
    QTest::addColumn<int>("flushEvery");
    QTest::addColumn<int>("firstFailingWrite");
    QTest::addColumn<bool>("releaseSucceeds");
    QTest::addColumn<int>("whileRecording");
    QTest::addColumn<int>("afterFinish");
    QTest::newRow("flushed every 5 frames") << 5 << -1 << true << 10 << 12;
    QTest::newRow("flushed only when completed") << 0 << -1 << true << 0 << 12;
    // A refused frame: the file is completed with the frames before it.
    QTest::newRow("a write fails") << 5 << 7 << true << 5 << 7;
    // A full disk: what was flushed before stays in the file, nothing after it counts.
    QTest::newRow("a write fails, and completing the file") << 5 << 7 << false << 5 << 5;
    QTest::newRow("completing the file fails") << 5 << -1 << false << 10 << 10;
}

// Twelve frames go through; the count follows what the sink has flushed, and the next
// recording counts from nothing again.
void WriterQueueTest::framesInFileFollowFlushes()
{
    QFETCH(int, flushEvery);
    QFETCH(int, firstFailingWrite);
    QFETCH(bool, releaseSucceeds);
    QFETCH(int, whileRecording);
    QFETCH(int, afterFinish);
    ScriptedSink::Script script;
    script.flushEvery = flushEvery;
    script.firstFailingWrite = firstFailingWrite;
    script.releaseSucceeds = releaseSucceeds;
    std::atomic<int> writesCompleted{0};
    script.writesCompleted = &writesCompleted;
    queue->start(openedSink(script), 16);
    for (const cv::Mat &frame : frames)
        QVERIFY(queue->tryPush(frame));

    const int writable = firstFailingWrite < 0 ? int(frames.size()) : firstFailingWrite;
    QTRY_COMPARE(writesCompleted.load(), writable);
    QTRY_COMPARE(queue->framesInFile(), whileRecording);
    QCOMPARE(queue->finish(), firstFailingWrite < 0 && releaseSucceeds);
    QCOMPARE(queue->framesInFile(), afterFinish);

    queue->start(openedSink(), 16);
    QCOMPARE(queue->framesInFile(), 0);
}

// Frames waiting in the queue, or held in a write that has not returned, are not in the file.
void WriterQueueTest::framesInFileWaitForTheWriter()
{
    QSemaphore gate;
    std::atomic<int> writesCompleted{0};
    ScriptedSink::Script script{&gate};
    script.writesCompleted = &writesCompleted;
    queue->start(openedSink(script), 16);
    for (int i = 0; i < 4; ++i)
        QVERIFY(queue->tryPush(frames[i]));
    QThread::msleep(20);
    QCOMPARE(queue->framesInFile(), 0);
    gate.release();
    QTRY_COMPARE(writesCompleted.load(), 4);
    QTRY_COMPARE(queue->framesInFile(), 4);
    QVERIFY(queue->finish());
}

void WriterQueueTest::byteBudgetBoundsWaitingFrames_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<int>("accepted");
    QTest::newRow("the budget is the smaller bound") << 60 << 16 * mebibyte << 4;
    QTest::newRow("a budget between two frames") << 60 << 18 * mebibyte << 4;
    QTest::newRow("the frame count is the smaller bound") << 3 << 64 * mebibyte << 3;
    // Else a frame larger than the budget would never be written, and push() would hang.
    QTest::newRow("a frame larger than the budget waits alone") << 60 << 2 * mebibyte << 1;
}

// The writer holds its first frame in a stalled write: frames are queued until either bound
// is reached, the stalled one counted, and the rest are refused.
void WriterQueueTest::byteBudgetBoundsWaitingFrames()
{
    QFETCH(int, capacity);
    QFETCH(qint64, budget);
    QFETCH(int, accepted);
    const std::vector<cv::Mat> large = largeFrames(8);
    QSemaphore gate;
    // A failed check must not leave the writer stalled for good.
    auto opened = qScopeGuard([&gate] { gate.release(); });
    queue->start(openedSink({&gate}), capacity, budget);
    int queued = 0;
    for (const cv::Mat &frame : large)
        queued += queue->tryPush(frame) ? 1 : 0;
    QCOMPARE(queued, accepted);
    // A frame larger than the budget counts as the whole budget.
    QCOMPARE(queue->bytesWaiting(), std::min(accepted * 4 * mebibyte, budget));
    opened.dismiss();
    gate.release();
    // A frame that waited alone, even one larger than the budget, leaves the room whole.
    queue->push(large[0]);
    QVERIFY(queue->finish());
    QCOMPARE(queue->bytesWaiting(), qint64(0));
    QCOMPARE(written->size(), accepted + 1);
}

// Frames of 4 MiB come faster than a writer slowed to 10 ms a frame: however the writer and
// the pushes interleave, no more than the budget ever waits, every frame is either written or
// refused and counted, and those written are the ones accepted, in order.
void WriterQueueTest::slowWriterLosesFramesBeyondTheBudget()
{
    const std::vector<cv::Mat> large = largeFrames(40);
    const qint64 budget = 16 * mebibyte;
    QSemaphore gate;
    ScriptedSink::Script slowed{&gate};
    auto opened = qScopeGuard([&gate] { gate.release(); });
    slowed.stallEvery = 1;
    slowed.stallMilliseconds = 10;
    queue->start(openedSink(slowed), 60, budget);
    QVector<int> accepted;
    qint64 mostWaiting = 0;
    for (int i = 0; i < int(large.size()); ++i) {
        if (queue->tryPush(large[std::size_t(i)]))
            accepted << i;
        mostWaiting = std::max(mostWaiting, queue->bytesWaiting());
        // The first frames meet a writer that has not started: losses are certain.
        if (i == 9) {
            opened.dismiss();
            gate.release();
        }
        if (i >= 9)
            QThread::msleep(2);
    }
    const int refused = int(large.size()) - accepted.size();
    QVERIFY2(mostWaiting <= budget, qPrintable(QString::number(mostWaiting)));
    QVERIFY2(refused >= 6, qPrintable(QString::number(refused)));
    QVERIFY(queue->finish());
    QCOMPARE(*written, accepted);
}

// The writer stalls from its first frame: frames beyond the queue's four go to the spill file,
// and finish() encodes them after the queued ones, telling its progress, then deletes the file.
void WriterQueueTest::framesBeyondTheQueueSpillAndKeepTheirOrder()
{
    const QString spillName = folder.filePath("spill.raw");
    queue->setSpillFile(spillName);
    QSemaphore gate;
    ScriptedSink::Script slowed{&gate};
    slowed.stallEvery = 1;
    slowed.stallMilliseconds = 20;
    auto opened = qScopeGuard([&gate] { gate.release(); });
    queue->start(openedSink(slowed), 4);
    QSignalSpy saving(queue.get(), &WriterQueue::saving);
    // When each progress was told, read in the thread that told it.
    QMutex toldMutex;
    QVector<qint64> told;
    QElapsedTimer clock;
    clock.start();
    connect(
        queue.get(), &WriterQueue::saving, queue.get(),
        [&] {
            QMutexLocker locker(&toldMutex);
            told << clock.elapsed();
        },
        Qt::DirectConnection);
    QVector<int> pushed;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < int(frames.size()); ++i) {
            QVERIFY(queue->tryPush(frames[std::size_t(i)]));
            pushed << i;
            // The small spill queue is never the bound here: each frame is in the file first.
            if (pushed.size() > 4)
                QTRY_COMPARE(queue->framesSpilled(), pushed.size() - 4);
        }
    }
    QVERIFY(QFile::exists(spillName));
    QCOMPARE(queue->spillBytes(), QFile(spillName).size());
    QVERIFY(queue->spillBytes() >= qint64(pushed.size() - 4) * 320 * 240 * 3);
    // The writer goes on only once finish() has begun: it encodes every spilled frame then.
    std::thread writerResumes([&gate] {
        QThread::msleep(100);
        gate.release();
    });
    opened.dismiss();
    QVERIFY(queue->finish());
    writerResumes.join();
    QCOMPARE(*written, pushed);
    QCOMPARE(queue->framesInFile(), pushed.size());
    QCOMPARE(queue->framesLost(), 0);
    QVERIFY(!QFile::exists(spillName));
    QVERIFY2(queue->savingMs() >= 100, qPrintable(QString::number(queue->savingMs())));
    // Told when saving began, with the queued frames at most encoded, and never going back.
    QVERIFY(!saving.isEmpty());
    QVERIFY(saving.first().at(0).toInt() <= 4 * 100 / pushed.size());
    for (int i = 1; i < saving.size(); ++i)
        QVERIFY(saving.at(i).at(0).toInt() >= saving.at(i - 1).at(0).toInt());
    QVERIFY(saving.last().at(0).toInt() <= 100);
    // 32 spilled frames of 20 ms each: told more than once, but never twice within a quarter
    // second.
    QMutexLocker locker(&toldMutex);
    QVERIFY2(told.size() >= 2, qPrintable(QString::number(told.size())));
    for (int i = 1; i < told.size(); ++i)
        QVERIFY2(told[i] - told[i - 1] >= 250, qPrintable(QString::number(told[i] - told[i - 1])));
}

// The writer catches up while recording: it takes the spilled frames back, the frames after
// them are queued again, and finish() has nothing to save.
void WriterQueueTest::spillDrainedWhileRecording()
{
    queue->setSpillFile(folder.filePath("spill.raw"));
    QSemaphore gate;
    std::atomic<int> writesCompleted{0};
    ScriptedSink::Script script{&gate};
    script.writesCompleted = &writesCompleted;
    queue->start(openedSink(script), 2);
    QSignalSpy saving(queue.get(), &WriterQueue::saving);
    for (int i = 0; i < 6; ++i)
        QVERIFY(queue->tryPush(frames[std::size_t(i)]));
    QTRY_COMPARE(queue->framesSpilled(), 4);
    gate.release();
    QTRY_COMPARE(writesCompleted.load(), 6);
    QTRY_COMPARE(queue->framesInFile(), 6);
    for (int i = 6; i < 8; ++i)
        QVERIFY(queue->tryPush(frames[std::size_t(i)]));
    QVERIFY(queue->finish());
    QCOMPARE(queue->framesSpilled(), 4);
    QCOMPARE(*written, QVector<int>({0, 1, 2, 3, 4, 5, 6, 7}));
    QCOMPARE(queue->savingMs(), qint64(0));
    QCOMPARE(saving.size(), 0);
    QVERIFY(!QFile::exists(folder.filePath("spill.raw")));
}

// Once the queue has room again, the next frames wait there even while spilled frames before
// them are still to be encoded: the disk takes only what memory cannot, and the video still
// gets every frame in order.
void WriterQueueTest::queueTakesFramesWhileSpilledOnesWait()
{
    queue->setSpillFile(folder.filePath("spill.raw"));
    ScriptedSink::Script slow;
    slow.stallEvery = 1;
    slow.stallMilliseconds = 200;
    queue->start(openedSink(slow), 2);
    for (int i = 0; i < 4; ++i)
        QVERIFY(queue->tryPush(frames[std::size_t(i)]));
    QTRY_COMPARE(queue->framesSpilled(), 2);
    // Both queued frames written: the writer now takes the two spilled ones, 200 ms each.
    QTRY_COMPARE_WITH_TIMEOUT(queue->bytesWaiting(), qint64(0), 20000);
    for (int i = 4; i < 6; ++i)
        QVERIFY(queue->tryPush(frames[std::size_t(i)]));
    QVERIFY(queue->finish());
    QCOMPARE(queue->framesSpilled(), 2);
    QCOMPARE(*written, QVector<int>({0, 1, 2, 3, 4, 5}));
    QCOMPARE(queue->framesLost(), 0);
}

#ifdef Q_OS_LINUX
// A spill that cannot be written (a full disk) loses the frame in hand and refuses every later
// one: the frames lost are the last ones taken, so the queued frames keep their lines.
void WriterQueueTest::failedSpillLosesTheLastFrames()
{
    queue->setSpillFile("/dev/full");
    QSemaphore gate;
    auto opened = qScopeGuard([&gate] { gate.release(); });
    queue->start(openedSink({&gate}), 2);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^Spill file write failed: No space left on device$"));
    QVERIFY(queue->tryPush(frames[0]));
    QVERIFY(queue->tryPush(frames[1]));
    QVERIFY(queue->tryPush(frames[2]));
    QTRY_VERIFY(queue->spillFailed());
    QCOMPARE(queue->framesLost(), 1);
    opened.dismiss();
    gate.release();
    // Room in the queue again, yet the frame would come after a lost one.
    QTRY_COMPARE(queue->framesInFile(), 2);
    QVERIFY(!queue->tryPush(frames[3]));
    QVERIFY(queue->finish());
    QCOMPARE(*written, QVector<int>({0, 1}));
    QCOMPARE(queue->framesSpilled(), 0);
}
#else
void WriterQueueTest::failedSpillLosesTheLastFrames()
{
    QSKIP("needs /dev/full");
}
#endif

QTEST_GUILESS_MAIN(WriterQueueTest)
#include "tst_WriterQueue.moc"
