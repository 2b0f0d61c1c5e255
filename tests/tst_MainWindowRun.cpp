#include "tests/support/WhenModal.h"
#include "tests/support/WindowUnderTest.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// A recording run driven from the window, with a stand-in recorder answering the requests.
class MainWindowRunTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void refusedPress_data();
    void refusedPress();
    void firstCountdownText_data();
    void firstCountdownText();
    void startComesAfterPostponement_data();
    void startComesAfterPostponement();
    void postponementChangedDuringCountdown();
    void noPostponementStartsAtOnce();
    void stopPressWhileRecording();
    void recorderThatCannotStartEndsTheRun_data();
    void recorderThatCannotStartEndsTheRun();
    void recorderFailingMidRecordingEndsTheRun();
    void settingsReadWhenRecordingStarts();
    void beepsDelayTheStart();
    void cancelledRun_data();
    void cancelledRun();
    void startWaitsForPreviousRecording_data();
    void startWaitsForPreviousRecording();
    void waitedStartRecordsFullLength();
    void savingShownUntilTheResult();
    void cameraIndex_data();
    void cameraIndex();
    void longCameraEntryKeepsWindowWidth();
    void statusKeepsWindowWidth_data();
    void statusKeepsWindowWidth();
    void statusTooltip();
    void runEventsReachRecorder();

private:
    QTimer *runTimer(const char *name) const
    {
        return w->window.findChild<QTimer *>(QString::fromLatin1(name));
    }

    QScopedPointer<QTemporaryDir> workingDirectory;
    QScopedPointer<WindowUnderTest> w;
};

void MainWindowRunTest::init()
{
    workingDirectory.reset(new QTemporaryDir);
    QVERIFY(workingDirectory->isValid());
    w.reset(new WindowUnderTest(workingDirectory->path()));
}

void MainWindowRunTest::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset();
    workingDirectory.reset();
}

void MainWindowRunTest::refusedPress_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("postponement");
    QTest::addColumn<int>("videoLength");
    QTest::addColumn<QString>("message");
    const QString missing = "Please select working directory first!";
    const QString tooLong =
        "Postponement and video length too long: at most 2147478 seconds together";
    QTest::newRow("empty field") << "" << 0 << 1 << missing;
    QTest::newRow("missing directory") << "missing" << 0 << 1 << missing;
    QTest::newRow("a file, not a directory") << "file" << 0 << 1 << missing;
    QTest::newRow("largest postponement") << "." << 999999999 << 0 << tooLong;
    QTest::newRow("largest length") << "." << 0 << 999999999 << tooLong;
    QTest::newRow("one second too long") << "." << 2147000 << 479 << tooLong;
}

// A refused press changes nothing but the status: no folder, nothing armed, and the next
// press begins a run as the first would.
void MainWindowRunTest::refusedPress()
{
    QFETCH(QString, directory);
    QFETCH(int, postponement);
    QFETCH(int, videoLength);
    QFETCH(QString, message);
    QDir root(workingDirectory->path());
    QFile file(root.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QStringList entriesBefore = root.entryList(QDir::AllEntries | QDir::Hidden);
    w->directoryField->setText(directory.isEmpty() ? directory : root.filePath(directory));
    w->postpone->setValue(postponement);
    w->length->setValue(videoLength);

    w->press();
    QCOMPARE(w->status->text(), message);
    QTest::qWait(100);
    QCOMPARE(w->status->text(), message);
    QCOMPARE(w->time->text(), QStringLiteral("00:00"));
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->folders.count(), 0);
    QCOMPARE(w->starts.count(), 0);
    QCOMPARE(root.entryList(QDir::AllEntries | QDir::Hidden), entriesBefore);

    w->directoryField->setText(root.path());
    w->postpone->setValue(1);
    w->length->setValue(1);
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
    QCOMPARE(w->folders.count(), 1);
    QCOMPARE(w->folders.first().first().toString(), root.path() + "/1");
}

