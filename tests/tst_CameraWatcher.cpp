#include "capture/BlinkingEye.h"
#include "capture/CameraSources.h"
#include "engine/CameraWatcher.h"
#include "tests/support/EyeMeasurement.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

// Counts the cameras opened and released through it, so that a test can tell that watching
// gives its camera back.
struct CameraCount
{
    std::atomic<int> opened{0};
    std::atomic<int> released{0};
};

class CountedSource : public FrameSource
{
public:
    CountedSource(std::unique_ptr<FrameSource> source, std::shared_ptr<CameraCount> count)
        : source(std::move(source)), count(std::move(count))
    {
        ++this->count->opened;
    }
    bool isOpened() const override { return source->isOpened(); }
    Result readFrame(Frame &frame) override { return source->readFrame(frame); }
    void release() override
    {
        if (!releasedOnce) {
            releasedOnce = true;
            ++count->released;
        }
        source->release();
    }
    cv::Size frameSize() override { return source->frameSize(); }
    double frameRate() const override { return source->frameRate(); }
    bool deliversOnDemand() const override { return source->deliversOnDemand(); }
    Description description() const override { return source->description(); }

private:
    std::unique_ptr<FrameSource> source;
    std::shared_ptr<CameraCount> count;
    bool releasedOnce = false;
};

QRect toQRect(const cv::Rect &box)
{
    return {box.x, box.y, box.width, box.height};
}

} // namespace

class CameraWatcherTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<IplImage *>("IplImage*"); }
    void init();
    void cleanup();

    void lendsFramesOnlyWhileWatching();
    void keepsAtMostTwoFramesLent();
    void closureFollowsTheBlinks_data();
    void closureFollowsTheBlinks();
    void closuresThinnedOnAFastCamera();
    void cameraThatFailsEndsWatching_data();
    void cameraThatFailsEndsWatching();

private:
    // Watches `source` (a --source text); frames are given back as soon as they arrive unless
    // the test keeps them.
    void startWatcher(const QString &source);
    void giveBackArrivingFrames();

    std::unique_ptr<QTemporaryDir> workingDirectory;
    QString previousDirectory;
    std::shared_ptr<CameraCount> count;
    QThread *thread = nullptr;
    CameraWatcher *watcher = nullptr;
};

void CameraWatcherTest::init()
{
    // Anything the watcher wrote would land here.
    workingDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workingDirectory->isValid());
    previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingDirectory->path()));
    count = std::make_shared<CameraCount>();
    thread = new QThread;
    watcher = new CameraWatcher;
}

