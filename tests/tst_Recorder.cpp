#include "CameraSources.h"
#include "CvVideoSink.h"
#include "FfmpegVideoSink.h"
#include "FrameSource.h"
#include "PreviewFrame.h"
#include "Recorder.h"
#include "RecordingFiles.h"
#include "ScriptedSink.h"

#include <QDir>
#include <QRegularExpression>
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

#include <functional>
#include <limits>

using Lines = QVector<RecordingFiles::Line>;

// Source texts by camera number, as the command line would give them.
enum Camera { Vga30, Vga60, Hd30, FiveFrames, Small60, Broken, Dry };
static const QStringList cameraTexts = {
    "test:640x480@30", "test:640x480@60", "test:1280x720@30",        "test:320x240@30:frames=5",
    "test:320x240@60", "test:bad",        "test:320x240@30:frames=0"};

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
    void everyFrameOfAnHdCamera();
    void timesAreTrueThroughWriterStalls();
    void writerThatCannotKeepUp();
    void writeFailures_data();
    void writeFailures();
    void textWriteFailure();
    void previewFramesStayValidAndBounded();
    void recordWhileBusy_data();
    void recordWhileBusy();
    void quitAnswersWaitingRecords();

private:
    void configure(const std::function<void(Recorder &)> &change);
    void run(const std::function<void(Recorder &)> &action);
    void record(int camera)
    {
        run([camera](Recorder &r) { r.record(camera); });
    }
    void stop()
    {
        run([](Recorder &r) { r.stop(); });
    }
    void recordFor(int camera, const QString &untilTime);
    bool waitForResult(int count = 1);
    bool waitForFinished();
    QStringList filesInFolder() const;
    static void verifyConsistent(const QString &textFile, const QString &videoFile,
                                 Lines *linesOut = nullptr,
                                 RecordingFiles::Video *videoOut = nullptr);
    void verifyLastRecordingConsistent(Lines *lines = nullptr,
                                       RecordingFiles::Video *video = nullptr);

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

// Runs calls in the recorder's thread as one event, so that no iteration comes between them.
void RecorderTest::run(const std::function<void(Recorder &)> &action)
{
    Recorder *target = recorder;
    QMetaObject::invokeMethod(
        recorder, [target, action] { action(*target); }, Qt::QueuedConnection);
}

void RecorderTest::recordFor(int camera, const QString &untilTime)
{
    record(camera);
    QTRY_VERIFY_WITH_TIMEOUT(!timeSpy->isEmpty() && timeSpy->last().at(0).toString() == untilTime,
                             15000);
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
            QVERIFY(lines->at(i).milliseconds >= lines->at(i - 1).milliseconds);
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

void RecorderTest::stopBeforeFirstIteration()
{
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    QCOMPARE(filesInFolder().size(), 2);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].index, 0);
    QCOMPARE(video.frameCount, 1);
}

void RecorderTest::twoSecondRecording()
{
    recordFor(Vga30, "00:02");
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
    QStringList times;
    for (const QList<QVariant> &arguments : qAsConst(*timeSpy))
        times << arguments.at(0).toString();
    QCOMPARE(times.mid(0, 3), QStringList({"00:00", "00:01", "00:02"}));
    QVERIFY(times.size() <= 4);
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
        << int(Broken) << true << false << QStringList{"Camera open failed"};
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
    QCOMPARE(QDir(first).entryList(QDir::Files).size(), 2);
    QCOMPARE(QDir(second).entryList(QDir::Files).size(), 0);
    run([](Recorder &r) {
        r.record(Vga30);
        r.stop();
    });
    QVERIFY(waitForResult(2));
    QCOMPARE(QDir(first).entryList(QDir::Files).size(), 2);
    QCOMPARE(QDir(second).entryList(QDir::Files).size(), 2);
}

void RecorderTest::linesAndTimeTextFollowTheClock()
{
    // Read twice a frame: when the frame arrives, and for the time text.
    configure([](Recorder &r) {
        r.setClock([reading = qint64(-300)]() mutable { return reading += 300; });
    });
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    record(FiveFrames);
    QVERIFY(waitForResult());
    QFile text(folder->filePath(filesInFolder().filter(".txt").first()));
    QVERIFY(text.open(QIODevice::ReadOnly));
    QCOMPARE(text.readAll(), QByteArray("0 0\n1 600\n2 1200\n3 1800\n4 2400\n"));
    QStringList times;
    for (const QList<QVariant> &arguments : qAsConst(*timeSpy))
        times << arguments.at(0).toString();
    QCOMPARE(times, QStringList({"00:00", "00:01", "00:02"}));
}

