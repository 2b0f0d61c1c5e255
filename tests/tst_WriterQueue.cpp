#include "ScriptedSink.h"
#include "TestCamera.h"
#include "WriterQueue.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

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

private:
    std::unique_ptr<ScriptedSink> openedSink(ScriptedSink::Script script = {});

    std::unique_ptr<WriterQueue> queue;
    ScriptedSink::Written written;
    std::vector<cv::Mat> frames;
};

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

QTEST_GUILESS_MAIN(WriterQueueTest)
#include "tst_WriterQueue.moc"
