#include "app/KIVOApplication.h"
#include "app/PlatformCameras.h"
#include "capture/CameraSources.h"
#include "capture/TestCamera.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "tests/support/RecordingCheck.h"
#include "tests/support/ScriptedSink.h"
#include "tests/support/WatchedSource.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace {

// Resident memory of this process in kB, as the kernel counts it; -1 where it does not tell.
qint64 residentKilobytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

constexpr qint64 frameKilobytes = 640 * 480 * 3 / 1024;

// The level that memory holds over a stretch of time: frames that wait a moment for a stalling
// encoder come and go, frames that pile up stay.
qint64 median(QVector<qint64> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.isEmpty() ? -1 : samples.at(samples.size() / 2);
}

// Makes every call delivered to the window take 10 ms, so that the window draws fewer frames
// per second than the camera makes.
class SlowWindow : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall)
            QThread::msleep(10);
        return false;
    }
};

} // namespace

class LivePreviewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<IplImage *>("IplImage*"); }
    void fastCameraWithPreview();
};

// The window draws the frames it is lent in the GUI thread, here slower than a 120 fps camera
// delivers them: the recording must still keep every frame, the window must keep drawing, and
// the frames it has not drawn yet must not pile up in memory. Frames that the recording holds
// are counted apart: on a busy machine the encoder falls behind for a while, and the camera's
// own queue fills while the recorder waits, each within its bound. The text file cannot tell
// them, as its lines wait until their frames are in the video file.
void LivePreviewTest::fastCameraWithPreview()
{
    if (residentKilobytes() < 0)
        QSKIP("this platform does not report resident memory");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    char program[] = "eyeblink-recorder";
    char option[] = "--source";
    char source[] = "test:640x480@120";
    char *argv[] = {program, option, source, nullptr};
    int argc = 3;
    KIVOApplication app(argc, argv);
    MainWindow *window = app.mainWindow;
    Recorder *recorder = app.recorder;

    QWidget *preview = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->windowTitle() == "Camera output")
            preview = widget;
    QVERIFY(preview);
    window->findChild<QCheckBox *>("checkbox_showVideo")->setChecked(true);
    preview->show();
    SlowWindow slowWindow;
    window->installEventFilter(&slowWindow);

    // On a busy machine the test camera may lose frames before it hands them over, as a
    // real one does; the recording can only keep those it was given.
    const auto delivered = std::make_shared<WatchedSource::Delivered>();
    const CameraSources cameras(PlatformCameras::available(), {source});
    recorder->setSourceFactory([cameras, delivered](int camID) {
        return WatchedSource::watch(cameras.open(camID), delivered);
    });
    std::atomic<int> encoded{0};
    recorder->setSinkFactory([&encoded] {
        ScriptedSink::Script script;
        script.writesCompleted = &encoded;
        return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>(),
                                              std::make_unique<FfmpegVideoSink>());
    });
    std::atomic<int> lent{0};
    connect(
        recorder, &Recorder::frameAvailable, recorder, [&lent] { ++lent; }, Qt::DirectConnection);
    QList<bool> results;
    connect(recorder, &Recorder::recorded, this,
            [&results](bool successful) { results << successful; });
    emit window->workingDirectoryChanged(folder.path());
    emit window->startRecording(PlatformCameras::available().size());

    QElapsedTimer clock;
    clock.start();
    QVector<qint64> secondSecond, lastSecond;
    int mostHeldByRecording = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        const qint64 elapsed = clock.elapsed();
        mostHeldByRecording =
            std::max(mostHeldByRecording, int(delivered->indices().size()) - encoded);
        if (elapsed >= 1000 && elapsed < 2000)
            secondSecond << residentKilobytes();
        else if (elapsed >= 4000)
            lastSecond << residentKilobytes();
    });
    sampler.start(50);
    QTest::qWait(5000);
    sampler.stop();
    emit window->stopRecording();
    QTRY_COMPARE_WITH_TIMEOUT(results, QList<bool>{true}, 20000);
    QVERIFY(!preview->findChild<QLabel *>()->pixmap(Qt::ReturnByValue).isNull());

    RecordingCheck::verifyDeliveredFramesKept(folder.path(), delivered->indices());
    const int frames = delivered->indices().size();
    const qint64 afterFirstSecond = median(secondSecond);
    const qint64 atTheEnd = median(lastSecond);
    qInfo("%d frames recorded, %d lent to the window, at most %d delivered but not yet encoded; "
          "resident memory %lld kB in the second second, %lld kB in the fifth (%+lld kB; one "
          "frame is %lld kB)",
          frames, lent.load(), mostHeldByRecording, afterFirstSecond, atTheEnd,
          atTheEnd - afterFirstSecond, frameKilobytes);
    QVERIFY2(lent >= 100, "the window stopped drawing");
    // Frames the window has not drawn would pile up by more than a hundred in these seconds.
    const int cameraQueue = TestCamera::queueLength(*TestCamera::Settings::parse(source));
    QVERIFY(atTheEnd - afterFirstSecond <=
            (5 + cameraQueue + mostHeldByRecording) * frameKilobytes);

    window->close();
    QCOMPARE(app.exec(), 0);
}

QTEST_APPLESS_MAIN(LivePreviewTest)
#include "tst_LivePreview.moc"
