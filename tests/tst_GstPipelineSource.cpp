#include "capture/GstPipelineSource.h"
#include "engine/FrameTimeline.h"

#include <QRegularExpression>
#include <QTest>

#include <opencv2/core.hpp>

#include <cmath>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A live test source at 60 fps, whose buffers' times are whole frame periods apart.
QString livePipeline(const QString &middle, const QString &caps = "width=320,height=240")
{
    return QString("videotestsrc is-live=true pattern=smpte75 ! video/x-raw,%1,framerate=60/1 ! "
                   "%2videoconvert ! appsink")
        .arg(caps, middle);
}

constexpr MonotonicClock::duration period = std::chrono::nanoseconds(1'000'000'000 / 60);

// Frame periods between two capture times; not a whole number when the times are not the
// buffers' own.
double periodsBetween(MonotonicClock::time_point earlier, MonotonicClock::time_point later)
{
    return std::chrono::duration<double>(later - earlier) / period;
}

struct Read
{
    FrameSource::Frame frame;
    MonotonicClock::time_point arrival;
};

std::vector<Read> readFrames(FrameSource &source, int count)
{
    std::vector<Read> reads;
    for (int i = 0; i < count; ++i) {
        Read read;
        if (source.readFrame(read.frame) != FrameSource::Result::Frame)
            break;
        read.arrival = MonotonicClock::now();
        reads.push_back(std::move(read));
    }
    return reads;
}

} // namespace

class GstPipelineSourceTest : public QObject
{
    Q_OBJECT
private slots:
    void pipelineTexts_data();
    void pipelineTexts();
    void framesOfTheNegotiatedFormat_data();
    void framesOfTheNegotiatedFormat();
    void captureTimesOnTheMonotonicClock();
    void droppedBuffersAreCountedFromGaps();
    void backlogKeepsCaptureTimes();
    void unusablePipelinesDoNotOpen_data();
    void unusablePipelinesDoNotOpen();
};

void GstPipelineSourceTest::pipelineTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pipeline");
    QTest::newRow("linked elements") << "v4l2src ! videoconvert ! appsink" << true;
    QTest::newRow("a lone appsink") << "appsink" << true;
    QTest::newRow("video file") << "/data/clip.avi" << false;
    QTest::newRow("image sequence") << "frames/%04d.png" << false;
    QTest::newRow("stream address") << "rtsp://camera.local/stream" << false;
    QTest::newRow("exclamation mark in a file name") << "/data/wow!.avi" << false;
}

void GstPipelineSourceTest::pipelineTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, pipeline);
    QCOMPARE(GstPipelineSource::isPipeline(text), pipeline);
}

// Size, rate and layout come from the negotiated caps; each frame is a copy of its own with
// the rows the buffer holds, padding or not (a BGR row of 321 pixels is padded to 964 bytes).
void GstPipelineSourceTest::framesOfTheNegotiatedFormat_data()
{
    QTest::addColumn<QString>("caps");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("format");
    QTest::newRow("colour") << "width=320,height=240" << 320 << 240 << CV_8UC3 << "BGR";
    QTest::newRow("colour, padded rows")
        << "width=321,height=241" << 321 << 241 << CV_8UC3 << "BGR";
    QTest::newRow("grey") << "format=GRAY8,width=322,height=240" << 322 << 240 << CV_8UC1
                          << "GRAY8";
}

void GstPipelineSourceTest::framesOfTheNegotiatedFormat()
{
    QFETCH(QString, caps);
    QFETCH(int, width);
    QFETCH(int, height);
    const cv::Size size(width, height);
    QFETCH(int, type);
    QFETCH(QString, format);
    GstPipelineSource source(livePipeline("", caps));
    QVERIFY(source.isOpened());
    QCOMPARE(source.frameSize(), size);
    QCOMPARE(source.frameRate(), 60.0);
    QVERIFY(!source.deliversOnDemand());
    const FrameSource::Description facts = source.description();
    QCOMPARE(facts.backend, QString("GStreamer appsink"));
    QCOMPARE(facts.pixelFormat, format);
    QCOMPARE(facts.timeSource, FrameSource::TimeSource::Camera);
    QCOMPARE(facts.frameSize, size);
    const std::vector<Read> reads = readFrames(source, 2);
    QCOMPARE(int(reads.size()), 2);
    const cv::Mat &pixels = reads[0].frame.pixels;
    QCOMPARE(pixels.size(), size);
    QCOMPARE(pixels.type(), type);
    QVERIFY(pixels.isContinuous());
    QVERIFY(pixels.data != reads[1].frame.pixels.data);
    // Vertical colour bars: rows read with the wrong stride would shift down the picture.
    const cv::Mat firstRow = pixels.row(0);
    const cv::Mat lastRow = pixels.row(size.height - 1);
    QCOMPARE(cv::norm(firstRow, lastRow, cv::NORM_INF), 0.0);
    QVERIFY(cv::norm(firstRow.colRange(0, 8), firstRow.colRange(size.width - 8, size.width),
                     cv::NORM_INF) > 0);
}

