#include "FfmpegVideoSink.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <memory>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(cv::Mat)

namespace {

const cv::Size frameSize(320, 240);
constexpr int indexBits = 8;
constexpr int blockSide = 20;

constexpr int fourcc(const char (&code)[5])
{
    return code[0] | code[1] << 8 | code[2] << 16 | code[3] << 24;
}

// A frame that tells its index in a row of blocks along the top, and whose quadrants
// differ in brightness and colour, so that a flipped, mirrored, reordered or
// channel-swapped frame cannot pass for the one written.
cv::Mat patternFrame(int index)
{
    cv::Mat frame(frameSize, CV_8UC3);
    const int halfWidth = frameSize.width / 2;
    const int halfHeight = frameSize.height / 2;
    frame(cv::Rect(0, 0, halfWidth, halfHeight)).setTo(cv::Scalar(40, 60, 200));
    frame(cv::Rect(halfWidth, 0, halfWidth, halfHeight)).setTo(cv::Scalar(200, 90, 40));
    frame(cv::Rect(0, halfHeight, halfWidth, halfHeight)).setTo(cv::Scalar(70, 180, 70));
    frame(cv::Rect(halfWidth, halfHeight, halfWidth, halfHeight)).setTo(cv::Scalar(30, 30, 30));
    for (int bit = 0; bit < indexBits; ++bit) {
        const int level = (index >> bit) & 1 ? 235 : 16;
        frame(cv::Rect(bit * blockSide, 0, blockSide, blockSide)).setTo(cv::Scalar::all(level));
    }
    return frame;
}

int indexOf(const cv::Mat &frame)
{
    int index = 0;
    for (int bit = 0; bit < indexBits; ++bit) {
        const cv::Scalar level =
            cv::mean(frame(cv::Rect(bit * blockSide, 0, blockSide, blockSide)));
        if (level[1] > 128)
            index |= 1 << bit;
    }
    return index;
}

cv::Mat asGray(const cv::Mat &frame)
{
    cv::Mat gray;
    cv::cvtColor(frame, gray, cv::COLOR_BGR2GRAY);
    return gray;
}

// Asks ffprobe for a few fields of the first video stream, as "key=value" lines.
QString probe(const QString &fileName)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-select_streams", "v:0", "-show_entries",
                   "stream=codec_name,codec_tag_string,r_frame_rate,width,height", "-of",
                   "default=noprint_wrappers=1", fileName});
    if (!ffprobe.waitForFinished(10000) || ffprobe.exitCode() != 0)
        return QString();
    return QString::fromLatin1(ffprobe.readAllStandardOutput());
}

} // namespace

class FfmpegVideoSinkTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void openFailure_data();
    void openFailure();
    void refusedCodecKeepsExistingFile();
    void refusedFrame_data();
    void refusedFrame();
    void fullDisk();
    void reopenCompletesEarlierFile();

private:
    QString path(const QString &name) const { return directory->filePath(name); }
    static int framesIn(const QString &fileName);

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<FfmpegVideoSink> sink;
};

void FfmpegVideoSinkTest::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    sink = std::make_unique<FfmpegVideoSink>();
}

void FfmpegVideoSinkTest::cleanup()
{
    sink.reset();
    directory.reset();
}

int FfmpegVideoSinkTest::framesIn(const QString &fileName)
{
    cv::VideoCapture capture(fileName.toStdString(), cv::CAP_FFMPEG);
    int count = 0;
    cv::Mat frame;
    while (capture.read(frame))
        ++count;
    return count;
}

