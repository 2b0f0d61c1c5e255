#include "FramePattern.h"
#include "TestCamera.h"

#include <QTest>

#include <opencv2/core.hpp>

#include <vector>

class TestCameraTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void rejects_data();
    void rejects();
    void deliversNumberedFramesThenRunsDry_data();
    void deliversNumberedFramesThenRunsDry();
    void framesKeepTheirPixels();
    void pacedOnItsOwnSchedule();
    void slowReaderLosesFramesBeyondTheQueue();

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
    QTest::newRow("default") << "test" << 640 << 480 << 30 << -1 << "Test camera 640x480 @ 30 fps";
    QTest::newRow("size and rate")
        << "test:1280x720@60" << 1280 << 720 << 60 << -1 << "Test camera 1280x720 @ 60 fps";
    QTest::newRow("unpaced") << "test:640x480@0" << 640 << 480 << 0 << -1
                             << "Test camera 640x480 unpaced";
    QTest::newRow("frame limit") << "test:320x240@25:frames=100" << 320 << 240 << 25 << 100
                                 << "Test camera 320x240 @ 25 fps, 100 frames";
    QTest::newRow("frame limit alone")
        << "test:frames=0" << 640 << 480 << 30 << 0 << "Test camera 640x480 @ 30 fps, 0 frames";
}

void TestCameraTest::parse()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, fps);
    QFETCH(int, frameLimit);
    QFETCH(QString, displayName);
    const auto settings = TestCamera::Settings::parse(text);
    QVERIFY(settings);
    QCOMPARE(settings->width, width);
    QCOMPARE(settings->height, height);
    QCOMPARE(settings->fps, fps);
    QCOMPARE(settings->frameLimit, frameLimit);
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
    cv::Mat frame;
    std::vector<FramePattern::Stamp> stamps;
    for (int i = 0; i < 30; ++i) {
        QVERIFY(camera.read(frame));
        stamps.push_back(*FramePattern::read(frame));
    }
    for (std::size_t i = 0; i < stamps.size(); ++i)
        QCOMPARE(stamps[i].index, std::uint32_t(i));
    // 29 periods of 10 ms; the bound is loose because the machine is shared.
    const std::int64_t span =
        stamps.back().deliveryMicroseconds - stamps.front().deliveryMicroseconds;
    QVERIFY2(span >= 270'000 && span < 600'000, qPrintable(QString::number(span)));
}

void TestCameraTest::slowReaderLosesFramesBeyondTheQueue()
{
    TestCamera camera(settingsOf("test:320x240@100"));
    cv::Mat frame;
    QVERIFY(camera.read(frame));
    QCOMPARE(indexOf(frame), 0u);
    // A reader that falls far behind: about 30 frames are made meanwhile.
    QTest::qSleep(300);
    for (std::uint32_t index = 1; index <= TestCamera::queueLength; ++index) {
        QVERIFY(camera.read(frame));
        QCOMPARE(indexOf(frame), index);
    }
    QVERIFY(camera.read(frame));
    QVERIFY2(indexOf(frame) > std::uint32_t(TestCamera::queueLength + 1),
             qPrintable(QString::number(indexOf(frame))));
}

QTEST_APPLESS_MAIN(TestCameraTest)
#include "tst_TestCamera.moc"
