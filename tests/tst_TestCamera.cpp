#include "capture/FramePattern.h"
#include "capture/TestCamera.h"

#include <QTest>

#include <opencv2/core.hpp>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

class TestCameraTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void parsesTheEye_data();
    void parsesTheEye();
    void rejects_data();
    void rejects();
    void deliversNumberedFramesThenRunsDry_data();
    void deliversNumberedFramesThenRunsDry();
    void framesKeepTheirPixels();
    void pacedOnItsOwnSchedule();
    void capturedOnScheduleOnABusyMachine_data();
    void capturedOnScheduleOnABusyMachine();
    void slowReaderLosesFramesBeyondTheQueue();
    void grayFrames();
    void losesEveryNthFrame();
    void deliversInBursts();
    void stallsWithoutEnding();
    void describesItself();

private:
    static std::uint32_t indexOf(const cv::Mat &frame);
};

std::uint32_t TestCameraTest::indexOf(const cv::Mat &frame)
{
    const auto stamp = FramePattern::read(frame);
    return stamp ? stamp->index : std::uint32_t(-1);
}

static TestCamera::Settings settingsOf(const char *text)
{
    return *TestCamera::Settings::parse(QString::fromLatin1(text));
}

void TestCameraTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("frameLimit");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<int>("loseEvery");
    QTest::addColumn<int>("burst");
    QTest::addColumn<int>("stallAfter");
    QTest::newRow("default") << "test" << 640 << 480 << 30 << -1 << "Test camera 640x480 @ 30 fps"
                             << false << 0 << 0 << -1;
    QTest::newRow("size and rate") << "test:1280x720@60" << 1280 << 720 << 60 << -1
                                   << "Test camera 1280x720 @ 60 fps" << false << 0 << 0 << -1;
    QTest::newRow("unpaced") << "test:640x480@0" << 640 << 480 << 0 << -1
                             << "Test camera 640x480 unpaced" << false << 0 << 0 << -1;
    QTest::newRow("frame limit") << "test:320x240@25:frames=100" << 320 << 240 << 25 << 100
                                 << "Test camera 320x240 @ 25 fps, 100 frames" << false << 0 << 0
                                 << -1;
    QTest::newRow("frame limit alone")
        << "test:frames=0" << 640 << 480 << 30 << 0 << "Test camera 640x480 @ 30 fps, 0 frames"
        << false << 0 << 0 << -1;
    QTest::newRow("gray") << "test:1280x1024@200:gray" << 1280 << 1024 << 200 << -1
                          << "Test camera 1280x1024 @ 200 fps, gray" << true << 0 << 0 << -1;
    QTest::newRow("gray unpaced") << "test:640x480@0:gray" << 640 << 480 << 0 << -1
                                  << "Test camera 640x480 unpaced, gray" << true << 0 << 0 << -1;
    QTest::newRow("losing") << "test:lose=10" << 640 << 480 << 30 << -1
                            << "Test camera 640x480 @ 30 fps, loses 1 frame in 10" << false << 10
                            << 0 << -1;
    QTest::newRow("bursts") << "test:320x240@60:burst=5" << 320 << 240 << 60 << -1
                            << "Test camera 320x240 @ 60 fps, in bursts of 5" << false << 0 << 5
                            << -1;
    QTest::newRow("stalling") << "test:stall=0" << 640 << 480 << 30 << -1
                              << "Test camera 640x480 @ 30 fps, stalls after 0 frames" << false << 0
                              << 0 << 0;
    QTest::newRow("everything, in any order")
        << "test:320x240@25:stall=90:gray:burst=3:frames=100:lose=7" << 320 << 240 << 25 << 100
        << "Test camera 320x240 @ 25 fps, 100 frames, gray, loses 1 frame in 7, in bursts of 3, "
           "stalls after 90 frames"
        << true << 7 << 3 << 90;
}

void TestCameraTest::parse()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, fps);
    QFETCH(int, frameLimit);
    QFETCH(QString, displayName);
    QFETCH(bool, gray);
    QFETCH(int, loseEvery);
    QFETCH(int, burst);
    QFETCH(int, stallAfter);
    const auto settings = TestCamera::Settings::parse(text);
    QVERIFY(settings);
    QCOMPARE(settings->width, width);
    QCOMPARE(settings->height, height);
    QCOMPARE(settings->fps, fps);
    QCOMPARE(settings->frameLimit, frameLimit);
    QCOMPARE(settings->displayName(), displayName);
    QCOMPARE(settings->gray, gray);
    QCOMPARE(settings->loseEvery, loseEvery);
    QCOMPARE(settings->burst, burst);
    QCOMPARE(settings->stallAfter, stallAfter);
    QCOMPARE(settings->text, text);
}

