#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "capture/TestCamera.h"
#include "capture/VideoCaptureSource.h"
#include "encode/CvVideoSink.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/PreviewFrame.h"
#include "engine/Recorder.h"
#include "runrecord/RunRecord.h"
#include "tests/support/MessageLog.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScriptedSink.h"
#include "tests/support/ScriptedSource.h"
#include "tests/support/WatchedSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <opencv2/videoio.hpp>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

#include <atomic>
#include <functional>
#include <limits>

using Lines = QVector<FrameLine>;
using namespace std::chrono_literals;

// Where the recorder's clock starts when a test sets it.
static const MonotonicClock::time_point clockStart(10s);

// Source texts by camera number, as the command line would give them.
enum Camera {
    Vga30,
    Vga60,
    Hd30,
    FiveFrames,
    Small60,
    Broken,
    Dry,
    Bursts,
    Losing,
    Stalling,
    Gray
};
static const QStringList cameraTexts = {
    "test:640x480@30",          "test:640x480@60",         "test:1280x720@30",
    "test:320x240@30:frames=5", "test:320x240@60",         "test:bad",
    "test:320x240@30:frames=0", "test:320x240@60:burst=6", "test:320x240@60:lose=10",
    "test:320x240@30:stall=10", "test:320x240@30:gray"};

// Stands in for the window: receives the preview frames in this thread and gives them back,
// or holds them when told to.
class PreviewReceiver : public QObject
{
    Q_OBJECT
public:
    bool holding = false;
    QVector<IplImage *> held;
    int received = 0;

public slots:
    void showFrame(IplImage *image)
    {
        ++received;
        if (holding)
            held.append(image);
        else
            PreviewFrame::giveBack(image);
    }
};

// Carries the recorder's answers into this thread, where the spies read them.
class Answers : public QObject
{
    Q_OBJECT
signals:
    void recorded(bool successful);
    void finished();
    void timeChanged(QString time);
    void saving(int percent);
};

class RecorderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stopBeforeFirstIteration();
    void twoSecondRecording();
    void quitWhileRecording();
    void stopWhileIdleChangesNothing();
    void startFailures_data();
    void startFailures();
    void cameraStopsDelivering();
    void emptyFrameAfterQuitStillFinishes();
    void folderChangeAffectsNextRecording();
    void linesAndTimeTextFollowTheClock();
    void linesCarryCaptureTimes();
    void recordingClockStartIsAMonotonicReading();
    void lossesBeforeTheReadAreCounted_data();
    void lossesBeforeTheReadAreCounted();
    void fileEndIsASuccess();
    void burstsKeepTheirCaptureTimes();
    void cameraTimesOfAnotherClock();
    void losingCameraCountsEveryLoss();
    void pipelineDropsAreCounted();
    void stalledCameraEndsWithinTheBound();
    void grayCameraRecordedEndToEnd();
    void videoFilePlaysAtItsOwnRate();
    void everyFrameOfAnHdCamera();
    void timesAreTrueThroughWriterStalls();
    void writerThatCannotKeepUp();
    void savingAfterTheLastFrame();
    void quitWaitsForTheSaving();
    void writeFailures_data();
    void writeFailures();
    void textWriteFailure();
    void previewFramesStayValidAndBounded();
    void recordWhileBusy_data();
    void recordWhileBusy();
    void quitAnswersWaitingRecords();

private:
    void configure(const std::function<void(Recorder &)> &change);
    // The writer holds its first frame until the gate opens.
    void holdWriterAt(QSemaphore &gate);
    void run(const std::function<void(Recorder &)> &action);
    void record(int camera)
    {
        run([camera](Recorder &r) { r.record(camera); });
    }
    void stop()
    {
        run([](Recorder &r) { r.stop(); });
    }
    void recordFor(int camera, const QString &untilTime, int leastLines = 0);
    bool waitForResult(int count = 1);
    bool waitForFinished();
    QStringList filesInFolder() const;
    static void verifyConsistent(const QString &textFile, const QString &videoFile,
                                 Lines *linesOut = nullptr,
                                 RecordingFiles::Video *videoOut = nullptr);
    void verifyLastRecordingConsistent(Lines *lines = nullptr,
                                       RecordingFiles::Video *video = nullptr);
    void useScript(const ScriptedSource::Script &script);
    void useSteppingClock();
    static void verifyEveryFrameInOrder(const RecordingFiles::Video &video);
    static void verifyLinesMatchCaptureTimes(const Lines &lines, const RecordingFiles::Video &video,
                                             double tolerance);
    QStringList times() const;
    QString lastText() const;

    std::unique_ptr<QTemporaryDir> folder;
    QThread *thread = nullptr;
    Recorder *recorder = nullptr;
    PreviewReceiver *preview = nullptr;
    Answers *answers = nullptr;
    std::unique_ptr<QSignalSpy> recordedSpy;
    std::unique_ptr<QSignalSpy> finishedSpy;
    std::unique_ptr<QSignalSpy> timeSpy;
};