void MainWindowRunTest::firstCountdownText_data()
{
    QTest::addColumn<int>("postponement");
    QTest::addColumn<QString>("text");
    QTest::newRow("65 s") << 65 << "1:5";
    QTest::newRow("an hour") << 3600 << "0:0";
    QTest::newRow("an hour, 2 min, 5 s") << 3725 << "2:5";
}

void MainWindowRunTest::firstCountdownText()
{
    QFETCH(int, postponement);
    QFETCH(QString, text);
    w->postpone->setValue(postponement);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QString("spin box value %1").arg(postponement)));
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
    QCOMPARE(w->time->text(), text);
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
}

void MainWindowRunTest::startComesAfterPostponement_data()
{
    QTest::addColumn<int>("postponement");
    QTest::addColumn<int>("videoLength");
    QTest::newRow("1 s") << 1 << 0;
    QTest::newRow("2 s") << 2 << 3;
}

// The timers count from the press: the start after P seconds, the stop P + L + 5 seconds
// after it. The start timer never fires early, wherever its interval falls on the clock.
void MainWindowRunTest::startComesAfterPostponement()
{
    QFETCH(int, postponement);
    QFETCH(int, videoLength);
    w->postpone->setValue(postponement);
    w->length->setValue(videoLength);
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    QCOMPARE(w->time->text(), QString("0:%1").arg(postponement));
    QCOMPARE(runTimer("startRecorderTimer")->interval(), postponement * 1000);
    QCOMPARE(runTimer("stopRecorderTimer")->interval(), (postponement + videoLength + 5) * 1000);
    QVERIFY(w->starts.wait(20000));
    const qint64 started = sincePress.elapsed();
    QVERIFY2(started >= postponement * 1000, qPrintable(QString::number(started)));
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
}

// The start stays where the press put it; the display follows the new value, and stops as
// soon as recording starts, leaving the time display to the recorder.
void MainWindowRunTest::postponementChangedDuringCountdown()
{
    w->postpone->setValue(1);
    w->press();
    QCOMPARE(w->time->text(), QStringLiteral("0:1"));
    w->postpone->setValue(4);
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(runTimer("startRecorderTimer")->interval(), 1000);
    QTRY_COMPARE(w->time->text(), QStringLiteral("00:00"));
    QTest::qWait(1200);
    QCOMPARE(w->time->text(), QStringLiteral("00:00"));
}

// On the event loop's next turn: the start timer runs with no interval.
void MainWindowRunTest::noPostponementStartsAtOnce()
{
    w->postpone->setValue(0);
    w->window.updateTime("12:34");
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
    QCOMPARE(w->time->text(), QStringLiteral("12:34"));
    QCOMPARE(w->starts.count(), 0);
    QVERIFY(runTimer("startRecorderTimer")->isActive());
    QCOMPARE(runTimer("startRecorderTimer")->interval(), 0);
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
}

void MainWindowRunTest::stopPressWhileRecording()
{
    w->postpone->setValue(0);
    w->showVideo->setChecked(true);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QVERIFY(w->preview->isVisible());
    w->press();
    QCOMPARE(w->stops.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QVERIFY(!w->preview->isVisible());
    QCOMPARE(w->starts.count(), 1);
}

void MainWindowRunTest::recorderThatCannotStartEndsTheRun_data()
{
    QTest::addColumn<bool>("leavesAFile");
    QTest::newRow("nothing written: the folder goes") << false;
    QTest::newRow("a file written: the folder stays") << true;
}

// A recorder that fails to open its source or files answers at once: the run is over, its
// folder goes when nothing was put into it, and the next press begins a new run.
void MainWindowRunTest::recorderThatCannotStartEndsTheRun()
{
    QFETCH(bool, leavesAFile);
    w->recorder.failsToStart = true;
    w->postpone->setValue(0);
    w->showVideo->setChecked(true);
    const QString folder = workingDirectory->filePath("1");
    if (leavesAFile) {
        // Written by the recorder before it failed.
        connect(&w->window, &MainWindow::startRecording, &w->recorder,
                [folder] { QFile(folder + "/partial.avi").open(QIODevice::WriteOnly); });
    }
    w->press();
    QVERIFY(w->starts.wait(20000));
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD FAILED"));
    QVERIFY(!w->preview->isVisible());
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->stops.count(), 0);
    QCOMPARE(QDir(folder).exists(), leavesAFile);

    w->recorder.failsToStart = false;
    w->press();
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
    QCOMPARE(w->stops.count(), 0);
}

