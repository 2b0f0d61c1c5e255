#include "engine/PreviewFrame.h"
#include "tests/support/WindowUnderTest.h"
#include "ui/RegionPicture.h"

#include <opencv2/core.hpp>

#include <QTemporaryDir>
#include <QTest>

// Stands in for the camera watcher, connected to the window as the application connects the
// real one (queued, as from its thread). A stop may be held, as by a watcher still in a read.
class StandInWatcher : public QObject
{
    Q_OBJECT
public:
    void attachTo(QObject *window)
    {
        connect(window, SIGNAL(watchCamera(int)), this, SLOT(watch(int)), Qt::QueuedConnection);
        connect(window, SIGNAL(stopWatching()), this, SLOT(stopWatching()), Qt::QueuedConnection);
        connect(this, SIGNAL(watchingStopped()), window, SLOT(watchingStopped()),
                Qt::QueuedConnection);
        connect(this, SIGNAL(watchFailed(QString)), window, SLOT(watchFailed(QString)),
                Qt::QueuedConnection);
    }

    bool holdsStop = false;
    bool watching = false;
    bool stopHeld = false;
    QList<int> watches;
    int stops = 0;

    void answerHeldStop()
    {
        stopHeld = false;
        watching = false;
        emit watchingStopped();
    }
    void fail(const QString &reason)
    {
        watching = false;
        emit watchFailed(reason);
        emit watchingStopped();
    }

signals:
    void watchingStopped();
    void watchFailed(QString reason);

public slots:
    void watch(int camID)
    {
        watches << camID;
        watching = true;
    }
    void stopWatching()
    {
        ++stops;
        if (!watching || stopHeld)
            return;
        if (holdsStop) {
            stopHeld = true;
            return;
        }
        watching = false;
        emit watchingStopped();
    }
};

// The camera passes from the watcher to the recorder at a press and back after the result.
class MainWindowWatchTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void boxOpensTheWindowWithoutWatching();
    void pressWhileWatchingReleasesTheCameraFirst_data();
    void pressWhileWatchingReleasesTheCameraFirst();
    void stopPressedWhileTheStartWaits();
    void cancelledCountdownResumesWatching();
    void failedWatchIsNotRetried();
    void regionDrawnIsToldOn();

private:
    void startWatching();

    QScopedPointer<QTemporaryDir> workingDirectory;
    QScopedPointer<WindowUnderTest> w;
    QScopedPointer<StandInWatcher> watcher;
    QPushButton *watchButton = nullptr;
    // Whether the watcher still had the camera when each start left the window.
    QList<bool> watchingAtStart;
};

void MainWindowWatchTest::init()
{
    workingDirectory.reset(new QTemporaryDir);
    QVERIFY(workingDirectory->isValid());
    w.reset(new WindowUnderTest(workingDirectory->path()));
    QVERIFY(w->preview);
    watcher.reset(new StandInWatcher);
    watcher->attachTo(&w->window);
    watchButton = w->preview->findChild<QPushButton *>("pushButton_watchCamera");
    QVERIFY(watchButton);
    watchingAtStart.clear();
    connect(&w->window, &MainWindow::startRecording, this,
            [this] { watchingAtStart << watcher->watching; });
}

void MainWindowWatchTest::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset();
    watcher.reset();
    workingDirectory.reset();
}

void MainWindowWatchTest::startWatching()
{
    w->showVideo->click();
    QVERIFY(w->preview->isVisible());
    watchButton->click();
    QTRY_VERIFY(watcher->watching);
    QCOMPARE(watcher->watches, QList<int>{0});
}

void MainWindowWatchTest::boxOpensTheWindowWithoutWatching()
{
    w->showVideo->click();
    QVERIFY(w->preview->isVisible());
    QVERIFY(watchButton->isEnabled());
    QTest::qWait(100);
    QCOMPARE(watcher->watches, QList<int>());
    w->showVideo->click();
    QVERIFY(!w->preview->isVisible());
}

void MainWindowWatchTest::pressWhileWatchingReleasesTheCameraFirst_data()
{
    QTest::addColumn<int>("postponement");
    QTest::addColumn<bool>("slowRelease");
    QTest::newRow("start at the press") << 0 << false;
    QTest::newRow("start at the press, camera released late") << 0 << true;
    QTest::newRow("start after the countdown") << 1 << false;
}

