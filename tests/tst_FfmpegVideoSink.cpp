#include "encode/EncoderChoice.h"
#include "encode/FfmpegVideoSink.h"
#include "tests/support/MessageLog.h"
#include "tests/support/SmallVolume.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

#include <memory>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(VideoSink::OpenFailure)

namespace {

const cv::Size frameSize(320, 240);
// Wider than any H.264 level allows: the encoder refuses it.
const cv::Size beyondH264(16400, 16);
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

// The frame as a camera with the given number of channels would deliver it. Four channels
// carry an alpha that differs across the frame, which must neither tint nor darken it.
cv::Mat withChannels(const cv::Mat &frame, int channels)
{
    cv::Mat converted;
    if (channels == 1) {
        cv::cvtColor(frame, converted, cv::COLOR_BGR2GRAY);
    } else if (channels == 4) {
        cv::cvtColor(frame, converted, cv::COLOR_BGR2BGRA);
        cv::Mat alpha(frame.size(), CV_8UC1, cv::Scalar(255));
        alpha(cv::Rect(0, frame.rows / 2, frame.cols, frame.rows / 2)).setTo(0);
        cv::insertChannel(alpha, converted, 3);
    } else {
        converted = frame;
    }
    return converted;
}

// A pattern frame whose lower half is noise, which no encoder can make small: a few of them
// fill a small volume.
cv::Mat noisyFrame(int index)
{
    cv::Mat frame = patternFrame(index);
    cv::Mat lower = frame(cv::Rect(0, frameSize.height / 2, frameSize.width, frameSize.height / 2));
    cv::randu(lower, 0, 256);
    return frame;
}

// The frames that ffprobe decodes in a file; -1 when it cannot read the file at all.
int framesProbed(const QString &fileName)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                   "stream=nb_read_frames", "-of", "csv=p=0", fileName});
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return -1;
    bool isNumber = false;
    const int frames = ffprobe.readAllStandardOutput().trimmed().toInt(&isNumber);
    return isNumber ? frames : -1;
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
    void fileGrowsWhileRecording_data();
    void fileGrowsWhileRecording();
    void failingVolumeKeepsFlushedFrames_data();
    void failingVolumeKeepsFlushedFrames();
    void oddSizesStayH264_data();
    void oddSizesStayH264();
    void settingsFitTheCamera_data();
    void settingsFitTheCamera();

private:
    QString path(const QString &name) const { return directory->filePath(name); }
    static int framesIn(const QString &fileName);
    static QVector<int> indicesIn(const QString &fileName);
    void useFakeClock();
    void writeUntilRefused(const QString &fileName, QStringList *messages);

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<FfmpegVideoSink> sink;
    std::chrono::steady_clock::time_point now;
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
    return indicesIn(fileName).size();
}

QVector<int> FfmpegVideoSinkTest::indicesIn(const QString &fileName)
{
    cv::VideoCapture capture(fileName.toStdString(), cv::CAP_FFMPEG);
    QVector<int> indices;
    cv::Mat frame;
    while (capture.read(frame))
        indices << indexOf(frame);
    return indices;
}

// The sink then flushes when the test moves the time on, and only then.
void FfmpegVideoSinkTest::useFakeClock()
{
    sink->setClock([this] { return now; });
}

void FfmpegVideoSinkTest::roundTrip_data()
{
    // clang-format off
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("codecName");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("tune");

    QTest::newRow("X264") << fourcc("X264") << 3 << "h264" << "X264" << "zerolatency";
    QTest::newRow("x264") << fourcc("x264") << 3 << "h264" << "x264" << "zerolatency";
    QTest::newRow("H264") << fourcc("H264") << 3 << "h264" << "H264" << "zerolatency";
    QTest::newRow("h264") << fourcc("h264") << 3 << "h264" << "h264" << "zerolatency";
    QTest::newRow("MJPG") << fourcc("MJPG") << 3 << "mjpeg" << "MJPG" << "zerolatency";
    QTest::newRow("platform choice") << -1 << 3 << "mjpeg" << "MJPG" << "zerolatency";
    QTest::newRow("X264 gray frames") << fourcc("X264") << 1 << "h264" << "X264" << "zerolatency";
    QTest::newRow("X264 BGRA frames") << fourcc("X264") << 4 << "h264" << "X264" << "zerolatency";
    // Lookahead and B-frames keep frames inside the encoder until it is flushed.
    QTest::newRow("X264 with delayed frames")
        << fourcc("X264") << 3 << "h264" << "X264" << "film";
    QTest::newRow("MJPG gray frames") << fourcc("MJPG") << 1 << "mjpeg" << "MJPG" << "zerolatency";
    QTest::newRow("MJPG BGRA frames") << fourcc("MJPG") << 4 << "mjpeg" << "MJPG" << "zerolatency";
    // clang-format on
}