// A recorder that fails while recording (a full disk) ends the run then, not when its time is
// up: the button is "New record" again with the result, no timer is left to stop a later run,
// and a press records again.
void MainWindowRunTest::recorderFailingMidRecordingEndsTheRun()
{
    w->postpone->setValue(0);
    w->length->setValue(30);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
    w->recorder.reason = "disk low: 0 MB free, 1 MB needed";
    w->recorder.failNow();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD FAILED"));
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->status->toolTip(), w->recorder.reason);
    auto *stopTimer = w->window.findChild<QTimer *>("stopRecorderTimer");
    QVERIFY(stopTimer);
    QVERIFY(!stopTimer->isActive());
    QCOMPARE(w->stops.count(), 0);

    w->press();
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->starts.count(), 2);
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
    QVERIFY(w->recorder.recording);
}

// The camera and the preview switch count as they are when recording starts, and no widget
// is disabled at any point of the run.
void MainWindowRunTest::settingsReadWhenRecordingStarts()
{
    const auto everyWidgetEnabled = [this] {
        const auto widgets = w->window.findChildren<QWidget *>();
        return std::all_of(widgets.begin(), widgets.end(),
                           [](QWidget *widget) { return widget->isEnabled(); });
    };
    w->postpone->setValue(1);
    w->press();
    QVERIFY(everyWidgetEnabled());
    w->cameras->setCurrentIndex(1);
    w->showVideo->setChecked(true);
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->starts.first().first().toInt(), 1);
    QVERIFY(w->preview->isVisible());
    QVERIFY(everyWidgetEnabled());
    w->press();
    QTRY_VERIFY(!w->preview->isVisible());
    QVERIFY(everyWidgetEnabled());
}

// The box is read when the countdown ends; the three beeps take two seconds.
void MainWindowRunTest::beepsDelayTheStart()
{
    w->postpone->setValue(0);
    w->beeps->setChecked(true);
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    QVERIFY(w->starts.wait(20000));
    const qint64 waited = sincePress.elapsed();
    QVERIFY2(waited >= 1900, qPrintable(QString::number(waited)));
}

enum class Cancel {
    PressDuringCountdown,
    PressBetweenBeeps,
    StopTimerInChooser,
    CloseDuringCountdown
};
Q_DECLARE_METATYPE(Cancel)

void MainWindowRunTest::cancelledRun_data()
{
    QTest::addColumn<Cancel>("cancel");
    QTest::addColumn<int>("postponement");
    QTest::addColumn<bool>("beep");
    QTest::addColumn<int>("waitForNoStartMs");
    QTest::newRow("press during the countdown")
        << Cancel::PressDuringCountdown << 1 << false << 1500;
    // The click comes during the countdown instead when the machine is slow: cancelled too.
    QTest::newRow("press between beeps") << Cancel::PressBetweenBeeps << 0 << true << 2500;
    QTest::newRow("stop timer while the chooser is open")
        << Cancel::StopTimerInChooser << 0 << false << 500;
    QTest::newRow("window closed during the countdown")
        << Cancel::CloseDuringCountdown << 1 << false << 1500;
}

