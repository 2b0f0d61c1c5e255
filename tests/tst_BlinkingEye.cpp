#include "capture/BlinkingEye.h"
#include "capture/FramePattern.h"
#include "capture/TestCamera.h"
#include "tests/support/EyeMeasurement.h"

#include <QTest>

#include <opencv2/core.hpp>

#include <chrono>
#include <cmath>
#include <optional>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(cv::Rect)

class BlinkingEyeTest : public QObject
{
    Q_OBJECT
private slots:
    void closedFraction_data();
    void closedFraction();
    void eyeBox_data();
    void eyeBox();
    void lidCoversTheTopRows_data();
    void lidCoversTheTopRows();
    void eyeBlinksOnTheSchedule_data();
    void eyeBlinksOnTheSchedule();
};

void BlinkingEyeTest::closedFraction_data()
{
    QTest::addColumn<double>("ms");
    QTest::addColumn<double>("closed");
    QTest::newRow("first frame") << 0.0 << 0.0;
    QTest::newRow("just before the first blink") << 999.9 << 0.0;
    QTest::newRow("first blink's onset") << 1000.0 << 0.0;
    QTest::newRow("closing, 10 ms in") << 1010.0 << 0.25;
    QTest::newRow("closing, 20 ms in") << 1020.0 << 0.5;
    QTest::newRow("closed at 40 ms") << 1040.0 << 1.0;
    QTest::newRow("closed, plateau") << 1060.0 << 1.0;
    QTest::newRow("opening starts at 80 ms") << 1080.0 << 1.0;
    QTest::newRow("opening, 30 ms in") << 1110.0 << 0.75;
    QTest::newRow("opening, 60 ms in") << 1140.0 << 0.5;
    QTest::newRow("open again at 200 ms") << 1200.0 << 0.0;
    QTest::newRow("between blinks") << 2000.0 << 0.0;
    QTest::newRow("just before the second blink") << 2999.0 << 0.0;
    QTest::newRow("second blink, 20 ms in") << 3020.0 << 0.5;
    QTest::newRow("second blink, opening 20 ms in") << 3100.0 << 1.0 - 20.0 / 120.0;
    QTest::newRow("tenth blink, closed") << 19'050.0 << 1.0;
}

void BlinkingEyeTest::closedFraction()
{
    QFETCH(double, ms);
    QFETCH(double, closed);
    const double got = BlinkingEye::closedFraction(ms);
    QVERIFY2(std::abs(got - closed) < 1e-9,
             qPrintable(QString("%1 at %2 ms, expected %3").arg(got).arg(ms).arg(closed)));
}

void BlinkingEyeTest::eyeBox_data()
{
    QTest::addColumn<cv::Size>("frame");
    QTest::addColumn<cv::Rect>("box");
    QTest::newRow("640x480") << cv::Size(640, 480) << cv::Rect(240, 200, 160, 80);
    QTest::newRow("1280x720") << cv::Size(1280, 720) << cv::Rect(480, 300, 320, 120);
    QTest::newRow("odd sides") << cv::Size(641, 481) << cv::Rect(240, 200, 160, 80);
}

void BlinkingEyeTest::eyeBox()
{
    QFETCH(cv::Size, frame);
    QFETCH(cv::Rect, box);
    QCOMPARE(BlinkingEye::eyeBox(frame), box);
    // The skin reaches half the box's size beyond it on every side.
    const cv::Rect skin = BlinkingEye::skinBox(frame);
    QCOMPARE(skin, cv::Rect(box.x - box.width / 2, box.y - box.height / 2, box.width * 2,
                            box.height * 2));
}

void BlinkingEyeTest::lidCoversTheTopRows_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("closed");
    QTest::newRow("open") << CV_8UC1 << 0.0;
    QTest::newRow("a tenth closed") << CV_8UC1 << 0.1;
    QTest::newRow("a quarter closed") << CV_8UC1 << 0.25;
    QTest::newRow("half closed") << CV_8UC1 << 0.5;
    QTest::newRow("nearly closed") << CV_8UC1 << 0.9;
    QTest::newRow("closed") << CV_8UC1 << 1.0;
    QTest::newRow("colour, open") << CV_8UC3 << 0.0;
    QTest::newRow("colour, a third closed") << CV_8UC3 << 1.0 / 3;
}