void RecorderTest::everyFrameOfAnHdCamera()
{
    recordFor(Hd30, "00:01");
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
// arrives it is within 5 ms, but for the few lines that a busy machine scheduled late.
void RecorderTest::timesAreTrueThroughWriterStalls()
{
    configure([](Recorder &r) {
        r.setSinkFactory([] {
            ScriptedSink::Script script;
            script.stallEvery = 20;
            script.stallMilliseconds = 100;
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                                  std::make_unique<FfmpegVideoSink>());
        });
    });
    recordFor(Vga60, "00:03");
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), true);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    QVERIFY(video.frameCount >= 170);
    QVERIFY(video.stamps[0]);
    const qint64 firstDelivery = video.stamps[0]->deliveryMicroseconds;
    int linesLate = 0;
    for (int i = 0; i < video.frameCount; ++i) {
        QVERIFY(video.stamps[i]);
        QCOMPARE(int(video.stamps[i]->index), int(video.stamps[0]->index) + i);
        const double delivered = (video.stamps[i]->deliveryMicroseconds - firstDelivery) / 1000.0;
        const double stamped = lines[i].milliseconds - lines[0].milliseconds;
        QVERIFY2(qAbs(stamped - delivered) <= 30.0,
                 qPrintable(QString("frame %1: line %2 ms, delivered %3 ms")
                                .arg(i)
                                .arg(stamped)
                                .arg(delivered)));
        linesLate += qAbs(stamped - delivered) > 5.0;
    }
    QVERIFY2(linesLate <= video.frameCount / 10,
             qPrintable(QString("%1 of %2 lines off by more than 5 ms")
                            .arg(linesLate)
                            .arg(video.frameCount)));
}

void RecorderTest::writerThatCannotKeepUp()
{
    // The writer stalls from its first frame until the recording is asked to stop.
    QSemaphore gate;
    configure([&gate](Recorder &r) {
        r.setSinkFactory([&gate] {
            return std::make_unique<ScriptedSink>(ScriptedSink::Script{&gate},
                                                  std::make_shared<QVector<int>>(),
                                                  std::make_unique<CvVideoSink>());
        });
    });
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^frames lost: [1-9]\\d*$"));
    recordFor(Small60, "00:03");
    gate.release();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    Lines lines;
    RecordingFiles::Video video;
    verifyLastRecordingConsistent(&lines, &video);
    // Two seconds of frames waited; the rest of the stall was lost, and shows as a gap.
    QVERIFY(video.frameCount >= 120);
    QVERIFY(video.stamps.last());
    const int camerasFrames = int(video.stamps.last()->index) + 1;
    QVERIFY2(camerasFrames - video.frameCount >= 30,
             qPrintable(QString("%1 of %2").arg(video.frameCount).arg(camerasFrames)));
}

void RecorderTest::writeFailures_data()
{
    QTest::addColumn<int>("firstFailingWrite");
    QTest::addColumn<bool>("releaseSucceeds");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("message");
    QTest::newRow("a frame cannot be written") << 5 << true << false << "Video file write failed";
    QTest::newRow("the video file cannot be completed")
        << -1 << false << false << "Video file write failed";
    QTest::newRow("the volume is nearly full") << -1 << true << true << "Disk space low";
}

void RecorderTest::writeFailures()
{
    QFETCH(int, firstFailingWrite);
    QFETCH(bool, releaseSucceeds);
    QFETCH(bool, diskFull);
    QFETCH(QString, message);
    ScriptedSink::Script script;
    script.firstFailingWrite = firstFailingWrite;
    script.releaseSucceeds = releaseSucceeds;
    configure([script, diskFull](Recorder &r) {
        r.setSinkFactory([script] {
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                                  std::make_unique<CvVideoSink>());
        });
        if (diskFull)
            r.setMinimumFreeSpace(std::numeric_limits<qint64>::max());
    });
    QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    record(Vga30);
    QTRY_VERIFY(preview->received >= 10 || !recordedSpy->isEmpty());
    stop();
    QVERIFY(waitForResult());
    QCOMPARE(recordedSpy->count(), 1);
    QCOMPARE(recordedSpy->first().at(0).toBool(), false);
    // What was written is kept.
    QCOMPARE(filesInFolder().size(), 2);
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
    QCOMPARE(files.size(), 4);
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
    QCOMPARE(filesInFolder().size(), 2);
}

QTEST_GUILESS_MAIN(RecorderTest)
#include "tst_Recorder.moc"