// A run that ends before it asked for recording records nothing, says so, and leaves no
// folder; the next press begins a fresh run in the same folder that asks for recording once.
void MainWindowRunTest::cancelledRun()
{
    QFETCH(Cancel, cancel);
    QFETCH(int, postponement);
    QFETCH(bool, beep);
    QFETCH(int, waitForNoStartMs);
    w->postpone->setValue(postponement);
    w->length->setValue(0);
    w->beeps->setChecked(beep);
    bool chooserClosed = false;
    bool cancelledWhileChoosing = false;
    w->press();
    switch (cancel) {
    case Cancel::PressDuringCountdown:
        w->press();
        break;
    case Cancel::CloseDuringCountdown:
        QTest::ignoreMessage(QtDebugMsg, "MW:finish emitted");
        w->window.close();
        break;
    case Cancel::PressBetweenBeeps:
        // Pressed from inside the wait between the first and the second beep.
        QTimer::singleShot(500, w->button, &QPushButton::click);
        QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
        break;
    case Cancel::StopTimerInChooser:
        w->directoryField->clear();
        whenModal([&](QWidget *dialog) {
            // The stop timer fires 5 s after the press while the operator is still choosing.
            cancelledWhileChoosing =
                QTest::qWaitFor([&] { return w->status->text() == "RECORD CANCELLED"; }, 30000);
            chooserClosed = true;
            qobject_cast<QDialog *>(dialog)->reject();
        });
        QTRY_VERIFY_WITH_TIMEOUT(chooserClosed, 40000);
        QVERIFY(cancelledWhileChoosing);
        break;
    }
    QCOMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    const QString timeWhenCancelled = w->time->text();
    QTest::qWait(waitForNoStartMs);
    QCOMPARE(w->starts.count(), 0);
    QCOMPARE(w->recorder.cameras.count(), 0);
    QCOMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
    QCOMPARE(w->time->text(), timeWhenCancelled);
    QVERIFY(!QDir(workingDirectory->filePath("1")).exists());

    w->directoryField->setText(workingDirectory->path());
    w->beeps->setChecked(false);
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QTest::qWait(200);
    QCOMPARE(w->starts.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
    QCOMPARE(w->folders.last().first().toString(), workingDirectory->path() + "/1");
}

void MainWindowRunTest::startWaitsForPreviousRecording_data()
{
    QTest::addColumn<bool>("cancelWhileWaiting");
    QTest::newRow("starts when the previous result arrives") << false;
    QTest::newRow("press while waiting cancels") << true;
}

// A press while the previous recording is still ending: the new run never asks the recorder
// to record before the previous result has arrived.
void MainWindowRunTest::startWaitsForPreviousRecording()
{
    QFETCH(bool, cancelWhileWaiting);
    w->recorder.holdsStopAnswer = true;
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QTRY_VERIFY(w->recorder.recording);
    w->press();
    QCOMPARE(w->stops.count(), 1);

    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
    QTRY_COMPARE(w->status->text(), QStringLiteral("Waiting for the previous recording to end"));
    QTest::qWait(300);
    QCOMPARE(w->starts.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    if (cancelWhileWaiting) {
        w->press();
        QCOMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
    }

    w->recorder.answerHeldStop();
    QTRY_COMPARE(w->recorder.recording, !cancelWhileWaiting);
    QTest::qWait(100);
    QCOMPARE(w->starts.count(), cancelWhileWaiting ? 1 : 2);
    QCOMPARE(w->recorder.recordsWhileRecording, 0);
    QCOMPARE(w->status->text(), cancelWhileWaiting ? QStringLiteral("RECORD SUCCESSFUL")
                                                   : QStringLiteral("RECORDING..."));
    QCOMPARE(w->button->text(),
             cancelWhileWaiting ? QStringLiteral("New record") : QStringLiteral("Stop"));
    QCOMPARE(w->recorder.folders.count(), 2);
}

// The stop timer of a run whose start waited counts from the end of the wait: the recording
// is as long as if it had started on time.
void MainWindowRunTest::waitedStartRecordsFullLength()
{
    w->recorder.holdsStopAnswer = true;
    w->postpone->setValue(0);
    w->length->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
    w->press();
    w->press();
    QTRY_COMPARE(w->status->text(), QStringLiteral("Waiting for the previous recording to end"));
    // Longer than the stop timer would leave of the run had it gone on counting.
    QTest::qWait(1500);
    QCOMPARE(w->stops.count(), 1);
    w->recorder.answerHeldStop();
    QVERIFY(w->starts.wait(20000));
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY(w->stops.wait(30000));
    const qint64 recorded = sinceStart.elapsed();
    QVERIFY2(recorded >= 4990, qPrintable(QString::number(recorded)));
    QCOMPARE(w->starts.count(), 2);
    QCOMPARE(w->recorder.recordsWhileRecording, 0);
}

// A recording stopped while frames still wait on disk: the status follows the saving, and the
// result replaces it once it comes.
void MainWindowRunTest::savingShownUntilTheResult()
{
    w->recorder.holdsStopAnswer = true;
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QTRY_VERIFY(w->recorder.recording);
    w->press();
    QCOMPARE(w->stops.count(), 1);
    emit w->recorder.saving(0);
    QTRY_COMPARE(w->status->text(), QStringLiteral("SAVING 0%"));
    emit w->recorder.saving(37);
    QTRY_COMPARE(w->status->text(), QStringLiteral("SAVING 37%"));
    QVERIFY(!w->status->toolTip().isEmpty());
    w->recorder.answerHeldStop();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
}

void MainWindowRunTest::cameraIndex_data()
{
    QTest::addColumn<QStringList>("cameraNames");
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("message");
    const QStringList two = {"first", "second"};
    QTest::newRow("listed") << two << 1 << 1 << QString();
    QTest::newRow("past the end") << two << 2 << 0
                                  << "Camera index 2 names no listed camera, using the first";
    QTest::newRow("negative") << two << -1 << 0
                              << "Camera index -1 names no listed camera, using the first";
    QTest::newRow("no camera listed") << QStringList() << 0 << -1 << QString();
}

void MainWindowRunTest::cameraIndex()
{
    QFETCH(QStringList, cameraNames);
    QFETCH(int, given);
    QFETCH(int, selected);
    QFETCH(QString, message);
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
    w.reset(new WindowUnderTest(workingDirectory->path(), cameraNames, given));
    QCOMPARE(w->cameras->currentIndex(), selected);
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QCOMPARE(w->starts.first().first().toInt(), selected);
}

// A camera given by a long text, such as a whole pipeline, is shown shortened: the window
// keeps its width on a small screen and every widget stays inside it.
void MainWindowRunTest::longCameraEntryKeepsWindowWidth()
{
    const QString pipeline =
        "videotestsrc is-live=true pattern=ball ! video/x-raw,width=1280,height=720,"
        "framerate=30/1 ! videoconvert ! queue max-size-buffers=2 leaky=downstream ! "
        "appsink name=camera drop=true max-buffers=2 sync=false emit-signals=false";
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset(new WindowUnderTest(workingDirectory->path(), {"First camera", pipeline}, 1));
    QTRY_VERIFY(w->window.isVisible());
    QVERIFY2(w->window.width() <= 680, qPrintable(QString::number(w->window.width())));
    QVERIFY(w->window.minimumSizeHint().width() <= 680);
    QCOMPARE(w->cameras->currentText(), pipeline);
    QCOMPARE(w->cameras->toolTip(), pipeline);
    const QRect button = w->button->geometry();
    QVERIFY(w->window.centralWidget()->rect().contains(button));
}

void MainWindowRunTest::statusKeepsWindowWidth_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("postponement");
    QTest::addColumn<bool>("afterLongest");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("oneLine");
    const QString longest =
        "Postponement and video length too long: at most 2147478 seconds together";
    QTest::newRow("longest status") << "." << 999999999 << false << longest << false;
    QTest::newRow("no directory") << "missing" << 10 << false
                                  << "Please select working directory first!" << true;
    QTest::newRow("countdown") << "." << 10 << false << "Recording starts in " << true;
    QTest::newRow("countdown after the longest")
        << "." << 10 << true << "Recording starts in " << true;
}

// Every status stays within the window, which keeps its width, and shows whole: the longest
// on two lines, the others on one.
void MainWindowRunTest::statusKeepsWindowWidth()
{
    QFETCH(QString, directory);
    QFETCH(int, postponement);
    QFETCH(bool, afterLongest);
    QFETCH(QString, status);
    QFETCH(bool, oneLine);
    QTRY_VERIFY(w->window.isVisible());
    const int oneLineHeight = w->status->heightForWidth(QWIDGETSIZE_MAX);
    if (afterLongest) {
        w->postpone->setValue(999999999);
        w->press();
        QTRY_VERIFY(w->status->height() > oneLineHeight);
    }
    w->directoryField->setText(QDir(workingDirectory->path()).filePath(directory));
    w->postpone->setValue(postponement);
    w->press();
    QCOMPARE(w->status->text(), status);

    // The layout settles on the next turns: a status that wants more room would widen the
    // window by then.
    QTest::qWait(200);
    QVERIFY2(w->window.width() <= 680, qPrintable(QString::number(w->window.width())));
    QVERIFY(w->window.minimumSizeHint().width() <= 680);
    QVERIFY(w->window.centralWidget()->rect().contains(w->status->geometry()));
    const int needed = w->status->heightForWidth(w->status->width());
    QVERIFY2(w->status->height() >= needed,
             qPrintable(QString("%1 px high, %2 needed").arg(w->status->height()).arg(needed)));
    QCOMPARE(needed == oneLineHeight, oneLine);
    // The time follows the status in the same row.
    QCOMPARE(w->time->y(), w->status->y());
    QVERIFY(w->time->x() > w->status->geometry().right());
}

// The tooltip says why the status came about: the recorder's reason with its result, the
// window's own for what it refused or cancelled, nothing for the others.
void MainWindowRunTest::statusTooltip()
{
    w->postpone->setValue(999999999);
    w->press();
    QCOMPARE(w->status->toolTip(),
             QStringLiteral("999999999 s postponement + 1 s video length = 1000000000 s, more "
                            "than 2147478 s"));

    w->postpone->setValue(100);
    w->press();
    QCOMPARE(w->status->toolTip(), QString());
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("RECORD CANCELLED"));
    QCOMPARE(w->status->toolTip(),
             QStringLiteral("Cancelled: the button was pressed during the countdown"));

    w->recorder.failsToStart = true;
    w->recorder.reason = "camera /dev/video2 did not open";
    w->postpone->setValue(0);
    w->press();
    QTRY_COMPARE_WITH_TIMEOUT(w->status->text(), QStringLiteral("RECORD FAILED"), 20000);
    QCOMPARE(w->status->toolTip(), w->recorder.reason);
}