// Enough frames that the H.264 encoder holds some back until the end, and that the index
// blocks pass through both states of every low bit.
void FfmpegVideoSinkTest::roundTrip()
{
    QFETCH(int, code);
    QFETCH(int, channels);
    QFETCH(QString, codecName);
    QFETCH(QString, tag);
    QFETCH(QString, tune);
    constexpr int frameCount = 40;
    const QString fileName = path("round.avi");
    H264Settings settings;
    settings.tune = tune.toStdString();
    sink = std::make_unique<FfmpegVideoSink>(settings);

    QVERIFY(sink->open(fileName.toStdString(), code, 30.0, frameSize, true));
    QVERIFY(sink->isOpened());
    for (int index = 0; index < frameCount; ++index) {
        QVERIFY(sink->write(withChannels(patternFrame(index), channels)));
    }
    QVERIFY(sink->release());
    QVERIFY(!sink->isOpened());
    QCOMPARE(sink->framesInFile(), frameCount);
    // The run record tells how the file was encoded, also once it is complete.
    const VideoSink::Description encoding = sink->description();
    QCOMPARE(encoding.fourcc, tag);
    QCOMPARE(encoding.codec, codecName == "h264" ? QString("libx264") : QString("mjpeg"));
    QCOMPARE(encoding.settings.value("tune").toString(), codecName == "h264" ? tune : QString());

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
        if (channels == 1)
            cv::cvtColor(withChannels(written, 1), written, cv::COLOR_GRAY2BGR);
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
    QTest::addColumn<VideoSink::OpenFailure>("failure");

    const int h264 = fourcc("X264");
    const auto codec = VideoSink::OpenFailure::Codec;
    const auto file = VideoSink::OpenFailure::File;
    QTest::newRow("codec without encoder")
        << "a.avi" << fourcc("XVID") << 30.0 << frameSize << "Video codec not supported" << codec;
    QTest::newRow("no rate")
        << "a.avi" << h264 << 0.0 << frameSize << "Video settings not valid" << codec;
    QTest::newRow("no size")
        << "a.avi" << h264 << 30.0 << cv::Size(0, 480) << "Video settings not valid" << codec;
    QTest::newRow("size beyond H.264")
        << "a.avi" << h264 << 30.0 << beyondH264 << "Video encoder open failed" << codec;
    QTest::newRow("missing directory")
        << "missing/a.avi" << h264 << 30.0 << frameSize
        << "Video file create failed: No such file or directory" << file;
    QTest::newRow("directory is a file")
        << "file/a.avi" << h264 << 30.0 << frameSize << "Video file create failed: Not a directory"
        << file;
    QTest::newRow("name is a directory")
        << "dir" << fourcc("MJPG") << 30.0 << frameSize << "Video file create failed: Is a directory"
        << file;
    // clang-format on
}

