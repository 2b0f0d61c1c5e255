#include "capture/FramePattern.h"

#include <QTest>

#include <opencv2/core.hpp>

Q_DECLARE_METATYPE(FramePattern::Stamp)

using Stamp = FramePattern::Stamp;

class FramePatternTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void damagedPatternIsRejected_data();
    void damagedPatternIsRejected();
    void survivesNoise();
};

// A busy picture, so that the pattern has to stand out from real content.
static cv::Mat busyFrame(int type, cv::Size size = {640, 480})
{
    cv::Mat frame(size, type);
    cv::randu(frame, 0, 256);
    return frame;
}

void FramePatternTest::roundTrip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Stamp>("stamp");
    QTest::newRow("first frame") << CV_8UC3 << Stamp{0, 0};
    QTest::newRow("ordinary") << CV_8UC3 << Stamp{1234, 41'200'517};
    QTest::newRow("largest index, 48-bit time")
        << CV_8UC3 << Stamp{0xffffffffu, (std::int64_t(1) << 48) - 1};
    QTest::newRow("grey frame") << CV_8UC1 << Stamp{77, 2'566'000};
    QTest::newRow("eye open") << CV_8UC3 << Stamp{250, 1'000'000, 0};
    QTest::newRow("eye half closed") << CV_8UC3 << Stamp{255, 1'020'000, 500};
    QTest::newRow("eye closed, grey frame") << CV_8UC1 << Stamp{260, 1'040'000, 1000};
    QTest::newRow("eye nearly open, largest time")
        << CV_8UC3 << Stamp{299, (std::int64_t(1) << 48) - 1, 1};
}

void FramePatternTest::roundTrip()
{
    QFETCH(int, type);
    QFETCH(Stamp, stamp);
    cv::Mat frame = busyFrame(type);
    FramePattern::draw(frame, stamp);
    const auto read = FramePattern::read(frame);
    QVERIFY(read);
    QCOMPARE(read->index, stamp.index);
    QCOMPARE(read->deliveryMicroseconds, stamp.deliveryMicroseconds);
    QCOMPARE(read->closedThousandths, stamp.closedThousandths);
}

void FramePatternTest::damagedPatternIsRejected_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("no pattern at all") << "none";
    QTest::newRow("mirrored left to right") << "flip horizontal";
    QTest::newRow("upside down") << "flip vertical";
    QTest::newRow("one block inverted") << "invert block";
    QTest::newRow("one of the eye's blocks inverted") << "invert eye block";
    QTest::newRow("black frame") << "black";
    QTest::newRow("white frame") << "white";
    QTest::newRow("frame smaller than the pattern") << "small";
}

void FramePatternTest::damagedPatternIsRejected()
{
    QFETCH(QString, damage);
    cv::Mat frame = busyFrame(CV_8UC3);
    if (damage != "none")
        FramePattern::draw(frame, {4242, 99'000});
    const cv::Rect pattern({0, 0}, FramePattern::area());
    if (damage == "flip horizontal") {
        cv::flip(frame(pattern).clone(), frame(pattern), 1);
    } else if (damage == "flip vertical") {
        cv::flip(frame(pattern).clone(), frame(pattern), 0);
    } else if (damage == "invert block") {
        cv::Mat block = frame(cv::Rect(48, 32, 16, 16));
        cv::bitwise_not(block, block);
    } else if (damage == "invert eye block") {
        cv::Mat block = frame(cv::Rect(16, pattern.height - 16, 16, 16));
        cv::bitwise_not(block, block);
    } else if (damage == "black") {
        frame.setTo(cv::Scalar::all(0));
    } else if (damage == "white") {
        frame.setTo(cv::Scalar::all(255));
    } else if (damage == "small") {
        frame = frame(cv::Rect(0, 0, pattern.width - 1, pattern.height)).clone();
    }
    QVERIFY(!FramePattern::read(frame));
}

void FramePatternTest::survivesNoise()
{
    cv::Mat frame = busyFrame(CV_8UC3);
    FramePattern::draw(frame, {31337, 123'456'789, 725});
    cv::Mat noise(frame.size(), CV_16SC3);
    cv::randn(noise, 0, 40);
    cv::Mat noisy;
    cv::add(frame, noise, noisy, cv::noArray(), CV_8UC3);
    const auto read = FramePattern::read(noisy);
    QVERIFY(read);
    QCOMPARE(read->index, 31337u);
    QCOMPARE(read->deliveryMicroseconds, std::int64_t(123'456'789));
    QCOMPARE(read->closedThousandths, std::optional<std::uint16_t>(725));
}

QTEST_APPLESS_MAIN(FramePatternTest)
#include "tst_FramePattern.moc"