void RecorderTest::initTestCase()
{
    qRegisterMetaType<IplImage *>("IplImage*");
}

void RecorderTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    thread = new QThread;
    recorder = new Recorder;
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory(
        [](int camera) { return CameraSources({}, cameraTexts).open(camera); });
    recorder->setFolderAddress(folder->path());
    recorder->moveToThread(thread);
    preview = new PreviewReceiver;
    connect(recorder, &Recorder::frameAvailable, preview, &PreviewReceiver::showFrame);
    answers = new Answers;
    connect(recorder, &Recorder::recorded, answers, &Answers::recorded);
    connect(recorder, &Recorder::finished, answers, &Answers::finished);
    connect(recorder, &Recorder::timeChanged, answers, &Answers::timeChanged);
    connect(recorder, &Recorder::saving, answers, &Answers::saving);
    recordedSpy = std::make_unique<QSignalSpy>(answers, &Answers::recorded);
    finishedSpy = std::make_unique<QSignalSpy>(answers, &Answers::finished);
    timeSpy = std::make_unique<QSignalSpy>(answers, &Answers::timeChanged);
    thread->start();
}

void RecorderTest::cleanup()
{
    recordedSpy.reset();
    finishedSpy.reset();
    timeSpy.reset();
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
    // Frames still on their way to the receiver are given back before it goes.
    QCoreApplication::processEvents();
    preview->holding = false;
    for (IplImage *image : qAsConst(preview->held))
        PreviewFrame::giveBack(image);
    delete preview;
    delete answers;
    folder.reset();
}

// The recorder's setters are meant for before its thread runs; here they run in its thread.
void RecorderTest::configure(const std::function<void(Recorder &)> &change)
{
    QMetaObject::invokeMethod(
        recorder, [this, change] { change(*recorder); }, Qt::BlockingQueuedConnection);
}

void RecorderTest::holdWriterAt(QSemaphore &gate)
{
    configure([&gate](Recorder &r) {
        r.setSinkFactory([&gate] {
            return std::make_unique<ScriptedSink>(ScriptedSink::Script{&gate},
                                                  std::make_shared<QVector<int>>(),
                                                  std::make_unique<CvVideoSink>());
        });
    });
}

// Runs calls in the recorder's thread as one event, so that no iteration comes between them.
void RecorderTest::run(const std::function<void(Recorder &)> &action)
{
    Recorder *target = recorder;
    QMetaObject::invokeMethod(
        recorder, [target, action] { action(*target); }, Qt::QueuedConnection);
}

// Records until the time text reads untilTime and at least leastLines frames have their line:
// a busy machine may make frames late, but not fewer of them.
void RecorderTest::recordFor(int camera, const QString &untilTime, int leastLines)
{
    record(camera);
    QTRY_VERIFY_WITH_TIMEOUT(!timeSpy->isEmpty() && timeSpy->last().at(0).toString() >= untilTime &&
                                 lastText().count('\n') >= leastLines,
                             30000);
    stop();
}

bool RecorderTest::waitForResult(int count)
{
    return QTest::qWaitFor([&] { return recordedSpy->count() >= count; }, 20000);
}

// finished() is sent before its message is written: waits for both.
bool RecorderTest::waitForFinished()
{
    const bool finished = QTest::qWaitFor([&] { return !finishedSpy->isEmpty(); }, 5000);
    QMetaObject::invokeMethod(
        recorder, [] {}, Qt::BlockingQueuedConnection);
    return finished;
}

QStringList RecorderTest::filesInFolder() const
{
    return QDir(folder->path()).entryList(QDir::Files, QDir::Name);
}

void RecorderTest::verifyConsistent(const QString &textFile, const QString &videoFile,
                                    Lines *linesOut, RecordingFiles::Video *videoOut)
{
    const auto lines = RecordingFiles::readLines(textFile);
    QVERIFY2(lines, "every line is \"<index> <ms>\"");
    const RecordingFiles::Video video = RecordingFiles::readVideo(videoFile);
    QCOMPARE(lines->size(), video.frameCount);
    for (int i = 0; i < lines->size(); ++i) {
        QCOMPARE(lines->at(i).index, i);
        if (i > 0)
            QVERIFY(lines->at(i).ms >= lines->at(i - 1).ms);
    }
    if (linesOut)
        *linesOut = *lines;
    if (videoOut)
        *videoOut = video;
}

void RecorderTest::verifyLastRecordingConsistent(Lines *lines, RecordingFiles::Video *video)
{
    const QStringList texts = filesInFolder().filter(".txt");
    QVERIFY(!texts.isEmpty());
    const QString base = folder->filePath(texts.last().chopped(4));
    verifyConsistent(base + ".txt", base + ".avi", lines, video);
}

// The recorder's clock reads clockStart when the recording starts, then 100 ms more at each
// reading (a frame's arrival, the time text).
void RecorderTest::useSteppingClock()
{
    configure([](Recorder &r) {
        r.setClock([reading = clockStart - 100ms]() mutable { return reading += 100ms; });
    });
}

