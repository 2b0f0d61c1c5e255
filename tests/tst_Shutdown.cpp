#include "app/KIVOApplication.h"
#include "app/PlatformCameras.h"
#include "capture/CameraSources.h"
#include "encode/EncoderChoice.h"
#include "engine/Recorder.h"
#include "tests/support/MessageLog.h"
#include "tests/support/ProgramArguments.h"
#include "tests/support/RecordingCheck.h"
#include "tests/support/WatchedSource.h"
#include "ui/MainWindow.h"

#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

namespace {

const QStringList threadStillRunning = {"thread still runnning, terminating", "thread terminated",
                                        "thread deleted"};
const QStringList idleRecorderEnds = {"BD: quit", "BD: finish emitted", "BD: destructor"};
// Listed after the platform's cameras: one that runs until stopped, one that stops delivering.
const QStringList sourceTexts = {"test:320x240@30", "test:320x240@30:frames=3"};

// The writer says once, with a recording's first frame, how it encodes the camera's frames:
// from the table, since nothing was measured yet when the program started.
QString encodingLine()
{
    return "Video encoding: " +
           EncoderChoice::forCamera({320, 240}, 30, false, QThread::idealThreadCount()).reason +
           " (from the table: not measured on this machine yet)";
}

// The worker thread's messages. After a recording the encoder's speeds are measured in a
// thread of their own, which the program's end interrupts wherever it is: whether that
// thread said it measured them depends on the machine's speed.
QStringList workerMessages(const MessageLog &log)
{
    QStringList messages = log.ofOtherThreads();
    messages.erase(std::remove_if(messages.begin(), messages.end(),
                                  [](const QString &message) {
                                      return message.startsWith("Encoder speeds measured for");
                                  }),
                   messages.end());
    return messages;
}
const QStringList sources = {"--source", sourceTexts[0], "--source", sourceTexts[1]};

// The main thread's messages from the close to the end: the thread messages appear only when
// the worker thread still ran as the application object went, which the test cannot choose.
QStringList expectedMainThread(const QStringList &written)
{
    QStringList expected = {"MW:finish emitted", "Kivo app destructor"};
    if (written.contains(threadStillRunning.first()))
        expected += threadStillRunning;
    return expected << "MW: destructor";
}

// The recorder's signals in the order it sent them, noted in its own thread.
class Emissions
{
public:
    void note(const QString &emission)
    {
        QMutexLocker locker(&mutex);
        noted << emission;
    }
    QStringList list() const
    {
        QMutexLocker locker(&mutex);
        return noted;
    }

private:
    mutable QMutex mutex;
    QStringList noted;
};

enum class Before { Nothing, CameraMissing, CameraStopped, Recording };

// How the program is asked to end: its window is closed, or the system sends a signal.
constexpr int windowClosed = 0;

} // namespace

Q_DECLARE_METATYPE(Before)

class ShutdownTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closingEndsEverythingInOrder_data();
    void closingEndsEverythingInOrder();
    void destructorTakesTheThreadDownOnlyWhileItRuns_data();
    void destructorTakesTheThreadDownOnlyWhileItRuns();
    void destructorWaitsForAThreadThatIsEnding();
    void signalAfterTheCloseChangesNothing();

private:
    void bringAbout(Before before);
    void askToEnd(int how);

    std::unique_ptr<QTemporaryDir> folder;
    // The application object keeps a reference to its argument count.
    std::unique_ptr<ProgramArguments> arguments;
    std::unique_ptr<KIVOApplication> app;
    std::unique_ptr<Emissions> emissions;
    std::atomic<int> timesSent{0};
    std::shared_ptr<WatchedSource::Delivered> delivered;
};

void ShutdownTest::initTestCase()
{
    qRegisterMetaType<IplImage *>("IplImage*");
    // Started in the background by a shell, a program ignores SIGINT, and the application
    // would keep it ignored.
#ifdef Q_OS_UNIX
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, SIG_DFL);
#endif
}

void ShutdownTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    arguments = std::make_unique<ProgramArguments>(sources);
    app = std::make_unique<KIVOApplication>(arguments->count, arguments->values());
    emissions = std::make_unique<Emissions>();
    Emissions *noted = emissions.get();
    Recorder *recorder = app->recorder;
    connect(
        recorder, &Recorder::recorded, recorder,
        [noted](bool successful) {
            noted->note(successful ? "recorded(true)" : "recorded(false)");
        },
        Qt::DirectConnection);
    connect(
        recorder, &Recorder::finished, recorder, [noted] { noted->note("finished()"); },
        Qt::DirectConnection);
    timesSent = 0;
    connect(
        recorder, &Recorder::timeChanged, recorder, [this] { ++timesSent; }, Qt::DirectConnection);
    // The same cameras, watched: on a busy machine the test camera may lose frames before it
    // hands them over, as a real one does, and the recording can only keep what it was given.
    delivered = std::make_shared<WatchedSource::Delivered>();
    const CameraSources cameras(PlatformCameras::available(), sourceTexts);
    QMetaObject::invokeMethod(
        recorder,
        [recorder, cameras, watched = delivered] {
            recorder->setSourceFactory([cameras, watched](int camID) {
                return WatchedSource::watch(cameras.open(camID), watched);
            });
        },
        Qt::BlockingQueuedConnection);
}

void ShutdownTest::cleanup()
{
    app.reset();
    arguments.reset();
    emissions.reset();
    folder.reset();
}

void ShutdownTest::bringAbout(Before before)
{
    if (before == Before::Nothing)
        return;
    const int platformCameras = PlatformCameras::available().size();
    const int camera = before == Before::CameraMissing   ? platformCameras + 2
                       : before == Before::CameraStopped ? platformCameras + 1
                                                         : platformCameras;
    emit app->mainWindow->workingDirectoryChanged(folder->path());
    emit app->mainWindow->startRecording(camera);
    if (before == Before::Recording)
        QTRY_VERIFY(timesSent >= 2); // 00:00, then 00:01: a second of frames
    else
        QTRY_COMPARE(emissions->list(), QStringList{"recorded(false)"});
}

// A signal from the system is raised in this thread; the application serves it in its event
// loop.
void ShutdownTest::askToEnd(int how)
{
    if (how == windowClosed)
        app->mainWindow->close();
    else
        std::raise(how);
}

void ShutdownTest::closingEndsEverythingInOrder_data()
{
    QTest::addColumn<Before>("before");
    QTest::addColumn<int>("ending");
    QTest::addColumn<QStringList>("workerThread");
    QTest::addColumn<QStringList>("recorderSent");

    const QString encoding = encodingLine();
    const QStringList recordingEnds = {encoding, "BD: quit", "BD: setting bools true",
                                       "BD: finish emitted", "BD: destructor"};
    const QStringList recordingSent = {"recorded(true)", "finished()"};
    QTest::newRow("idle") << Before::Nothing << windowClosed << idleRecorderEnds
                          << QStringList{"finished()"};
    QTest::newRow("after the camera failed to open")
        << Before::CameraMissing << windowClosed
        << (QStringList{QString("camera %1 is not in the list")
                            .arg(PlatformCameras::available().size() + 2),
                        "Camera open failed"} +
            idleRecorderEnds)
        << QStringList{"recorded(false)", "finished()"};
    QTest::newRow("after the camera stopped delivering")
        << Before::CameraStopped << windowClosed
        << (QStringList{encoding, "capture error"} + idleRecorderEnds)
        << QStringList{"recorded(false)", "finished()"};
    QTest::newRow("while recording")
        << Before::Recording << windowClosed << recordingEnds << recordingSent;
#ifdef Q_OS_UNIX
    QTest::newRow("SIGTERM while idle")
        << Before::Nothing << SIGTERM << idleRecorderEnds << QStringList{"finished()"};
    QTest::newRow("SIGTERM while recording")
        << Before::Recording << SIGTERM << recordingEnds << recordingSent;
    QTest::newRow("SIGINT while recording")
        << Before::Recording << SIGINT << recordingEnds << recordingSent;
    QTest::newRow("SIGHUP while recording")
        << Before::Recording << SIGHUP << recordingEnds << recordingSent;
#endif
}

