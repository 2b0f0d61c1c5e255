#include "capture/TestCamera.h"
#include "encode/CvVideoSink.h"
#include "tests/support/MessageLog.h"
#include "tests/support/RecordingFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
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
    void openFailure_data();
    void openFailure();

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
    QTest::addColumn<bool>("withAlpha");
    const int h264 = cv::VideoWriter::fourcc('X', '2', '6', '4');
    const int mjpg = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    QTest::newRow("H.264") << h264 << 12.0 << false;
    QTest::newRow("MJPG") << mjpg << 12.0 << false;
    // A transparent alpha must neither darken nor tint the picture.
    QTest::newRow("MJPG, BGRA frames") << mjpg << 12.0 << true;
}

void CvVideoSinkTest::roundTrip()
{
    QFETCH(int, fourcc);
    QFETCH(double, tolerance);
    QFETCH(bool, withAlpha);
    const std::vector<cv::Mat> frames = testFrames(40);
    CvVideoSink sink;
    QVERIFY(sink.open(fileName(), fourcc, 30.0, {640, 480}, true));
    for (const cv::Mat &frame : frames) {
        cv::Mat written = frame;
        if (withAlpha) {
            cv::cvtColor(frame, written, cv::COLOR_BGR2BGRA);
            cv::insertChannel(cv::Mat(frame.size(), CV_8UC1, cv::Scalar(0)), written, 3);
        }
        QVERIFY(sink.write(written));
    }
    // The library's writer cannot be flushed: nothing counts as in the file before the end.
    QCOMPARE(sink.framesInFile(), 0);
    QVERIFY(sink.release());
    QCOMPARE(sink.framesInFile(), int(frames.size()));

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

void CvVideoSinkTest::openFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fileFails");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("missing folder")
        << "missing/video.avi" << true
        << QStringList{"Video file create failed: No such file or directory"};
    QTest::newRow("folder is a file") << "video.avi/video.avi" << true
                                      << QStringList{"Video file create failed: Not a directory"};
    QTest::newRow("codec refused") << "video.avi" << false << QStringList();
}

// The library only says that it failed; the sink tells a file that cannot be created from a
// codec that was refused, and looks without leaving a file behind or emptying one.
void CvVideoSinkTest::openFailure()
{
    QFETCH(QString, name);
    QFETCH(bool, fileFails);
    QFETCH(QStringList, messages);
    QFile existing(folder->filePath("video.avi"));
    if (fileFails) {
        QVERIFY(existing.open(QIODevice::WriteOnly));
        QCOMPARE(existing.write("kept"), qint64(4));
        existing.close();
    }
    CvVideoSink sink;
    MessageLog log;
    const int unknownCode = cv::VideoWriter::fourcc('Q', 'Q', 'Q', 'Q');
    QVERIFY(!sink.open(folder->filePath(name).toStdString(), unknownCode, 30.0, {640, 480}, true));
    QCOMPARE(log.all(), messages);
    QCOMPARE(sink.openFailure(),
             fileFails ? VideoSink::OpenFailure::File : VideoSink::OpenFailure::Codec);
    const QStringList expected = fileFails ? QStringList{"video.avi"} : QStringList();
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files), expected);
    if (fileFails) {
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("kept"));
    }
}

QTEST_APPLESS_MAIN(CvVideoSinkTest)
#include "tst_CvVideoSink.moc"