void TestCameraTest::parsesTheEye_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("eye");
    QTest::addColumn<QString>("displayName");
    QTest::newRow("no eye") << "test:640x480@250:gray" << false
                            << "Test camera 640x480 @ 250 fps, gray";
    QTest::newRow("eye, grey") << "test:640x480@250:gray:eye" << true
                               << "Test camera 640x480 @ 250 fps, gray, blinking eye";
    QTest::newRow("eye alone, at the default size")
        << "test:eye" << true << "Test camera 640x480 @ 30 fps, blinking eye";
    QTest::newRow("eye among the misbehaviours")
        << "test:1280x720@60:lose=5:eye:burst=2" << true
        << "Test camera 1280x720 @ 60 fps, blinking eye, loses 1 frame in 5, in bursts of 2";
    QTest::newRow("eye, unpaced") << "test:640x480@0:eye" << true
                                  << "Test camera 640x480 unpaced, blinking eye";
}

void TestCameraTest::parsesTheEye()
{
    QFETCH(QString, text);
    QFETCH(bool, eye);
    QFETCH(QString, displayName);
    const auto settings = TestCamera::Settings::parse(text);
    QVERIFY(settings);
    QCOMPARE(settings->eye, eye);
    QCOMPARE(settings->displayName(), displayName);
}

void TestCameraTest::rejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("other source") << "/dev/video0";
    QTest::newRow("prefix only") << "testing";
    QTest::newRow("empty settings") << "test:";
    QTest::newRow("no rate") << "test:640x480";
    QTest::newRow("negative frames") << "test:640x480@30:frames=-1";
    QTest::newRow("smaller than the pattern") << "test:200x80@30";
    QTest::newRow("too large") << "test:20000x480@30";
    QTest::newRow("too fast") << "test:640x480@5000";
    QTest::newRow("trailing text") << "test:640x480@30 ";
    QTest::newRow("unknown mode") << "test:fast";
    QTest::newRow("mode twice") << "test:gray:gray";
    QTest::newRow("gray with a value") << "test:gray=1";
    QTest::newRow("losing every frame") << "test:lose=1";
    QTest::newRow("bursts of one") << "test:burst=1";
    QTest::newRow("stall without a count") << "test:stall";
    QTest::newRow("losing without a schedule") << "test:640x480@0:lose=5";
    QTest::newRow("stalling without a schedule") << "test:640x480@0:stall=5";
    QTest::newRow("mode before the size") << "test:gray:640x480@30";
    QTest::newRow("eye twice") << "test:640x480@30:eye:gray:eye";
    QTest::newRow("eye with a value") << "test:640x480@30:eye=1";
    QTest::newRow("eyes") << "test:640x480@30:eyes";
    QTest::newRow("eye behind the pattern") << "test:320x240@30:eye";
    QTest::newRow("skin around the eye behind the pattern") << "test:400x300@30:eye";
}

void TestCameraTest::rejects()
{
    QFETCH(QString, text);
    QVERIFY(!TestCamera::Settings::parse(text));
}

void TestCameraTest::deliversNumberedFramesThenRunsDry_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("unpaced") << "test:320x240@0:frames=5";
    QTest::newRow("paced") << "test:320x240@200:frames=5";
}

void TestCameraTest::deliversNumberedFramesThenRunsDry()
{
    QFETCH(QString, text);
    TestCamera camera(*TestCamera::Settings::parse(text));
    QVERIFY(camera.isOpened());
    QCOMPARE(camera.frameSize(), cv::Size(320, 240));
    cv::Mat frame;
    std::int64_t lastDelivery = -1;
    for (std::uint32_t index = 0; index < 5; ++index) {
        QVERIFY(camera.read(frame));
        QCOMPARE(frame.size(), cv::Size(320, 240));
        QCOMPARE(frame.type(), CV_8UC3);
        const auto stamp = FramePattern::read(frame);
        QVERIFY(stamp);
        QCOMPARE(stamp->index, index);
        QVERIFY(stamp->deliveryMicroseconds >= lastDelivery);
        lastDelivery = stamp->deliveryMicroseconds;
    }
    // Like an unplugged camera: empty frames from now on.
    QVERIFY(!camera.read(frame));
    QVERIFY(frame.empty());
    QVERIFY(!camera.read(frame));
}