void FfmpegVideoSinkTest::roundTrip_data()
{
    // clang-format off
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<QString>("codecName");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("tune");

    QTest::newRow("X264") << fourcc("X264") << false << "h264" << "X264" << "zerolatency";
    QTest::newRow("x264") << fourcc("x264") << false << "h264" << "x264" << "zerolatency";
    QTest::newRow("H264") << fourcc("H264") << false << "h264" << "H264" << "zerolatency";
    QTest::newRow("h264") << fourcc("h264") << false << "h264" << "h264" << "zerolatency";
    QTest::newRow("MJPG") << fourcc("MJPG") << false << "mjpeg" << "MJPG" << "zerolatency";
    QTest::newRow("platform choice") << -1 << false << "mjpeg" << "MJPG" << "zerolatency";
    QTest::newRow("X264 gray frames") << fourcc("X264") << true << "h264" << "X264" << "zerolatency";
    // Lookahead and B-frames keep frames inside the encoder until it is flushed.
    QTest::newRow("X264 with delayed frames")
        << fourcc("X264") << false << "h264" << "X264" << "film";
    QTest::newRow("MJPG gray frames") << fourcc("MJPG") << true << "mjpeg" << "MJPG" << "zerolatency";
    // clang-format on
}

// Enough frames that the H.264 encoder holds some back until the end, and that the index
// blocks pass through both states of every low bit.
void FfmpegVideoSinkTest::roundTrip()
{
    QFETCH(int, code);
    QFETCH(bool, gray);
    QFETCH(QString, codecName);
    QFETCH(QString, tag);
    QFETCH(QString, tune);
    constexpr int frameCount = 40;
    const QString fileName = path("round.avi");
    FfmpegVideoSink::H264Settings settings;
    settings.tune = tune.toStdString();
    sink = std::make_unique<FfmpegVideoSink>(settings);

    QVERIFY(sink->open(fileName.toStdString(), code, 30.0, frameSize, true));
    QVERIFY(sink->isOpened());
    for (int index = 0; index < frameCount; ++index) {
        const cv::Mat frame = patternFrame(index);
        QVERIFY(sink->write(gray ? asGray(frame) : frame));
    }
    QVERIFY(sink->release());
    QVERIFY(!sink->isOpened());

    const QString expected = QString("codec_name=%1\ncodec_tag_string=%2\nwidth=%3\nheight=%4\n"
                                     "r_frame_rate=30/1\n")
                                 .arg(codecName, tag)
                                 .arg(frameSize.width)
                                 .arg(frameSize.height);
    QCOMPARE(probe(fileName), expected);

    cv::VideoCapture capture(fileName.toStdString(), cv::CAP_FFMPEG);
    QVERIFY(capture.isOpened());
    cv::Mat decoded;
    int index = 0;
    for (; capture.read(decoded); ++index) {
        QCOMPARE(decoded.size(), frameSize);
        QCOMPARE(indexOf(decoded), index);
        cv::Mat written = patternFrame(index);
        if (gray)
            cv::cvtColor(asGray(written), written, cv::COLOR_GRAY2BGR);
        const double psnr = cv::PSNR(written, decoded);
        if (psnr < 35)
            QFAIL(qPrintable(QString("frame %1: PSNR %2 dB").arg(index).arg(psnr)));
    }
    QCOMPARE(index, frameCount);
}

void FfmpegVideoSinkTest::openFailure_data()
{
    // clang-format off
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("fps");
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<QString>("message");

    const int h264 = fourcc("X264");
    QTest::newRow("codec without encoder")
        << "a.avi" << fourcc("XVID") << 30.0 << frameSize << "Video codec not supported";
    QTest::newRow("no rate") << "a.avi" << h264 << 0.0 << frameSize << "Video settings not valid";
    QTest::newRow("no size")
        << "a.avi" << h264 << 30.0 << cv::Size(0, 480) << "Video settings not valid";
    QTest::newRow("odd size for H.264")
        << "a.avi" << h264 << 30.0 << cv::Size(321, 241) << "Video encoder open failed";
    QTest::newRow("missing directory")
        << "missing/a.avi" << h264 << 30.0 << frameSize << "Video file create failed";
    QTest::newRow("directory is a file")
        << "file/a.avi" << h264 << 30.0 << frameSize << "Video file create failed";
    QTest::newRow("name is a directory")
        << "dir" << fourcc("MJPG") << 30.0 << frameSize << "Video file create failed";
    // clang-format on
}