// Camera 0 becomes a source that plays script.
void RecorderTest::useScript(const ScriptedSource::Script &script)
{
    configure([script](Recorder &r) {
        r.setSourceFactory([script](int) { return std::make_unique<ScriptedSource>(script); });
    });
}

// Lines and capture times both counted from the first frame.
void RecorderTest::verifyLinesMatchCaptureTimes(const Lines &lines,
                                                const RecordingFiles::Video &video,
                                                double tolerance)
{
    QVERIFY(video.stamps[0]);
    const qint64 firstCapture = video.stamps[0]->deliveryMicroseconds;
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY(video.stamps[i]);
        const double captured = (video.stamps[i]->deliveryMicroseconds - firstCapture) / 1000.0;
        const double stamped = lines[i].ms - lines[0].ms;
        QVERIFY2(
            qAbs(stamped - captured) <= tolerance,
            qPrintable(
                QString("frame %1: line %2 ms, captured %3 ms").arg(i).arg(stamped).arg(captured)));
    }
}

QStringList RecorderTest::times() const
{
    QStringList texts;
    for (const QList<QVariant> &arguments : qAsConst(*timeSpy))
        texts << arguments.at(0).toString();
    return texts;
}

QString RecorderTest::lastText() const
{
    const QStringList texts = filesInFolder().filter(".txt");
    QFile text(folder->filePath(texts.isEmpty() ? QString() : texts.last()));
    return text.open(QIODevice::ReadOnly) ? QString::fromLatin1(text.readAll()) : QString();
}

void RecorderTest::stopBeforeFirstIteration()
{
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    QCOMPARE(filesInFolder().size(), 3);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].index, 0);
    QCOMPARE(video.frameCount, 1);
}

void RecorderTest::twoSecondRecording()
{
    recordFor(Vga30, "00:02", 55);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY2(lines.size() >= 55, qPrintable(QString::number(lines.size())));
    QCOMPARE(video.frameSize, cv::Size(640, 480));
    QCOMPARE(video.fourcc, cv::VideoWriter::fourcc('X', '2', '6', '4'));
    QCOMPARE(video.fps, 30.0);
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY2(video.stamps[i], qPrintable(QString("frame %1 unreadable").arg(i)));
        QCOMPARE(int(video.stamps[i]->index), lines[i].index);
    }
    // The time text once a second, not once a frame.
    const QStringList texts = times();
    QVERIFY(texts.size() >= 3);
    for (int second = 0; second < texts.size(); ++second)
        QCOMPARE(texts[second], QString("00:%1").arg(second, 2, 10, QChar('0')));
}

void RecorderTest::quitWhileRecording()
{
    QStringList events;
    connect(answers, &Answers::recorded, this,
            [&events](bool successful) { events << QString("recorded %1").arg(successful); });
    connect(answers, &Answers::finished, this, [&events] { events << "finished"; });
    record(Vga30);
    QTRY_VERIFY(preview->received >= 3);
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: setting bools true");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    run([](Recorder &r) { r.quit(); });
    QVERIFY(waitForFinished());
    QTRY_COMPARE(events, QStringList({"recorded 1", "finished"}));
    verifyLastRecordingConsistent();
}

void RecorderTest::stopWhileIdleChangesNothing()
{
    stop();
    record(Vga30);
    // Still recording well after the stop that came before it.
    QTRY_VERIFY(preview->received >= 5);
    QCOMPARE(recordedSpy->count(), 0);
    stop();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
}

void RecorderTest::startFailures_data()
{
    QTest::addColumn<int>("camera");
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<bool>("scriptedSink");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("camera does not open")
        << int(Broken) << true << false
        << QStringList{"the video library could not open \"test:bad\"", "Camera open failed"};
    QTest::newRow("video file cannot be opened")
        << int(Vga30) << false << false
        << QStringList{"Video file create failed: No such file or directory",
                       "Video file open failed"};
    QTest::newRow("text file cannot be opened")
        << int(Vga30) << false << true << QStringList{"Output file open failed"};
}

void RecorderTest::startFailures()
{
    QFETCH(int, camera);
    QFETCH(bool, folderExists);
    QFETCH(bool, scriptedSink);
    QFETCH(QStringList, messages);
    const QString missing = folder->filePath("missing");
    if (!folderExists)
        run([missing](Recorder &r) { r.setFolderAddress(missing); });
    if (scriptedSink) {
        // A sink that opens anywhere, so that only the text file fails.
        configure([](Recorder &r) {
            r.setSinkFactory([] {
                return std::make_unique<ScriptedSink>(ScriptedSink::Script{},
                                                      std::make_shared<QVector<int>>());
            });
        });
    }
    for (const QString &message : messages)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    record(camera);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    QVERIFY(filesInFolder().isEmpty());
    QVERIFY(!QFileInfo::exists(missing));

    // Idle again: quit finishes at once, and no recorded() follows.
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    run([](Recorder &r) { r.quit(); });
    QVERIFY(waitForFinished());
    QCOMPARE(recordedSpy->count(), 1);
}