void TestCameraTest::framesKeepTheirPixels()
{
    TestCamera camera(settingsOf("test:320x240@0"));
    std::vector<cv::Mat> kept(8);
    for (cv::Mat &frame : kept)
        QVERIFY(camera.read(frame));
    for (std::size_t i = 0; i < kept.size(); ++i)
        QCOMPARE(indexOf(kept[i]), std::uint32_t(i));
    // The scenery moves: no two frames are the same picture.
    QVERIFY(cv::norm(kept[0], kept[1], cv::NORM_L1) > 0);
}

void TestCameraTest::pacedOnItsOwnSchedule()
{
    TestCamera camera(settingsOf("test:320x240@100"));
    QCOMPARE(camera.frameRate(), 100.0);
    QVERIFY(!camera.deliversOnDemand());
    std::vector<FrameSource::Frame> frames(30);
    // Streaming, and with it the schedule, starts with the first read.
    const MonotonicClock::time_point asked = MonotonicClock::now();
    for (FrameSource::Frame &frame : frames)
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
    const FramePattern::Stamp first = *FramePattern::read(frames.front().pixels);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const FramePattern::Stamp stamp = *FramePattern::read(frames[i].pixels);
        QCOMPARE(stamp.index, std::uint32_t(i));
        QCOMPARE(frames[i].sequence, std::optional<std::uint64_t>(i));
        // The capture time it gives is the one it carries.
        const auto captured = std::chrono::duration_cast<std::chrono::microseconds>(
            *frames[i].captureTime - *frames.front().captureTime);
        const std::int64_t carried = stamp.deliveryMicroseconds - first.deliveryMicroseconds;
        QVERIFY2(qAbs(captured.count() - carried) <= 1,
                 qPrintable(QString("%1 against %2 us").arg(captured.count()).arg(carried)));
    }
    // The last frame is due 29 periods of 10 ms after the start: never made earlier, however
    // busy the machine.
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(*frames.back().captureTime - asked);
    QVERIFY2(span >= 290ms, qPrintable(QString::number(span.count())));
}

namespace {

// Threads that keep the processors busy while they live, as other work on the machine does.
class BusyThreads
{
public:
    explicit BusyThreads(int count)
    {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this] {
                while (!done.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~BusyThreads()
    {
        done = true;
        for (std::thread &thread : threads)
            thread.join();
    }

private:
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
};

} // namespace

void TestCameraTest::capturedOnScheduleOnABusyMachine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fps");
    QTest::newRow("100 fps") << "test:320x240@100" << 100;
    QTest::newRow("250 fps, gray") << "test:320x240@250:gray" << 250;
    QTest::newRow("120 fps, a period of no whole microseconds") << "test:320x240@120" << 120;
    QTest::newRow("200 fps, losing 1 in 3") << "test:320x240@200:lose=3" << 200;
    QTest::newRow("100 fps, bursts of 4") << "test:320x240@100:burst=4" << 100;
}

// Frame n is captured n periods after frame 0, to the clock's resolution, however late the
// busy machine lets its thread wake; the time the frame carries is the same.
void TestCameraTest::capturedOnScheduleOnABusyMachine()
{
    QFETCH(QString, text);
    QFETCH(int, fps);
    const BusyThreads busy(2);
    TestCamera camera(*TestCamera::Settings::parse(text));
    std::vector<FrameSource::Frame> frames(60);
    const MonotonicClock::time_point asked = MonotonicClock::now();
    for (FrameSource::Frame &frame : frames)
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
    QVERIFY(*frames.front().captureTime >= asked);
    QCOMPARE(frames.front().sequence, std::optional<std::uint64_t>(0));
    const FramePattern::Stamp first = *FramePattern::read(frames.front().pixels);
    for (const FrameSource::Frame &frame : frames) {
        const std::int64_t dueNs = std::int64_t(*frame.sequence) * 1'000'000'000 / fps;
        const auto captured = std::chrono::duration_cast<std::chrono::nanoseconds>(
            *frame.captureTime - *frames.front().captureTime);
        QVERIFY2(captured.count() == dueNs,
                 qPrintable(QString("frame %1 captured %2 ns after frame 0, due %3 ns after")
                                .arg(*frame.sequence)
                                .arg(captured.count())
                                .arg(dueNs)));
        const auto stamp = FramePattern::read(frame.pixels);
        QVERIFY(stamp);
        QCOMPARE(std::uint64_t(stamp->index), *frame.sequence);
        // Whole microseconds since the camera opened: each truncated by less than one.
        const std::int64_t carried = stamp->deliveryMicroseconds - first.deliveryMicroseconds;
        QVERIFY2(qAbs(carried * 1000 - dueNs) < 1000,
                 qPrintable(QString("frame %1 carries %2 us, due %3 ns")
                                .arg(*frame.sequence)
                                .arg(carried)
                                .arg(dueNs)));
    }
}

void TestCameraTest::slowReaderLosesFramesBeyondTheQueue()
{
    TestCamera camera(settingsOf("test:320x240@100"));
    cv::Mat frame;
    QVERIFY(camera.read(frame));
    QCOMPARE(indexOf(frame), 0u);
    // A reader that falls far behind: about 100 frames are made meanwhile.
    QTest::qSleep(1000);
    const auto kept = std::uint32_t(TestCamera::queueLength(settingsOf("test:320x240@100")));
    QCOMPARE(kept, 50u);
    for (std::uint32_t index = 1; index <= kept; ++index) {
        QVERIFY(camera.read(frame));
        QCOMPARE(indexOf(frame), index);
    }
    QVERIFY(camera.read(frame));
    QVERIFY2(indexOf(frame) > kept + 1, qPrintable(QString::number(indexOf(frame))));
}

void TestCameraTest::grayFrames()
{
    TestCamera camera(settingsOf("test:320x240@0:gray"));
    cv::Mat frame;
    QVERIFY(camera.read(frame));
    QCOMPARE(frame.type(), CV_8UC1);
    QCOMPARE(indexOf(frame), 0u);
    QVERIFY(camera.read(frame));
    QCOMPARE(indexOf(frame), 1u);
}

// As on a congested bus: the lost frames never come, and the sequence numbers show the gap.
void TestCameraTest::losesEveryNthFrame()
{
    TestCamera camera(settingsOf("test:320x240@200:lose=4"));
    QVector<std::uint64_t> sequences;
    FrameSource::Frame frame;
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
        QCOMPARE(std::uint64_t(indexOf(frame.pixels)), *frame.sequence);
        sequences << *frame.sequence;
    }
    QCOMPARE(sequences, (QVector<std::uint64_t>{0, 1, 2, 4, 5, 6, 8, 9, 10}));
}

