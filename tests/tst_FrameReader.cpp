#include "capture/FramePattern.h"
#include "capture/FrameReader.h"
#include "capture/TestCamera.h"
#include "tests/support/ScriptedSource.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <future>

Q_DECLARE_METATYPE(FrameSource::Result)

using namespace std::chrono_literals;

namespace {

// Short bounds, so that waiting for a source that does not answer takes little time here.
FrameReader::Bounds shortBounds()
{
    FrameReader::Bounds bounds;
    bounds.open = 300ms;
    bounds.firstFrame = 2000ms;
    bounds.frame = 300ms;
    return bounds;
}

ScriptedSource::Script threeFrames()
{
    ScriptedSource::Script script;
    script.base = MonotonicClock::now();
    script.fps = 100;
    script.steps = {{0, 10}, {10, 11}, {std::nullopt, std::nullopt}};
    return script;
}

FrameReader::Opener opening(const ScriptedSource::Script &script)
{
    return [script] { return std::make_unique<ScriptedSource>(script); };
}

int indexOf(const FrameSource::Frame &frame)
{
    const auto stamp = FramePattern::read(frame.pixels);
    return stamp ? int(stamp->index) : -1;
}

// Runs a call that must not wait for a stuck source; fails the test, rather than hanging it,
// when the call does not return.
bool returnsWhileSourceIsStuck(const std::function<void()> &call)
{
    auto done = std::async(std::launch::async, call);
    return done.wait_for(20s) == std::future_status::ready;
}

} // namespace

class FrameReaderTest : public QObject
{
    Q_OBJECT
private slots:
    void passesFramesAndTheEndOn_data();
    void passesFramesAndTheEndOn();
    void opensInAThreadOfItsOwn();
    void startsReadingWithTheFirstRead();
    void firstFrameMayTakeLonger();
    void frameBound_data();
    void frameBound();
    void sourceThatNeverOpens();
    void readThatNeverReturns();
};

void FrameReaderTest::passesFramesAndTheEndOn_data()
{
    QTest::addColumn<FrameSource::Result>("end");
    QTest::newRow("a file's end") << FrameSource::Result::Ended;
    QTest::newRow("an unplugged camera") << FrameSource::Result::Failed;
}

void FrameReaderTest::passesFramesAndTheEndOn()
{
    QFETCH(FrameSource::Result, end);
    ScriptedSource::Script script = threeFrames();
    script.end = end;
    FrameReader reader(opening(script), shortBounds());
    QVERIFY(reader.isOpened());
    FrameSource::Frame frame;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(reader.readFrame(frame), FrameSource::Result::Frame);
        QCOMPARE(indexOf(frame), i);
    }
    // Its own times and numbers come along; the last frame has neither.
    QVERIFY(!frame.captureTime && !frame.sequence);
    QCOMPARE(reader.readFrame(frame), end);
    QVERIFY(frame.pixels.empty());
    // And so on, without waiting for the source again: a wait would end as a failure.
    QCOMPARE(reader.readFrame(frame), end);
}

void FrameReaderTest::opensInAThreadOfItsOwn()
{
    std::promise<Qt::HANDLE> openedIn;
    ScriptedSource::Script script = threeFrames();
    script.fps = 25;
    FrameReader reader(
        [&openedIn, script] {
            openedIn.set_value(QThread::currentThreadId());
            return std::make_unique<ScriptedSource>(script);
        },
        shortBounds());
    QVERIFY(reader.isOpened());
    QVERIFY(openedIn.get_future().get() != QThread::currentThreadId());
    // What the source told when it opened.
    QCOMPARE(reader.frameSize(), cv::Size(320, 240));
    QCOMPARE(reader.frameRate(), 25.0);
    QVERIFY(!reader.deliversOnDemand());
    QCOMPARE(reader.description().listText, QString("scripted source"));
    QCOMPARE(reader.description().frameSize, cv::Size(320, 240));
}