void RecorderTest::cameraStopsDelivering()
{
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    record(FiveFrames);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    QCOMPARE(lines.size(), 5);

    // Its text file was closed: the next recording writes its own lines.
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult(2));
    QCOMPARE(recordedSpy->at(1).at(0).toBool(), true);
    verifyLastRecordingConsistent(&lines);
    QCOMPARE(lines.size(), 1);
}

void RecorderTest::emptyFrameAfterQuitStillFinishes()
{
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: setting bools true");
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    run([](Recorder &r) {
        r.record(Dry);
        r.quit();
    });
    QVERIFY(waitForFinished());
    QCOMPARE(recordedSpy->count(), 1);
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
}

void RecorderTest::folderChangeAffectsNextRecording()
{
    QDir(folder->path()).mkdir("first");
    QDir(folder->path()).mkdir("second");
    const QString first = folder->filePath("first");
    const QString second = folder->filePath("second");
    run([first](Recorder &r) { r.setFolderAddress(first); });
    record(Vga30);
    QTRY_VERIFY(preview->received >= 2);
    run([second](Recorder &r) { r.setFolderAddress(second); });
    stop();
    QVERIFY(waitForResult());
    QCOMPARE(QDir(first).entryList(QDir::Files).size(), 3);
    QCOMPARE(QDir(second).entryList(QDir::Files).size(), 0);
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult(2));
    QCOMPARE(QDir(first).entryList(QDir::Files).size(), 3);
    QCOMPARE(QDir(second).entryList(QDir::Files).size(), 3);
}

// The recorder's own clock times frames that have no capture time: it is read when the
// recording starts, when a frame arrives, and for the time text.
void RecorderTest::linesAndTimeTextFollowTheClock()
{
    ScriptedSource::Script script;
    script.steps.fill({}, 5);
    useScript(script);
    configure([](Recorder &r) {
        r.setClock(
            [reading = MonotonicClock::time_point(-300ms)]() mutable { return reading += 300ms; });
    });
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    record(0);
    QVERIFY(waitForResult());
    QCOMPARE(lastText(), QString("0 300\n1 900\n2 1500\n3 2100\n4 2700\n"));
    QCOMPARE(times(), QStringList({"00:00", "00:01", "00:02", "00:03"}));
}

// Frames captured long before they arrive keep their capture times, counted from the
// recording clock's start.
void RecorderTest::linesCarryCaptureTimes()
{
    ScriptedSource::Script script;
    script.base = clockStart;
    script.steps = {{5, std::nullopt}, {38, std::nullopt}, {72, std::nullopt}};
    useScript(script);
    useSteppingClock();
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    record(0);
    QVERIFY(waitForResult());
    QCOMPARE(lastText(), QString("0 5\n1 38\n2 72\n"));
    QVERIFY(recorder->recordingClockStart() == clockStart);
}

// Events timed elsewhere on the monotonic clock (a press, a beep) can be put beside the lines.
void RecorderTest::recordingClockStartIsAMonotonicReading()
{
    const MonotonicClock::time_point before = MonotonicClock::now();
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult());
    const MonotonicClock::time_point start = recorder->recordingClockStart();
    QVERIFY(start >= before);
    QVERIFY(start <= MonotonicClock::now());
}

void RecorderTest::lossesBeforeTheReadAreCounted_data()
{
    QTest::addColumn<QVector<int>>("sequences");
    QTest::addColumn<QVector<int>>("captures");
    QTest::addColumn<int>("lost");
    QTest::newRow("by sequence numbers") << QVector<int>{0, 1, 4, 5, 9} << QVector<int>{} << 5;
    QTest::newRow("by capture times") << QVector<int>{} << QVector<int>{0, 33, 133, 167} << 2;
    QTest::newRow("none") << QVector<int>{3, 4, 5} << QVector<int>{0, 33, 67} << 0;
}

void RecorderTest::lossesBeforeTheReadAreCounted()
{
    QFETCH(QVector<int>, sequences);
    QFETCH(QVector<int>, captures);
    QFETCH(int, lost);
    ScriptedSource::Script script;
    script.base = clockStart;
    useSteppingClock();
    const int count = qMax(sequences.size(), captures.size());
    for (int i = 0; i < count; ++i) {
        ScriptedSource::Step step;
        if (!sequences.isEmpty())
            step.sequence = std::uint64_t(sequences[i]);
        if (!captures.isEmpty())
            step.captureMilliseconds = captures[i];
        script.steps << step;
    }
    useScript(script);
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    if (lost > 0)
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("frames lost: %1").arg(lost)));
    record(0);
    QVERIFY(waitForResult());
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    // Every frame that came has its line; the lost ones have none.
    QCOMPARE(lines.size(), count);
}