// A backlog: frames come five at once, each with the time it was captured.
void TestCameraTest::deliversInBursts()
{
    TestCamera camera(settingsOf("test:320x240@50:burst=5"));
    std::vector<FrameSource::Frame> frames(10);
    std::vector<MonotonicClock::time_point> arrivals;
    const MonotonicClock::time_point asked = MonotonicClock::now();
    for (FrameSource::Frame &frame : frames) {
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
        arrivals.push_back(MonotonicClock::now());
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i].sequence, std::optional<std::uint64_t>(i));
        // Not before its burst was complete: the burst's last frame was captured by then.
        const std::size_t lastOfBurst = i / 5 * 5 + 4;
        QVERIFY(arrivals[i] >= *frames[lastOfBurst].captureTime);
    }
    // Captured on the schedule all the same: the fifth frame four periods of 20 ms after the
    // start, or later.
    QVERIFY(*frames[4].captureTime - asked >= 80ms);
}

// A frozen camera: no frame and no end, until it is released.
void TestCameraTest::stallsWithoutEnding()
{
    TestCamera camera(settingsOf("test:320x240@100:stall=3"));
    FrameSource::Frame frame;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
    auto waiting = std::async(std::launch::async, [&camera] {
        FrameSource::Frame next;
        return camera.readFrame(next);
    });
    QVERIFY(waiting.wait_for(300ms) == std::future_status::timeout);
    camera.release();
    QCOMPARE(waiting.get(), FrameSource::Result::Failed);
}

void TestCameraTest::describesItself()
{
    const TestCamera camera(settingsOf("test:320x240@25:gray"));
    const FrameSource::Description facts = camera.description();
    QCOMPARE(facts.listText, QString("Test camera 320x240 @ 25 fps, gray"));
    QCOMPARE(facts.device, QString("test:320x240@25:gray"));
    QCOMPARE(facts.backend, QString("test camera"));
    QCOMPARE(facts.frameSize, cv::Size(320, 240));
    QCOMPARE(facts.pixelFormat, QString("GRAY"));
    QCOMPARE(facts.timeSource, FrameSource::TimeSource::Camera);
}

QTEST_APPLESS_MAIN(TestCameraTest)
#include "tst_TestCamera.moc"