// Frames made before the recording asked for them would come before its clock started.
void FrameReaderTest::startsReadingWithTheFirstRead()
{
    FrameReader reader([] {
        return std::make_unique<TestCamera>(*TestCamera::Settings::parse("test:320x240@100"));
    });
    QVERIFY(reader.isOpened());
    QTest::qSleep(200);
    const MonotonicClock::time_point asked = MonotonicClock::now();
    FrameSource::Frame frame;
    QCOMPARE(reader.readFrame(frame), FrameSource::Result::Frame);
    QCOMPARE(frame.sequence, std::optional<std::uint64_t>(0));
    QVERIFY(frame.captureTime && *frame.captureTime >= asked);
}

void FrameReaderTest::firstFrameMayTakeLonger()
{
    std::promise<void> gate;
    ScriptedSource::Script script = threeFrames();
    script.heldStep = 0;
    script.gate = gate.get_future().share();
    FrameReader reader(opening(script), shortBounds());
    QVERIFY(reader.isOpened());
    auto late = std::async(std::launch::async, [&gate] {
        std::this_thread::sleep_for(600ms);
        gate.set_value();
    });
    FrameSource::Frame frame;
    // Longer than a frame's bound, within the first frame's.
    QCOMPARE(reader.readFrame(frame), FrameSource::Result::Frame);
    QCOMPARE(indexOf(frame), 0);
}

void FrameReaderTest::frameBound_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("bound");
    QTest::newRow("50 fps: the bound itself") << 50.0 << 300;
    QTest::newRow("unknown rate") << 0.0 << 300;
    QTest::newRow("10 fps: ten periods") << 10.0 << 1000;
    QTest::newRow("a frame every 2 s") << 0.5 << 20000;
}

void FrameReaderTest::frameBound()
{
    QFETCH(double, fps);
    QFETCH(int, bound);
    ScriptedSource::Script script = threeFrames();
    script.fps = fps;
    const FrameReader reader(opening(script), shortBounds());
    QCOMPARE(reader.frameBound().count(), qint64(bound));
}

void FrameReaderTest::sourceThatNeverOpens()
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto reader = std::make_unique<FrameReader>(
        [opened] {
            opened.wait();
            return std::make_unique<ScriptedSource>(threeFrames());
        },
        shortBounds());
    QTest::ignoreMessage(QtDebugMsg, "no answer from the source within 300 ms");
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!reader->isOpened());
    QVERIFY(waited.elapsed() >= 300);
    FrameSource::Frame frame;
    QCOMPARE(reader->readFrame(frame), FrameSource::Result::Failed);
    QTest::ignoreMessage(QtDebugMsg, "source stuck in a read: left to end with the program");
    QVERIFY(returnsWhileSourceIsStuck([&reader] { reader.reset(); }));
    // The thread left behind finishes on its own once the open returns.
    gate.set_value();
}

void FrameReaderTest::readThatNeverReturns()
{
    std::promise<void> gate;
    ScriptedSource::Script script = threeFrames();
    script.heldStep = 1;
    script.gate = gate.get_future().share();
    auto reader = std::make_unique<FrameReader>(opening(script), shortBounds());
    FrameSource::Frame frame;
    QCOMPARE(reader->readFrame(frame), FrameSource::Result::Frame);
    QTest::ignoreMessage(QtDebugMsg, "no frame from the source within 300 ms");
    QElapsedTimer waited;
    waited.start();
    QCOMPARE(reader->readFrame(frame), FrameSource::Result::Failed);
    QVERIFY(waited.elapsed() >= 300);
    QCOMPARE(reader->readFrame(frame), FrameSource::Result::Failed);
    QTest::ignoreMessage(QtDebugMsg, "source stuck in a read: left to end with the program");
    QVERIFY(returnsWhileSourceIsStuck([&reader] { reader.reset(); }));
    gate.set_value();
}

QTEST_APPLESS_MAIN(FrameReaderTest)
#include "tst_FrameReader.moc"