void RecorderTest::fileEndIsASuccess()
{
    ScriptedSource::Script script;
    script.steps.fill({}, 4);
    script.end = FrameSource::Result::Ended;
    script.onDemand = true;
    useScript(script);
    QTest::ignoreMessage(QtDebugMsg, "source ended");
    record(0);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    QCOMPARE(lines.size(), 4);
}

// A stream's backlog: frames held back and delivered six at once. Timed on arrival, each burst
// would share one time; timed by capture, each line is its frame's own time.
void RecorderTest::burstsKeepTheirCaptureTimes()
{
    recordFor(Bursts, "00:02", 60);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 60);
    verifyLinesMatchCaptureTimes(lines, video, 2.0);
}

// A device that says its frame times are monotonic but gives a stream's position instead, as a
// live pipeline does: its frames are timed on arrival, and nothing is lost for it.
void RecorderTest::cameraTimesOfAnotherClock()
{
    configure([](Recorder &r) {
        r.setSourceFactory([](int) {
            CaptureDevice device;
            device.path = "videotestsrc is-live=true ! video/x-raw,width=320,height=240,"
                          "framerate=30/1 ! videoconvert ! appsink";
            device.backend = cv::CAP_GSTREAMER;
            device.monotonicFrameTimes = true;
            return std::make_unique<VideoCaptureSource>(device, "Pipeline camera", std::nullopt);
        });
    });
    QTest::ignoreMessage(QtDebugMsg,
                         "capture times not on the monotonic clock: frames timed on arrival");
    recordFor(0, "00:01", 20);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    // On the recording clock, not at the stream's position: the first frame arrives after the
    // start, and the last one about when the time text said a second had passed.
    QVERIFY(lines.last().ms >= 1000);
}

void RecorderTest::losingCameraCountsEveryLoss()
{
    MessageLog log;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^frames lost: \\d+$"));
    recordFor(Losing, "00:02", 60);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(nullptr, &video);
    QVERIFY(video.frameCount >= 60);
    QVERIFY(video.stamps.first() && video.stamps.last());
    QCOMPARE(int(video.stamps.first()->index), 0);
    // Every index the camera made up to its last frame is in the video or counted as lost.
    const int made = int(video.stamps.last()->index) + 1;
    QCOMPARE(log.all().filter("frames lost"),
             QStringList{QString("frames lost: %1").arg(made - video.frameCount)});
    QVERIFY(made - video.frameCount >= made / 10);
}

// A GStreamer pipeline that drops buffers on the way: each frame keeps its buffer's capture
// time, and every frame period between the first line and the last holds a line or a loss.
void RecorderTest::pipelineDropsAreCounted()
{
#ifndef EYEBLINK_GSTREAMER_PIPELINES
    QSKIP("built without GStreamer: pipelines go to the video library");
#endif
    configure([](Recorder &r) {
        r.setSourceFactory([](int) {
            return CameraSources({}, {"videotestsrc is-live=true ! video/x-raw,width=320,"
                                      "height=240,framerate=60/1 ! identity drop-probability=0.1 "
                                      "! videoconvert ! appsink"})
                .open(0);
        });
    });
    MessageLog log;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^frames lost: \\d+$"));
    recordFor(0, "00:02", 60);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    QVERIFY(lines.size() >= 60);
    const int periods = int(std::lround((lines.last().ms - lines.first().ms) * 60 / 1000.0));
    const int lost = periods + 1 - lines.size();
    QVERIFY2(lost > 0, "one frame in ten is dropped");
    QCOMPARE(log.all().filter("frames lost"), QStringList{QString("frames lost: %1").arg(lost)});
}

// A camera that freezes without ending: the read gives up after its bound, and the stop and
// the quit sent meanwhile are served.
void RecorderTest::stalledCameraEndsWithinTheBound()
{
    QTest::ignoreMessage(QtDebugMsg, "no frame from the source within 2000 ms");
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    QTest::ignoreMessage(QtDebugMsg, "source stuck in a read: left to end with the program");
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    record(Stalling);
    QTRY_COMPARE_WITH_TIMEOUT(preview->received, 10, 15000);
    QElapsedTimer stalled;
    stalled.start();
    stop();
    run([](Recorder &r) { r.quit(); });
    QVERIFY(waitForResult());
    QVERIFY2(stalled.elapsed() >= 1900, qPrintable(QString::number(stalled.elapsed())));
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    QVERIFY(waitForFinished());
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    QCOMPARE(lines.size(), 10);
}

void RecorderTest::grayCameraRecordedEndToEnd()
{
    recordFor(Gray, "00:01", 25);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 25);
    QCOMPARE(video.frameSize, cv::Size(320, 240));
    verifyLinesMatchCaptureTimes(lines, video, 2.0);
}