void ShutdownTest::closingEndsEverythingInOrder()
{
    QFETCH(Before, before);
    QFETCH(int, ending);
    QFETCH(QStringList, workerThread);
    QFETCH(QStringList, recorderSent);

    MessageLog log;
    bringAbout(before);
    askToEnd(ending);
    QCOMPARE(app->exec(), 0);
    QVERIFY(app->mainWindow->isHidden());
    app.reset();

    const QStringList mainThread = log.ofThisThread();
    QCOMPARE(mainThread, expectedMainThread(mainThread));
    QCOMPARE(workerMessages(log), workerThread);
    QCOMPARE(emissions->list(), recorderSent);
    if (before == Before::Recording)
        RecordingCheck::verifyDeliveredFramesKept(folder->path(), delivered->indices());
}

void ShutdownTest::destructorTakesTheThreadDownOnlyWhileItRuns_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("threadDeleted");
    QTest::addColumn<QStringList>("mainThread");
    QTest::addColumn<QStringList>("workerThread");

    // Without a close the recorder never finishes: its thread still runs, and the recorder
    // is left to the application object.
    QTest::newRow("never closed: thread still runs")
        << false << false
        << (QStringList{"Kivo app destructor"} + threadStillRunning +
            QStringList{"BD: destructor", "MW: destructor"})
        << QStringList();
    QTest::newRow("thread ended") << true << false
                                  << QStringList{"MW:finish emitted", "Kivo app destructor",
                                                 "MW: destructor"}
                                  << idleRecorderEnds;
    QTest::newRow("thread deleted by its own finished()")
        << true << true << QStringList{"MW:finish emitted", "Kivo app destructor", "MW: destructor"}
        << idleRecorderEnds;
}

void ShutdownTest::destructorTakesTheThreadDownOnlyWhileItRuns()
{
    QFETCH(bool, closed);
    QFETCH(bool, threadDeleted);
    QFETCH(QStringList, mainThread);
    QFETCH(QStringList, workerThread);

    MessageLog log;
    QPointer<QThread> thread = app->workerThread;
    if (closed) {
        app->mainWindow->close();
        QCOMPARE(app->exec(), 0);
        // Waits without an event loop, so the thread's request to delete itself stays queued
        // (unless it was already served before the loop ended).
        QVERIFY(!thread || thread->wait(10000));
    }
    if (threadDeleted)
        QTRY_VERIFY(thread.isNull());
    app.reset();

    QCOMPARE(log.ofThisThread(), mainThread);
    QCOMPARE(workerMessages(log), workerThread);
}

void ShutdownTest::destructorWaitsForAThreadThatIsEnding()
{
    // An ending thread no longer counts as running while it still deletes its objects; hold
    // it there while the application object goes.
    QSemaphore ending;
    std::atomic<bool> ended{false};
    connect(
        app->workerThread, &QThread::finished, app->workerThread,
        [&] {
            ending.release();
            QThread::msleep(300);
            ended = true;
        },
        Qt::DirectConnection);
    bool threadEndedBeforeWindow = false;
    connect(
        app->mainWindow, &QObject::destroyed, this, [&] { threadEndedBeforeWindow = ended; },
        Qt::DirectConnection);

    MessageLog log;
    app->mainWindow->close();
    QCOMPARE(app->exec(), 0);
    QVERIFY(ending.tryAcquire(1, 10000));
    app.reset();

    QVERIFY(threadEndedBeforeWindow);
    const QStringList mainThread = log.ofThisThread();
    QCOMPARE(mainThread, expectedMainThread(mainThread));
    QCOMPARE(workerMessages(log), idleRecorderEnds);
}

// The program already ends: the request must not start the chain a second time.
void ShutdownTest::signalAfterTheCloseChangesNothing()
{
#ifdef Q_OS_UNIX
    MessageLog log;
    bringAbout(Before::Recording);
    app->mainWindow->close();
    std::raise(SIGTERM);
    QCOMPARE(app->exec(), 0);
    app.reset();

    const QStringList mainThread = log.ofThisThread();
    QCOMPARE(mainThread, expectedMainThread(mainThread));
    QCOMPARE(workerMessages(log), (QStringList{encodingLine(), "BD: quit", "BD: setting bools true",
                                               "BD: finish emitted", "BD: destructor"}));
    QCOMPARE(emissions->list(), (QStringList{"recorded(true)", "finished()"}));
#else
    QSKIP("no signals on this platform");
#endif
}

QTEST_APPLESS_MAIN(ShutdownTest)
#include "tst_Shutdown.moc"