void CameraWatcherTest::cleanup()
{
    CameraWatcher *doomed = watcher;
    QMetaObject::invokeMethod(
        watcher, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
    QCOMPARE(count->released.load(), count->opened.load());
    QVERIFY(QDir::setCurrent(previousDirectory));
}

void CameraWatcherTest::startWatcher(const QString &source)
{
    const CameraSources cameras({}, {source});
    watcher->setSourceFactory([cameras, count = count](int camID) -> std::unique_ptr<FrameSource> {
        std::unique_ptr<FrameSource> opened = cameras.open(camID);
        if (!opened)
            return nullptr;
        return std::make_unique<CountedSource>(std::move(opened), count);
    });
    watcher->moveToThread(thread);
    thread->start();
}

void CameraWatcherTest::giveBackArrivingFrames()
{
    connect(watcher, &CameraWatcher::frameAvailable, this,
            [](IplImage *image) { PreviewFrame::giveBack(image); });
}

void CameraWatcherTest::lendsFramesOnlyWhileWatching()
{
    startWatcher("test:320x240@30");
    giveBackArrivingFrames();
    QSignalSpy frames(watcher, &CameraWatcher::frameAvailable);
    QSignalSpy stopped(watcher, &CameraWatcher::watchingStopped);
    QSignalSpy failures(watcher, &CameraWatcher::watchFailed);
    QSignalSpy formats(watcher, &CameraWatcher::formatSeen);

    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 5, 20000);
    // The test camera's frames are colour unless asked for grey.
    QCOMPARE(formats.count(), 1);
    QCOMPARE(formats.at(0).at(0).toSize(), QSize(320, 240));
    QCOMPARE(formats.at(0).at(1).toBool(), false);
    QCOMPARE(count->opened.load(), 1);
    QCOMPARE(count->released.load(), 0);

    QMetaObject::invokeMethod(watcher, "stopWatching");
    QVERIFY(stopped.wait(20000));
    QCOMPARE(count->released.load(), 1);
    // Frames sent before the stop arrive before it: none may follow.
    const int lentWhileWatching = frames.count();
    QTest::qWait(300);
    QCOMPARE(frames.count(), lentWhileWatching);
    QCOMPARE(stopped.count(), 1);

    // The camera was given back: it opens again.
    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= lentWhileWatching + 5, 20000);
    QCOMPARE(count->opened.load(), 2);
    QCOMPARE(formats.count(), 2);
    QMetaObject::invokeMethod(watcher, "stopWatching");
    QVERIFY(stopped.wait(20000));
    QCOMPARE(count->released.load(), 2);
    QCOMPARE(failures.count(), 0);
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// A window that does not draw keeps two frames and misses the rest, as with the recorder.
void CameraWatcherTest::keepsAtMostTwoFramesLent()
{
    startWatcher("test:320x240@30");
    QList<IplImage *> kept;
    connect(watcher, &CameraWatcher::frameAvailable, this,
            [&kept](IplImage *image) { kept << image; });
    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, 0));
    QTRY_COMPARE_WITH_TIMEOUT(kept.size(), 2, 20000);
    QTest::qWait(300);
    QCOMPARE(kept.size(), 2);

    for (IplImage *image : kept)
        PreviewFrame::giveBack(image);
    QTRY_VERIFY_WITH_TIMEOUT(kept.size() > 2, 20000);
    QSignalSpy stopped(watcher, &CameraWatcher::watchingStopped);
    QMetaObject::invokeMethod(watcher, "stopWatching");
    QVERIFY(stopped.wait(20000));
    for (IplImage *image : kept.mid(2))
        PreviewFrame::giveBack(image);
}

void CameraWatcherTest::closureFollowsTheBlinks_data()
{
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("choicesShown");
    QTest::newRow("chosen by Otsu's method") << -1 << 1;
    QTest::newRow("given") << 115 << 0;
}

// The test camera's eye blinks 1 s, 3 s and 5 s after its first frame: each closure measured
// must be what the lid covers of the eye then, open between the blinks and closed at their
// peaks.
void CameraWatcherTest::closureFollowsTheBlinks()
{
    QFETCH(int, threshold);
    QFETCH(int, choicesShown);

    startWatcher("test:640x480@30:eye");
    giveBackArrivingFrames();
    QSignalSpy closures(watcher, &CameraWatcher::closureMeasured);
    QSignalSpy choices(watcher, &CameraWatcher::eyelidThresholdChosen);
    QMetaObject::invokeMethod(watcher, "setEyelidThreshold", Q_ARG(int, threshold));
    QMetaObject::invokeMethod(watcher, "setEyelidRegion",
                              Q_ARG(QRect, toQRect(BlinkingEye::eyeBox({640, 480}))));
    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!closures.isEmpty() && closures.last().first().toDouble() > 5300,
                             30000);
    QSignalSpy stopped(watcher, &CameraWatcher::watchingStopped);
    QMetaObject::invokeMethod(watcher, "stopWatching");
    QVERIFY(stopped.wait(20000));

    QCOMPARE(choices.count(), choicesShown);
    if (choicesShown > 0) {
        const int level = choices.first().first().toInt();
        QVERIFY2(level >= BlinkingEye::eyeLevel && level < BlinkingEye::skinLevel,
                 qPrintable(QString::number(level)));
    }
    QCOMPARE(closures.first().first().toDouble(), 0.0);
    int closedPeaks = 0;
    int openFrames = 0;
    for (const QList<QVariant> &measured : closures) {
        const double ms = measured.at(0).toDouble();
        const double closure = measured.at(1).toDouble();
        const double expected = 1 - EyeMeasurement::visibleShare(BlinkingEye::closedFraction(ms));
        QVERIFY2(
            qAbs(closure - expected) < 0.1,
            qPrintable(
                QStringLiteral("at %1 ms: %2, expected %3").arg(ms).arg(closure).arg(expected)));
        closedPeaks += expected > 0.99 && closure > 0.9;
        openFrames += expected == 0 && closure < 0.05;
    }
    QVERIFY(closedPeaks >= 1);
    QVERIFY(openFrames > 50);
}