// A 25 fps clip: played in real time, each line 40 ms after the one before, and its end is the
// recording's.
void RecorderTest::videoFilePlaysAtItsOwnRate()
{
    const QString clip = folder->filePath("clip.avi");
    {
        TestCamera camera(*TestCamera::Settings::parse("test:320x240@0:frames=30"));
        CvVideoSink sink;
        QVERIFY(sink.open(clip.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                          {320, 240}, true));
        cv::Mat frame;
        while (camera.read(frame))
            QVERIFY(sink.write(frame));
        QVERIFY(sink.release());
    }
    QDir(folder->path()).mkdir("out");
    const QString out = folder->filePath("out");
    configure([clip, out](Recorder &r) {
        r.setSourceFactory([clip](int camera) { return CameraSources({}, {clip}).open(camera); });
        r.setFolderAddress(out);
    });
    QTest::ignoreMessage(QtDebugMsg, "source ended");
    QElapsedTimer played;
    played.start();
    record(0);
    QVERIFY(waitForResult());
    QVERIFY2(played.elapsed() >= 29 * 40, qPrintable(QString::number(played.elapsed())));
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    const QStringList texts = QDir(out).entryList({"*.txt"}, QDir::Files);
    QCOMPARE(texts.size(), 1);
    const QString base = QDir(out).filePath(texts.first().chopped(4));
    Lines lines;
    verifyConsistent(base + ".txt", base + ".avi", &lines);
    QCOMPARE(lines.size(), 30);
    for (int i = 1; i < lines.size(); ++i) {
        const qint64 spacing = lines[i].ms - lines[i - 1].ms;
        QVERIFY2(spacing >= 36 && spacing <= 44,
                 qPrintable(QString("line %1: %2 ms after the one before").arg(i).arg(spacing)));
    }
}

void RecorderTest::everyFrameOfAnHdCamera()
{
    recordFor(Hd30, "00:01", 25);
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 25);
    QCOMPARE(video.frameSize, cv::Size(1280, 720));
    for (int i = 0; i < video.frameCount; ++i)
        QCOMPARE(video.stamps[i] ? int(video.stamps[i]->index) : -1, i);
}

// The writer stalls for 100 ms every 20 frames, as the encoder does now and then. A line
// stamped after its frame was written would then come that much late; stamped when the frame
// arrives it is within 5 ms, but for the few lines that a busy machine scheduled late. A busy
// machine may also starve the test camera, which then loses frames before it delivers them:
// those must be counted as lost, and every frame it delivered must be in the video.
void RecorderTest::timesAreTrueThroughWriterStalls()
{
    auto delivered = std::make_shared<WatchedSource::Delivered>();
    configure([delivered](Recorder &r) {
        r.setSourceFactory([delivered](int camera) {
            return WatchedSource::watch(CameraSources({}, cameraTexts).open(camera), delivered);
        });
        r.setSinkFactory([] {
            ScriptedSink::Script script;
            script.stallEvery = 20;
            script.stallMilliseconds = 100;
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                                  std::make_unique<FfmpegVideoSink>());
        });
    });
    MessageLog log;
    recordFor(Vga60, "00:03", 170);
    QVERIFY(waitForResult());
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 170);
    const QVector<int> indices = delivered->indices().mid(0, video.frameCount);
    QCOMPARE(indices.size(), video.frameCount);
    int lostBeforeDelivery = 0;
    for (int i = 1; i < indices.size(); ++i)
        lostBeforeDelivery += indices[i] - indices[i - 1] - 1;
    QCOMPARE(recordedSpy->first().at(0).toBool(), lostBeforeDelivery == 0);
    const QStringList lost = log.all().filter("frames lost");
    QCOMPARE(lost, lostBeforeDelivery == 0
                       ? QStringList()
                       : QStringList{QString("frames lost: %1").arg(lostBeforeDelivery)});
    QVERIFY(video.stamps[0]);
    const qint64 firstDelivery = video.stamps[0]->deliveryMicroseconds;
    int linesLate = 0;
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY(video.stamps[i]);
        QCOMPARE(int(video.stamps[i]->index), indices[i]);
        const double delivered = (video.stamps[i]->deliveryMicroseconds - firstDelivery) / 1000.0;
        const double stamped = lines[i].ms - lines[0].ms;
        QVERIFY2(qAbs(stamped - delivered) <= 30.0,
                 qPrintable(QString("frame %1: line %2 ms, delivered %3 ms")
                                .arg(i)
                                .arg(stamped)
                                .arg(delivered)));
        linesLate += qAbs(stamped - delivered) > 5.0;
    }
    QVERIFY2(
        linesLate <= video.frameCount / 10,
        qPrintable(
            QString("%1 of %2 lines off by more than 5 ms").arg(linesLate).arg(video.frameCount)));
}

