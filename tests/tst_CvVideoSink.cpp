#include "CvVideoSink.h"
#include "RecordingFiles.h"
#include "TestCamera.h"

#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <vector>

class CvVideoSinkTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void refusesFramesItWouldDrop_data();
    void refusesFramesItWouldDrop();

private:
    std::string fileName() const { return folder->filePath("video.avi").toStdString(); }

    std::unique_ptr<QTemporaryDir> folder;
};

static std::vector<cv::Mat> testFrames(int count)
{
    TestCamera::Settings settings;
    settings.fps = 0;
    TestCamera camera(settings);
    std::vector<cv::Mat> frames(count);
    for (cv::Mat &frame : frames)
        camera.read(frame);
    return frames;
}

void CvVideoSinkTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void CvVideoSinkTest::roundTrip_data()
{
    QTest::addColumn<int>("fourcc");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("H.264") << cv::VideoWriter::fourcc('X', '2', '6', '4') << 12.0;
    QTest::newRow("MJPG") << cv::VideoWriter::fourcc('M', 'J', 'P', 'G') << 12.0;
}

void CvVideoSinkTest::roundTrip()
{
    QFETCH(int, fourcc);
    QFETCH(double, tolerance);
    const std::vector<cv::Mat> frames = testFrames(40);
    CvVideoSink sink;
    QVERIFY(sink.open(fileName(), fourcc, 30.0, {640, 480}, true));
    for (const cv::Mat &frame : frames)
        QVERIFY(sink.write(frame));
    QVERIFY(sink.release());

    const RecordingFiles::Video video = RecordingFiles::readVideo(folder->filePath("video.avi"));
    QCOMPARE(video.frameCount, int(frames.size()));
    QCOMPARE(video.frameSize, cv::Size(640, 480));
    QCOMPARE(video.fourcc, fourcc);
    QCOMPARE(video.fps, 30.0);
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY2(video.stamps[i], qPrintable(QString("frame %1 lost its pattern").arg(i)));
        QCOMPARE(video.stamps[i]->index, std::uint32_t(i));
    }

    // A frame that came out mirrored or with swapped colours is far off the original.
    cv::VideoCapture capture(fileName(), cv::CAP_FFMPEG);
    cv::Mat decoded;
    for (const cv::Mat &original : frames) {
        QVERIFY(capture.read(decoded));
        const double difference = cv::norm(original, decoded, cv::NORM_L1) / original.total() / 3;
        QVERIFY2(difference < tolerance, qPrintable(QString("mean difference %1").arg(difference)));
    }
}

void CvVideoSinkTest::refusesFramesItWouldDrop_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("type");
    QTest::newRow("larger") << 1280 << 720 << CV_8UC3;
    QTest::newRow("smaller") << 320 << 240 << CV_8UC3;
    QTest::newRow("grey into a colour file") << 640 << 480 << CV_8UC1;
    QTest::newRow("16-bit") << 640 << 480 << CV_16UC3;
}

void CvVideoSinkTest::refusesFramesItWouldDrop()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, type);
    CvVideoSink sink;
    QVERIFY(
        sink.open(fileName(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, {640, 480}, true));
    QVERIFY(!sink.write(cv::Mat(height, width, type, cv::Scalar::all(0))));
    QVERIFY(sink.write(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(0))));
    QVERIFY(sink.release());
    QCOMPARE(RecordingFiles::readVideo(folder->filePath("video.avi")).frameCount, 1);
}

QTEST_APPLESS_MAIN(CvVideoSinkTest)
#include "tst_CvVideoSink.moc"