// The run's events reach the recorder through the window's signal, the beeps at the times
// the tone reports; a close asked for by the system is told apart from the operator's.
void MainWindowRunTest::runEventsReachRecorder()
{
    auto *tone = w->window.findChild<BeepTone *>();
    QVERIFY(tone);
    QSignalSpy played(tone, &BeepTone::played);
    w->postpone->setValue(0);
    w->beeps->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    const qint64 pressedAt = clock.msecsSinceReference();
    w->press();
    QVERIFY(w->starts.wait(20000));
    QSignalSpy finishing(&w->window, SIGNAL(finishRequested()));
    w->window.closeOnSignal();
    QCOMPARE(finishing.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(w->recorder.events.count(), 5, 20000);

    QCOMPARE(w->recorder.events,
             (QStringList{"new record pressed", "beep", "beep", "beep", "stop asked(signal)"}));
    QCOMPARE(played.count(), 3);
    const QList<qint64> &times = w->recorder.eventTimes;
    QVERIFY(times[0] >= pressedAt);
    for (int beep = 0; beep < 3; ++beep)
        QCOMPARE(times[1 + beep], played[beep].first().toLongLong());
    for (int pause = 2; pause < 4; ++pause)
        QVERIFY2(times[pause] - times[pause - 1] >= 950,
                 qPrintable(QString::number(times[pause] - times[pause - 1])));
    QVERIFY(times[4] >= times[3]);
}

QTEST_MAIN(MainWindowRunTest)
#include "tst_MainWindowRun.moc"