// The writer stalls from its first frame for three seconds, then catches up. Two seconds of
// frames wait in its queue, the rest of the stall in the spill file: none is lost, and the video
// holds every frame in the order captured, each with its line.
void RecorderTest::writerThatCannotKeepUp()
{
    QSemaphore gate;
    std::atomic<int> writes{0};
    configure([&gate, &writes](Recorder &r) {
        r.setSinkFactory([&gate, &writes] {
            ScriptedSink::Script script{&gate};
            script.writesCompleted = &writes;
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                                  std::make_unique<CvVideoSink>());
        });
    });
    record(Small60);
    QTRY_VERIFY_WITH_TIMEOUT(!timeSpy->isEmpty() && timeSpy->last().at(0).toString() >= "00:03",
                             30000);
    // No frame is in the file yet, so no frame has its line; the frames beyond the queue wait
    // on disk.
    QCOMPARE(lastText(), QString());
    QCOMPARE(filesInFolder().filter("_spill.raw").size(), 1);
    gate.release();
    QTRY_VERIFY_WITH_TIMEOUT(writes > 120 + 30, 30000);
    stop();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 180);
    verifyEveryFrameInOrder(video);
    const QString base = folder->filePath(filesInFolder().filter(".txt").last().chopped(4));
    const std::optional<RunRecord> record = RunRecord::read(base + ".json");
    QVERIFY(record);
    QVERIFY2(record->framesSpilled > 0, qPrintable(QString::number(record->framesSpilled)));
    QCOMPARE(record->framesLost, 0);
    QCOMPARE(record->spillFile, QFileInfo(base).fileName() + "_spill.raw");
    QCOMPARE(filesInFolder().filter("_spill.raw"), QStringList());
}

// The writer is still stalled when the recording ends: the recorder is saving, tells how far
// it got, and gives its result only once every spilled frame is in the video.
void RecorderTest::savingAfterTheLastFrame()
{
    QSemaphore gate;
    holdWriterAt(gate);
    auto opened = qScopeGuard([&gate] { gate.release(); });
    QSignalSpy saving(answers, &Answers::saving);
    recordFor(Small60, "00:03");
    QVERIFY(saving.wait(20000));
    // Nothing is encoded yet, and there is no result before the video is complete.
    QCOMPARE(saving.first().at(0).toInt(), 0);
    QTest::qWait(200);
    QCOMPARE(recordedSpy->size(), 0);
    // A program killed now leaves the spill file, and the record written at the start names it.
    const QString spillBase = folder->filePath(filesInFolder().filter(".txt").last().chopped(4));
    QVERIFY(QFile::exists(spillBase + "_spill.raw"));
    const std::optional<RunRecord> atStart = RunRecord::read(spillBase + ".json");
    QVERIFY(atStart);
    QCOMPARE(atStart->result, RunRecord::Result::Unfinished);
    QCOMPARE(atStart->spillFile, QFileInfo(spillBase).fileName() + "_spill.raw");
    opened.dismiss();
    gate.release();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    for (int i = 1; i < saving.size(); ++i)
        QVERIFY(saving.at(i).at(0).toInt() >= saving.at(i - 1).at(0).toInt());
    QVERIFY(saving.last().at(0).toInt() <= 100);
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(nullptr, &video);
    QVERIFY(video.frameCount >= 180);
    verifyEveryFrameInOrder(video);
    const QString base = folder->filePath(filesInFolder().filter(".txt").last().chopped(4));
    const std::optional<RunRecord> record = RunRecord::read(base + ".json");
    QVERIFY(record);
    QVERIFY(record->framesSpilled >= video.frameCount - 120);
    QVERIFY2(record->savingMs >= 200, qPrintable(QString::number(record->savingMs)));
    QCOMPARE(filesInFolder().filter("_spill.raw"), QStringList());
}

// The program is asked to end while the recorder is saving: it ends once the video is
// complete, with the recording's result first.
void RecorderTest::quitWaitsForTheSaving()
{
    QSemaphore gate;
    holdWriterAt(gate);
    auto opened = qScopeGuard([&gate] { gate.release(); });
    QSignalSpy saving(answers, &Answers::saving);
    record(Small60);
    QTRY_VERIFY_WITH_TIMEOUT(!timeSpy->isEmpty() && timeSpy->last().at(0).toString() >= "00:03",
                             30000);
    run([](Recorder &r) { r.quit(); });
    QVERIFY(saving.wait(20000));
    QTest::qWait(200);
    QCOMPARE(finishedSpy->size(), 0);
    QCOMPARE(recordedSpy->size(), 0);
    opened.dismiss();
    gate.release();
    QVERIFY(waitForFinished());
    QCOMPARE(recordedSpy->size(), 1);
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(nullptr, &video);
    verifyEveryFrameInOrder(video);
}

// Every frame the camera gave, one after the other, by the indices stamped in their pixels.
void RecorderTest::verifyEveryFrameInOrder(const RecordingFiles::Video &video)
{
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY2(video.stamps[i] && video.stamps[i]->index == std::uint32_t(i),
                 qPrintable(QString("frame %1 holds %2")
                                .arg(i)
                                .arg(video.stamps[i] ? qint64(video.stamps[i]->index) : -1)));
    }
}

void RecorderTest::writeFailures_data()
{
    QTest::addColumn<int>("firstFailingWrite");
    QTest::addColumn<bool>("releaseSucceeds");
    QTest::addColumn<QString>("message");
    QTest::newRow("a frame cannot be written") << 5 << true << "Video file write failed";
    QTest::newRow("the video file cannot be completed") << -1 << false << "Video file close failed";
}