void FfmpegVideoSinkTest::openFailure()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(double, fps);
    QFETCH(cv::Size, size);
    QFETCH(QString, message);
    QFile blocker(path("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QVERIFY(QDir(directory->path()).mkdir("dir"));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    QVERIFY(!sink->open(path(name).toStdString(), code, fps, size, true));
    QVERIFY(!sink->isOpened());
    QVERIFY(!sink->write(patternFrame(0)));
    QVERIFY(sink->release());
    QCOMPARE(QDir(directory->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList({"dir", "file"}));
}

// The caller tries the H.264 codes one after another on the same name; a refused one must
// not have emptied what is there.
void FfmpegVideoSinkTest::refusedCodecKeepsExistingFile()
{
    QFile existing(path("kept.avi"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    QCOMPARE(existing.write("earlier recording"), qint64(17));
    existing.close();

    QTest::ignoreMessage(QtDebugMsg, "Video encoder open failed");
    QVERIFY(!sink->open(existing.fileName().toStdString(), fourcc("H264"), 30.0, cv::Size(321, 240),
                        true));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("earlier recording"));
}

void FfmpegVideoSinkTest::refusedFrame_data()
{
    // clang-format off
    QTest::addColumn<cv::Mat>("frame");
    QTest::addColumn<QString>("message");

    const cv::Size size = frameSize;
    QTest::newRow("wider") << cv::Mat(size.height, size.width + 2, CV_8UC3, cv::Scalar::all(0))
                           << "Video frame size mismatch";
    QTest::newRow("lower") << cv::Mat(size.height - 2, size.width, CV_8UC3, cv::Scalar::all(0))
                           << "Video frame size mismatch";
    QTest::newRow("empty") << cv::Mat() << "Video frame size mismatch";
    QTest::newRow("four channels") << cv::Mat(size, CV_8UC4, cv::Scalar::all(0))
                                   << "Video frame format not supported";
    QTest::newRow("16 bits") << cv::Mat(size, CV_16UC3, cv::Scalar::all(0))
                             << "Video frame format not supported";
    // clang-format on
}

// A refused frame is missing from the video: the frames around it still go in, but the file
// is reported incomplete.
void FfmpegVideoSinkTest::refusedFrame()
{
    QFETCH(cv::Mat, frame);
    QFETCH(QString, message);
    const QString fileName = path("refused.avi");
    QVERIFY(sink->open(fileName.toStdString(), fourcc("X264"), 30.0, frameSize, true));
    QVERIFY(sink->write(patternFrame(0)));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    QVERIFY(!sink->write(frame));
    QVERIFY(sink->write(patternFrame(1)));
    QVERIFY(!sink->release());
    QCOMPARE(framesIn(fileName), 2);
}

// /dev/full takes the file open but refuses every byte written, as a full disk does.
void FfmpegVideoSinkTest::fullDisk()
{
    if (!QFile::exists("/dev/full"))
        QSKIP("This platform has no device that is always full");
    QTest::ignoreMessage(QtDebugMsg, "Video file write failed");
    QTest::ignoreMessage(QtDebugMsg, "Video trailer write failed");
    QTest::ignoreMessage(QtDebugMsg, "Video file close failed");
    QVERIFY(sink->open("/dev/full", fourcc("MJPG"), 30.0, frameSize, true));
    cv::Mat noise(frameSize, CV_8UC3);
    bool written = true;
    for (int index = 0; index < 30 && written; ++index) {
        cv::randu(noise, 0, 256);
        written = sink->write(noise);
    }
    QVERIFY(!written);
    QVERIFY(!sink->release());
    QVERIFY(!sink->isOpened());
}

void FfmpegVideoSinkTest::reopenCompletesEarlierFile()
{
    QVERIFY(sink->open(path("first.avi").toStdString(), fourcc("X264"), 30.0, frameSize, true));
    for (int index = 0; index < 5; ++index)
        QVERIFY(sink->write(patternFrame(index)));
    QVERIFY(sink->open(path("second.avi").toStdString(), fourcc("MJPG"), 30.0, frameSize, true));
    QVERIFY(sink->write(patternFrame(0)));
    QVERIFY(sink->release());
    QCOMPARE(framesIn(path("first.avi")), 5);
    QCOMPARE(framesIn(path("second.avi")), 1);
}

QTEST_GUILESS_MAIN(FfmpegVideoSinkTest)
#include "tst_FfmpegVideoSink.moc"