void FfmpegVideoSinkTest::openFailure()
{
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(double, fps);
    QFETCH(cv::Size, size);
    QFETCH(QString, message);
    QFETCH(VideoSink::OpenFailure, failure);
    QFile blocker(path("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QVERIFY(QDir(directory->path()).mkdir("dir"));

    MessageLog log;
    QVERIFY(!sink->open(path(name).toStdString(), code, fps, size, true));
    QCOMPARE(log.all(), QStringList{message});
    QCOMPARE(sink->openFailure(), failure);
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
    QVERIFY(!sink->open(existing.fileName().toStdString(), fourcc("H264"), 30.0, beyondH264, true));
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
    QTest::newRow("two channels") << cv::Mat(size, CV_8UC2, cv::Scalar::all(0))
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
    MessageLog log;
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
    QCOMPARE(sink->framesInFile(), 0);
    // The index and the close fail as well, because of the same full disk.
    QCOMPARE(log.all(), QStringList{"Video file write failed"});
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

void FfmpegVideoSinkTest::fileGrowsWhileRecording_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("tune");
    QTest::addColumn<bool>("reordered");
    QTest::newRow("H.264") << fourcc("X264") << "zerolatency" << false;
    QTest::newRow("Motion JPEG") << fourcc("MJPG") << "zerolatency" << false;
    // Lookahead and B-frames: frames reach the file out of their order, and late.
    QTest::newRow("H.264 with delayed frames") << fourcc("X264") << "film" << true;
}

// A copy taken while recording is what a kill at that moment leaves behind: no index, no
// sizes in the headers. It must hold the frames counted as in the file, in their order.
void FfmpegVideoSinkTest::fileGrowsWhileRecording()
{
    QFETCH(int, code);
    QFETCH(QString, tune);
    QFETCH(bool, reordered);
    H264Settings settings;
    settings.tune = tune.toStdString();
    sink = std::make_unique<FfmpegVideoSink>(settings);
    useFakeClock();
    const QString fileName = path("growing.avi");
    QVERIFY(sink->open(fileName.toStdString(), code, 30.0, frameSize, true));

    int written = 0;
    int inFile = 0;
    qint64 sizeBefore = 0;
    for (int second = 1; second <= 3; ++second) {
        // Between two flushes nothing more counts as in the file.
        for (int i = 0; i < 30; ++i)
            QVERIFY(sink->write(patternFrame(written++)));
        QCOMPARE(sink->framesInFile(), inFile);
        now += FfmpegVideoSink::flushInterval;
        QVERIFY(sink->write(patternFrame(written++)));
        QVERIFY(sink->framesInFile() > inFile);
        inFile = sink->framesInFile();
        QVERIFY2(reordered ? inFile < written : inFile == written,
                 qPrintable(QString("%1 of %2 frames in the file").arg(inFile).arg(written)));

        const qint64 size = QFileInfo(fileName).size();
        QVERIFY(size > sizeBefore);
        sizeBefore = size;
        const QString copy = path(QString("copy%1.avi").arg(second));
        QVERIFY(QFile::copy(fileName, copy));
        QVERIFY(framesProbed(copy) >= inFile);
        const QVector<int> indices = indicesIn(copy);
        QVERIFY(indices.size() >= inFile);
        for (int index = 0; index < inFile; ++index)
            QCOMPARE(indices[index], index);
        if (!reordered)
            QCOMPARE(indices.size(), inFile);
    }
    QVERIFY(sink->release());
    QCOMPARE(sink->framesInFile(), written);
    QCOMPARE(framesProbed(fileName), written);
}

void FfmpegVideoSinkTest::failingVolumeKeepsFlushedFrames_data()
{
    QTest::addColumn<bool>("smallVolume");
    QTest::newRow("full volume") << true;
    QTest::newRow("file size limit") << false;
}

// The volume takes the first flushes and refuses a later one. What it took must stay
// readable: every frame counted as in the file, although the index never got written.
void FfmpegVideoSinkTest::failingVolumeKeepsFlushedFrames()
{
    QFETCH(bool, smallVolume);
    QStringList messages;
    QString fileName;
    if (smallVolume) {
        SmallVolume volume(2 * 1024 * 1024);
        if (!volume.isValid())
            QSKIP(qPrintable("cannot mount a small volume: " + volume.error()));
        writeUntilRefused(volume.path() + "/full.avi", &messages);
        // Read it where the volume cannot go away first.
        fileName = path("full.avi");
        QVERIFY(QFile::copy(volume.path() + "/full.avi", fileName));
    } else {
#ifdef Q_OS_UNIX
        // As a shell's ulimit -f sets it: writing past it fails instead of ending the process.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = 2 * 1024 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
        fileName = path("limited.avi");
        writeUntilRefused(fileName, &messages);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
#else
        QSKIP("no file size limit on this platform");
#endif
    }
    if (QTest::currentTestFailed())
        return;

    const QString encoding =
        "Video encoding: " +
        EncoderChoice::forCamera(frameSize, 30, false, QThread::idealThreadCount()).reason;
    QCOMPARE(messages, QStringList({encoding, "Video file write failed"}));
    const int inFile = sink->framesInFile();
    QVERIFY2(inFile >= 10, qPrintable(QString("%1 frames in the file").arg(inFile)));
    QVERIFY(framesProbed(fileName) >= inFile);
    const QVector<int> indices = indicesIn(fileName);
    QVERIFY(indices.size() >= inFile);
    for (int index = 0; index < inFile; ++index)
        QCOMPARE(indices[index], index);
}

// Writes noisy frames, a flush every 5, until the file refuses one, and completes the file.
void FfmpegVideoSinkTest::writeUntilRefused(const QString &fileName, QStringList *messages)
{
    MessageLog log;
    useFakeClock();
    QVERIFY(sink->open(fileName.toStdString(), fourcc("X264"), 30.0, frameSize, true));
    bool written = true;
    for (int index = 0; index < 1000 && written; ++index) {
        if (index % 5 == 0)
            now += FfmpegVideoSink::flushInterval;
        written = sink->write(noisyFrame(index));
    }
    QVERIFY2(!written, "the volume took every frame");
    QVERIFY(!sink->release());
    *messages = log.all();
}

void FfmpegVideoSinkTest::oddSizesStayH264_data()
{
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("chroma");
    QTest::newRow("odd width and height") << cv::Size(321, 241) << 3 << "4:4:4";
    QTest::newRow("odd width, gray frames") << cv::Size(321, 240) << 1 << "4:4:4";
    QTest::newRow("odd height, BGRA frames") << cv::Size(320, 241) << 4 << "4:4:4";
    QTest::newRow("even sides") << cv::Size(320, 240) << 3 << "4:2:0";
}

// Stored as H.264 at the camera's own size, and decoded as written: an added row or column
// of edge pixels, or a frame cut to even sides, would show in the size or the pixels.
void FfmpegVideoSinkTest::oddSizesStayH264()
{
    QFETCH(cv::Size, size);
    QFETCH(int, channels);
    QFETCH(QString, chroma);
    constexpr int frameCount = 12;
    const QString fileName = path("odd.avi");
    std::vector<cv::Mat> frames;
    for (int index = 0; index < frameCount; ++index) {
        cv::Mat frame;
        // The pattern, with its far column and row repeated as far as the size asks.
        cv::copyMakeBorder(patternFrame(index), frame, 0, size.height - frameSize.height, 0,
                           size.width - frameSize.width, cv::BORDER_REFLECT);
        frames.push_back(withChannels(frame, channels));
    }

    QVERIFY(sink->open(fileName.toStdString(), fourcc("X264"), 30.0, size, true));
    for (const cv::Mat &frame : frames)
        QVERIFY(sink->write(frame));
    QVERIFY(sink->release());
    QCOMPARE(sink->description().codec, QString("libx264"));
    QCOMPARE(sink->description().settings.value("chroma").toString(), chroma);
    QCOMPARE(probe(fileName),
             QString("codec_name=h264\ncodec_tag_string=X264\nwidth=%1\nheight=%2\n"
                     "r_frame_rate=30/1\n")
                 .arg(size.width)
                 .arg(size.height));

    cv::VideoCapture capture(fileName.toStdString(), cv::CAP_FFMPEG);
    cv::Mat decoded;
    int index = 0;
    for (; capture.read(decoded); ++index) {
        QCOMPARE(decoded.size(), size);
        QCOMPARE(indexOf(decoded), index);
        cv::Mat written = frames[std::size_t(index)];
        if (channels == 1)
            cv::cvtColor(written, written, cv::COLOR_GRAY2BGR);
        if (channels == 4)
            cv::cvtColor(written, written, cv::COLOR_BGRA2BGR);
        const double psnr = cv::PSNR(written, decoded);
        if (psnr < 35)
            QFAIL(qPrintable(QString("frame %1: PSNR %2 dB").arg(index).arg(psnr)));
        // The last column and row are the camera's own, not padding of another value.
        const cv::Rect edge(size.width - 1, size.height - 1, 1, 1);
        QVERIFY(cv::norm(written(edge), decoded(edge), cv::NORM_INF) <= 12);
    }
    QCOMPARE(index, frameCount);
}

void FfmpegVideoSinkTest::settingsFitTheCamera_data()
{
    QTest::addColumn<double>("cameraFps");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("chosen");
    // 640x480 at 300 fps is beyond the best-compressing settings in colour, not in grey: the
    // choice made when the file is opened changes with the first frame.
    QTest::newRow("colour camera") << 300.0 << 3 << true;
    QTest::newRow("grey camera") << 300.0 << 1 << true;
    QTest::newRow("rate the camera does not know") << 0.0 << 3 << true;
    QTest::newRow("settings given") << 300.0 << 1 << false;
}

// The settings follow the camera's real rate, not the 30 fps the file declares, and whether
// its frames are grey; one line says which were taken and why.
void FfmpegVideoSinkTest::settingsFitTheCamera()
{
    QFETCH(double, cameraFps);
    QFETCH(int, channels);
    QFETCH(bool, chosen);
    const cv::Size size(640, 480);
    H264Settings given;
    given.preset = "faster";
    if (!chosen)
        sink = std::make_unique<FfmpegVideoSink>(given);
    sink->setCameraRate(cameraFps);
    const EncoderChoice choice = EncoderChoice::forCamera(
        size, cameraFps > 0 ? cameraFps : 30.0, channels == 1, QThread::idealThreadCount());
    const H264Settings expected = chosen ? choice.settings : given;

    MessageLog log;
    QVERIFY(sink->open(path("fit.avi").toStdString(), fourcc("X264"), 30.0, size, true));
    cv::Mat frame;
    cv::resize(patternFrame(0), frame, size, 0, 0, cv::INTER_NEAREST);
    for (int index = 0; index < 3; ++index)
        QVERIFY(sink->write(withChannels(frame, channels)));
    QVERIFY(sink->release());
    QCOMPARE(log.all(), chosen ? QStringList{"Video encoding: " + choice.reason} : QStringList());
    const QVariantMap settings = sink->description().settings;
    QCOMPARE(settings.value("preset").toString(), QString::fromStdString(expected.preset));
    QCOMPARE(settings.value("threads").toInt(), expected.threads);
    QCOMPARE(framesProbed(path("fit.avi")), 3);
}

QTEST_GUILESS_MAIN(FfmpegVideoSinkTest)
#include "tst_FfmpegVideoSink.moc"