// Each failure is told once, by the sink that saw it; the text file tells of the frames the
// video holds, and no more.
void RecorderTest::writeFailures()
{
    QFETCH(int, firstFailingWrite);
    QFETCH(bool, releaseSucceeds);
    QFETCH(QString, message);
    ScriptedSink::Script script;
    script.firstFailingWrite = firstFailingWrite;
    script.releaseSucceeds = releaseSucceeds;
    configure([script](Recorder &r) {
        r.setSinkFactory([script] {
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                                  std::make_unique<CvVideoSink>());
        });
    });
    MessageLog log;
    record(Vga30);
    QTRY_VERIFY(preview->received >= 10 || !recordedSpy->isEmpty());
    stop();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->count(), 1);
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    QCOMPARE(log.all().filter("Video file"), QStringList{message});
    // What was written is kept: a line for each frame that reached the file.
    QCOMPARE(filesInFolder().size(), 3);
    Lines lines;
    verifyLastRecordingConsistent(&lines);
    if (firstFailingWrite >= 0)
        QCOMPARE(lines.size(), firstFailingWrite);
    else
        QVERIFY(lines.size() >= 10);
}

void RecorderTest::textWriteFailure()
{
#ifdef Q_OS_UNIX
    // A file size limit stands in for a full disk: the text file fails after a few lines.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 64;
    configure([](Recorder &r) {
        r.setSinkFactory([] {
            return std::make_unique<ScriptedSink>(ScriptedSink::Script{},
                                                  std::make_shared<QVector<int>>());
        });
    });
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    QTest::ignoreMessage(QtDebugMsg, "Output file write failed");
    record(Vga60);
    const bool answered = waitForResult();
    setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY(answered);
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
#else
    QSKIP("needs a file size limit");
#endif
}

void RecorderTest::previewFramesStayValidAndBounded()
{
    preview->holding = true;
    record(Vga30);
    QTRY_COMPARE(preview->held.size(), 2);
    // More frames are recorded meanwhile, but none more is lent while two are out.
    QTRY_VERIFY(!timeSpy->isEmpty() && timeSpy->last().at(0).toString() == "00:01");
    stop();
    QVERIFY(waitForResult());
    QCoreApplication::processEvents();
    QCOMPARE(preview->received, 2);
    // Still intact after the recording and its camera are gone.
    for (int i = 0; i < 2; ++i) {
        const IplImage *image = preview->held[i];
        const cv::Mat pixels(image->height, image->width, CV_8UC3, image->imageData,
                             std::size_t(image->widthStep));
        const auto stamp = FramePattern::read(pixels);
        QVERIFY(stamp);
        QCOMPARE(int(stamp->index), i);
    }
    for (IplImage *image : qAsConst(preview->held))
        PreviewFrame::giveBack(image);
    preview->held.clear();
    preview->holding = false;
    record(Vga30);
    QTRY_VERIFY(preview->received >= 10);
    stop();
    QVERIFY(waitForResult(2));
}

void RecorderTest::recordWhileBusy_data()
{
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("while ending") << true;
    QTest::newRow("while recording") << false;
}

void RecorderTest::recordWhileBusy()
{
    QFETCH(bool, stopFirst);
    // Both in the same second: the second recording must not overwrite the first.
    configure([](Recorder &r) { r.setNow([] { return std::time_t(1'800'000'000); }); });
    run([stopFirst](Recorder &r) {
        r.record(Vga30);
        if (stopFirst)
            r.stop();
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult());
    QTRY_VERIFY(preview->received >= 5);
    QCOMPARE(recordedSpy->count(), 1);
    stop();
    QVERIFY(waitForResult(2));
    QCOMPARE(recordedSpy->at(0).at(0).toBool(), true);
    QCOMPARE(recordedSpy->at(1).at(0).toBool(), true);
    const QStringList files = filesInFolder();
    QCOMPARE(files.size(), 6);
    const QString base = folder->filePath(files.first().chopped(4));
    Lines lines;
    verifyConsistent(base + ".txt", base + ".avi", &lines);
    QCOMPARE(lines.size(), 1);
    verifyConsistent(base + "_2.txt", base + "_2.avi", &lines);
    QVERIFY(lines.size() >= 3);
}

void RecorderTest::quitAnswersWaitingRecords()
{
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: setting bools true");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
        r.record(Vga30);
        r.quit();
    });
    QVERIFY(waitForFinished());
    QTRY_COMPARE(recordedSpy->count(), 2);
    QCOMPARE(recordedSpy->at(0).at(0).toBool(), true);
    QCOMPARE(recordedSpy->at(1).at(0).toBool(), false);
    QCOMPARE(filesInFolder().size(), 3);
}

QTEST_GUILESS_MAIN(RecorderTest)
#include "tst_Recorder.moc"