void MainWindowWatchTest::pressWhileWatchingReleasesTheCameraFirst()
{
    QFETCH(int, postponement);
    QFETCH(bool, slowRelease);

    startWatching();
    watcher->holdsStop = slowRelease;
    w->postpone->setValue(postponement);
    w->press();
    QTRY_COMPARE(watcher->stops, 1);
    QVERIFY(!watchButton->isEnabled());
    if (slowRelease) {
        QTest::qWait(200);
        QCOMPARE(w->starts.count(), 0);
        watcher->answerHeldStop();
    }
    QTRY_COMPARE_WITH_TIMEOUT(w->starts.count(), 1, 20000);
    QCOMPARE(watchingAtStart, QList<bool>{false});
    QTRY_VERIFY(w->recorder.recording);
    QCOMPARE(watcher->watches.size(), 1);

    w->press();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QTRY_VERIFY(watcher->watching);
    QCOMPARE(watcher->watches, (QList<int>{0, 0}));
    QVERIFY(watchButton->isEnabled());
    QVERIFY(w->preview->isVisible());
}

// The stop follows the start that waits for the camera: the recorder records, then stops.
void MainWindowWatchTest::stopPressedWhileTheStartWaits()
{
    startWatching();
    watcher->holdsStop = true;
    w->postpone->setValue(0);
    w->press();
    QTRY_VERIFY(watcher->stopHeld);
    w->press();
    QCOMPARE(w->starts.count(), 0);
    QCOMPARE(w->stops.count(), 0);
    connect(&w->window, &MainWindow::stopRecording, this,
            [this] { QCOMPARE(w->starts.count(), 1); });
    watcher->answerHeldStop();
    QTRY_COMPARE(w->stops.count(), 1);
    QCOMPARE(w->starts.count(), 1);
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QTRY_VERIFY(watcher->watching);
}

void MainWindowWatchTest::cancelledCountdownResumesWatching()
{
    startWatching();
    w->postpone->setValue(30);
    w->press();
    QTRY_VERIFY(!watcher->watching);
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
    QTRY_VERIFY(watcher->watching);
    QCOMPARE(w->starts.count(), 0);
    QVERIFY(watchButton->isEnabled());
}

// A camera that does not open is not asked again and again: the button comes up, saying why.
void MainWindowWatchTest::failedWatchIsNotRetried()
{
    startWatching();
    watcher->fail("camera 0 did not open");
    QTRY_VERIFY(!watchButton->isChecked());
    QCOMPARE(watchButton->toolTip(), QStringLiteral("camera 0 did not open"));
    QTest::qWait(100);
    QCOMPARE(watcher->watches.size(), 1);

    // A press now holds nothing back.
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
}

void MainWindowWatchTest::regionDrawnIsToldOn()
{
    QSignalSpy regions(&w->window, SIGNAL(eyelidRegionChanged(QRect)));
    w->window.setEyelidRegion({1, 2, 30, 40});
    QCOMPARE(regions.count(), 1);
    QCOMPARE(regions.last().first().toRect(), QRect(1, 2, 30, 40));

    startWatching();
    auto *picture = w->preview->findChild<RegionPicture *>();
    QVERIFY(picture);
    picture->setFixedSize(320, 240);
    const cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(90));
    IplImage *lent = PreviewFrame::lend(frame, std::make_shared<std::atomic<int>>(0), 1);
    QVERIFY(QMetaObject::invokeMethod(&w->window, "showWatchedFrame", Q_ARG(IplImage *, lent)));
    QTRY_COMPARE(picture->size(), QSize(320, 240));
    QTest::ignoreMessage(QtDebugMsg, "eyelid region drawn: 80,60,200,160");
    QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, {40, 30});
    QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, {140, 110});
    QCOMPARE(regions.count(), 2);
    QCOMPARE(regions.last().first().toRect(), QRect(80, 60, 200, 160));
}

QTEST_MAIN(MainWindowWatchTest)
#include "tst_MainWindowWatch.moc"