// A trace shows about 60 closures a second, and a screen about 60 pictures: a 120 fps camera is
// measured and drawn on about every other frame.
void CameraWatcherTest::closuresThinnedOnAFastCamera()
{
    startWatcher("test:640x480@120:eye");
    giveBackArrivingFrames();
    QSignalSpy closures(watcher, &CameraWatcher::closureMeasured);
    QSignalSpy frames(watcher, &CameraWatcher::frameAvailable);
    QMetaObject::invokeMethod(watcher, "setEyelidRegion",
                              Q_ARG(QRect, toQRect(BlinkingEye::eyeBox({640, 480}))));
    QElapsedTimer watching;
    watching.start();
    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(closures.count() >= 20, 30000);
    QSignalSpy stopped(watcher, &CameraWatcher::watchingStopped);
    QMetaObject::invokeMethod(watcher, "stopWatching");
    QVERIFY(stopped.wait(20000));

    // Lent at most once per PreviewPace::spacing over the time the watcher could lend them.
    const qint64 mostLent = watching.elapsed() * 1000 / PreviewPace::spacing.count() + 1;
    QVERIFY2(
        frames.count() >= 10 && frames.count() <= mostLent,
        qPrintable(QStringLiteral("%1 frames lent, at most %2").arg(frames.count()).arg(mostLent)));
    for (int i = 1; i < closures.count(); ++i) {
        const double gap =
            closures.at(i).first().toDouble() - closures.at(i - 1).first().toDouble();
        QVERIFY2(gap >= 1000.0 / 64, qPrintable(QStringLiteral("%1 ms apart").arg(gap)));
    }
}

void CameraWatcherTest::cameraThatFailsEndsWatching_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("camera");
    QTest::addColumn<QString>("reason");
    // What the camera list says first, if anything.
    QTest::addColumn<QString>("listMessage");

    QTest::newRow("no camera under the number") << "test:320x240@30" << 3 << "camera 3 did not open"
                                                << "camera 3 is not in the list";
    QTest::newRow("camera stops delivering")
        << "test:320x240@30:frames=5" << 0 << "the camera stopped delivering" << QString();
}

void CameraWatcherTest::cameraThatFailsEndsWatching()
{
    QFETCH(QString, source);
    QFETCH(int, camera);
    QFETCH(QString, reason);
    QFETCH(QString, listMessage);

    startWatcher(source);
    giveBackArrivingFrames();
    QSignalSpy failures(watcher, &CameraWatcher::watchFailed);
    QSignalSpy stopped(watcher, &CameraWatcher::watchingStopped);
    if (!listMessage.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(listMessage));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Watching the camera failed: " + reason));
    QMetaObject::invokeMethod(watcher, "watch", Q_ARG(int, camera));
    QVERIFY(stopped.wait(20000));
    QCOMPARE(failures.count(), 1);
    QCOMPARE(failures.first().first().toString(), reason);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(count->released.load(), count->opened.load());
}

QTEST_MAIN(CameraWatcherTest)
#include "tst_CameraWatcher.moc"