// Drawn into scenery of noise: skin all around the eye, the eye dark below the lid only, its
// dark area what an ellipse keeps below the lid's edge, all grey.
void BlinkingEyeTest::lidCoversTheTopRows()
{
    QFETCH(int, type);
    QFETCH(double, closed);
    cv::Mat frame(480, 640, type);
    cv::randu(frame, 0, 256);
    BlinkingEye::draw(frame, closed);
    const EyeMeasurement measured = EyeMeasurement::of(frame);
    const cv::Rect eye = BlinkingEye::eyeBox(frame.size());
    QCOMPARE(measured.darkAround, 0);
    QCOMPARE(measured.coloured, 0);
    const int lidRows = int(std::lround(closed * eye.height));
    QCOMPARE(measured.darkRows, eye.height - lidRows);
    QCOMPARE(measured.firstDarkRow, closed < 1 ? lidRows : -1);
    // The open eye is the ellipse that fills its box, to within the pixels on its edge.
    const double openEye = M_PI / 4 * eye.width * eye.height;
    const double rowShare = eye.width / openEye;
    const double share = measured.darkPixels / openEye;
    const double expected = EyeMeasurement::visibleShare(double(lidRows) / eye.height);
    QVERIFY2(std::abs(share - expected) <= rowShare,
             qPrintable(QString("%1 of the eye dark, %2 expected").arg(share).arg(expected)));
}

void BlinkingEyeTest::eyeBlinksOnTheSchedule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frames");
    // Each reaches past the end of the first blink, 1.2 s after frame 0.
    QTest::newRow("grey, 250 fps") << "test:640x480@250:gray:eye" << 310;
    QTest::newRow("colour, 100 fps") << "test:640x480@100:eye" << 125;
    QTest::newRow("grey, losing and in bursts")
        << "test:640x480@200:eye:gray:lose=7:burst=3" << 215;
}

// Every frame carries the closed fraction due at its capture time, and shows it: the eye dark
// below the lid, an ellipse's share of it, skin around, all grey.
void BlinkingEyeTest::eyeBlinksOnTheSchedule()
{
    QFETCH(QString, text);
    QFETCH(int, frames);
    TestCamera camera(*TestCamera::Settings::parse(text));
    FrameSource::Frame frame;
    std::optional<MonotonicClock::time_point> first;
    int closedFrames = 0;
    for (int i = 0; i < frames; ++i) {
        QCOMPARE(camera.readFrame(frame), FrameSource::Result::Frame);
        if (!first)
            first = frame.captureTime;
        const double ms =
            std::chrono::duration<double, std::milli>(*frame.captureTime - *first).count();
        const double closed = BlinkingEye::closedFraction(ms);
        const auto stamp = FramePattern::read(frame.pixels);
        QVERIFY(stamp);
        QCOMPARE(stamp->closedThousandths,
                 std::optional<std::uint16_t>(std::lround(closed * 1000)));
        const EyeMeasurement measured = EyeMeasurement::of(frame.pixels);
        const cv::Rect eye = BlinkingEye::eyeBox(frame.pixels.size());
        QCOMPARE(measured.darkAround, 0);
        QCOMPARE(measured.coloured, 0);
        const double darkRowShare = double(measured.darkRows) / eye.height;
        QVERIFY2(std::abs(darkRowShare - (1 - closed)) <= 1.0 / eye.height,
                 qPrintable(QString("frame %1 at %2 ms: %3 of the eye's rows dark, %4 closed")
                                .arg(i)
                                .arg(ms)
                                .arg(darkRowShare)
                                .arg(closed)));
        const double openEye = M_PI / 4 * eye.width * eye.height;
        const double share = measured.darkPixels / openEye;
        QVERIFY2(std::abs(share - EyeMeasurement::visibleShare(closed)) <= eye.width / openEye,
                 qPrintable(QString("frame %1 at %2 ms: %3 of the eye dark, %4 closed")
                                .arg(i)
                                .arg(ms)
                                .arg(share)
                                .arg(closed)));
        closedFrames += stamp->closedThousandths == 1000;
    }
    // The blink was seen: 40 ms closed is several frames at these rates.
    QVERIFY(closedFrames >= 3);
}

QTEST_APPLESS_MAIN(BlinkingEyeTest)
#include "tst_BlinkingEye.moc"