// The buffers' times are readings of the monotonic clock: each lies after the pipeline was
// asked for, before the frame arrived, and whole frame periods after the one before.
void GstPipelineSourceTest::captureTimesOnTheMonotonicClock()
{
    const MonotonicClock::time_point beforeOpen = MonotonicClock::now();
    GstPipelineSource source(livePipeline(""));
    QVERIFY(source.isOpened());
    const std::vector<Read> reads = readFrames(source, 30);
    QCOMPARE(int(reads.size()), 30);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        QVERIFY(reads[i].frame.captureTime);
        const MonotonicClock::time_point capture = *reads[i].frame.captureTime;
        QVERIFY(capture >= beforeOpen);
        QVERIFY(capture <= reads[i].arrival);
        QVERIFY(reads[i].arrival - capture < 10s);
        if (i > 0) {
            const double periods = periodsBetween(*reads[i - 1].frame.captureTime, capture);
            QVERIFY2(periods >= 1 && std::abs(periods - std::round(periods)) < 0.001,
                     qPrintable(QString::number(periods)));
        }
    }
}

// Buffers dropped inside the pipeline leave gaps of whole periods between capture times; the
// timeline counts every frame missing between the first and the last one read.
void GstPipelineSourceTest::droppedBuffersAreCountedFromGaps()
{
    GstPipelineSource source(livePipeline("identity drop-probability=0.1 ! "));
    QVERIFY(source.isOpened());
    const std::vector<Read> reads = readFrames(source, 120);
    QCOMPARE(int(reads.size()), 120);
    FrameTimeline timeline(reads.front().arrival - 1s, source.frameRate(),
                           !source.deliversOnDemand());
    int lost = 0;
    for (const Read &read : reads)
        lost += timeline.place(read.frame, read.arrival).lostBefore;
    QVERIFY(timeline.usesCaptureTimes());
    const double span =
        periodsBetween(*reads.front().frame.captureTime, *reads.back().frame.captureTime);
    const int made = int(std::lround(span)) + 1;
    QVERIFY2(lost > 0, "one frame in ten is dropped");
    QCOMPARE(lost, made - int(reads.size()));
}

// Frames that waited in a queue while the reader was busy arrive together, each with its own
// capture time: a period apart, and as long before the arrival as they waited.
void GstPipelineSourceTest::backlogKeepsCaptureTimes()
{
    GstPipelineSource source(livePipeline("queue ! "));
    QVERIFY(source.isOpened());
    QCOMPARE(int(readFrames(source, 1).size()), 1);
    std::this_thread::sleep_for(300ms);
    const std::vector<Read> burst = readFrames(source, 12);
    QCOMPARE(int(burst.size()), 12);
    QVERIFY(burst.front().arrival - *burst.front().frame.captureTime >= 250ms);
    for (std::size_t i = 1; i < burst.size(); ++i) {
        const double periods =
            periodsBetween(*burst[i - 1].frame.captureTime, *burst[i].frame.captureTime);
        QVERIFY2(std::abs(periods - 1) < 0.001, qPrintable(QString::number(periods)));
    }
}

// Each says why in a debug line.
void GstPipelineSourceTest::unusablePipelinesDoNotOpen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("why");
    QTest::newRow("unknown element")
        << "nosuchelement ! appsink"
        << QStringList{"^the pipeline could not be made: .*nosuchelement.*"};
    QTest::newRow("no appsink") << "videotestsrc ! fakesink"
                                << QStringList{"^the pipeline has no appsink to take frames from: "
                                               "\"videotestsrc ! fakesink\"$"};
    QTest::newRow("frames neither BGR nor GRAY8")
        << "videotestsrc is-live=true ! video/x-raw,format=I420 ! appsink"
        << QStringList{"^GStreamer error from videotestsrc\\d+: .+",
                       "^the pipeline gave no first frame$"};
    QTest::newRow("ends before a frame") << "videotestsrc num-buffers=0 ! videoconvert ! appsink"
                                         << QStringList{"^the pipeline gave no first frame$"};
}

void GstPipelineSourceTest::unusablePipelinesDoNotOpen()
{
    QFETCH(QString, text);
    QFETCH(QStringList, why);
    for (const QString &message : qAsConst(why))
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
    GstPipelineSource source(text);
    QVERIFY(!source.isOpened());
    QCOMPARE(source.frameSize(), cv::Size());
    FrameSource::Frame frame;
    QCOMPARE(source.readFrame(frame), FrameSource::Result::Failed);
}

QTEST_GUILESS_MAIN(GstPipelineSourceTest)
#include "tst_GstPipelineSource.moc"
