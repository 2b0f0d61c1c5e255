#include "WhenModal.h"
#include "WindowUnderTest.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

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
    void countdownTicksToStart_data();
    void countdownTicksToStart();
    void postponementChangedDuringCountdown();
    void noPostponementStartsAtOnce();
    void stopPressWhileRecording();
    void failedRecordingKeepsStop();
    void settingsReadWhenRecordingStarts();
    void beepsKeepHandlingEvents();
    void cancelledRun_data();
    void cancelledRun();
    void startWaitsForPreviousRecording_data();
    void startWaitsForPreviousRecording();
    void cameraIndex_data();
    void cameraIndex();

private:
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

void MainWindowRunTest::countdownTicksToStart_data()
{
    QTest::addColumn<int>("postponement");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("1 s") << 1 << QStringList{"0:1"};
    QTest::newRow("2 s") << 2 << QStringList{"0:2", "0:1"};
}

void MainWindowRunTest::countdownTicksToStart()
{
    QFETCH(int, postponement);
    QFETCH(QStringList, texts);
    w->postpone->setValue(postponement);
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    for (int second = 0; second < texts.count(); ++second) {
        QTRY_COMPARE_WITH_TIMEOUT(w->time->text(), texts[second], 1500);
        QVERIFY(sincePress.elapsed() >= second * 1000);
    }
    QVERIFY(w->starts.wait(3000));
    // The start timer never fires early, wherever its interval falls on the clock.
    const qint64 started = sincePress.elapsed();
    QVERIFY2(started >= postponement * 1000, qPrintable(QString::number(started)));
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
}

// The start stays where the press put it; the display follows the new value, and stops as
// soon as recording starts, leaving the time display to the recorder.
void MainWindowRunTest::postponementChangedDuringCountdown()
{
    w->postpone->setValue(1);
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    QCOMPARE(w->time->text(), QStringLiteral("0:1"));
    w->postpone->setValue(4);
    QVERIFY(w->starts.wait(3000));
    QVERIFY(sincePress.elapsed() < 2500);
    QTRY_COMPARE(w->time->text(), QStringLiteral("00:00"));
    QTest::qWait(1200);
    QCOMPARE(w->time->text(), QStringLiteral("00:00"));
}

void MainWindowRunTest::noPostponementStartsAtOnce()
{
    w->postpone->setValue(0);
    w->window.updateTime("12:34");
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
    QCOMPARE(w->time->text(), QStringLiteral("12:34"));
    QCOMPARE(w->starts.count(), 0);
    QVERIFY(w->starts.wait(1000));
    QVERIFY(sincePress.elapsed() < 500);
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
}

void MainWindowRunTest::stopPressWhileRecording()
{
    w->postpone->setValue(0);
    w->showVideo->setChecked(true);
    w->press();
    QVERIFY(w->starts.wait(1000));
    QVERIFY(w->preview->isVisible());
    w->press();
    QCOMPARE(w->stops.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QVERIFY(!w->preview->isVisible());
    QCOMPARE(w->starts.count(), 1);
}

void MainWindowRunTest::failedRecordingKeepsStop()
{
    w->recorder.failsToStart = true;
    w->postpone->setValue(0);
    w->showVideo->setChecked(true);
    w->press();
    QVERIFY(w->starts.wait(1000));
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD FAILED"));
    QVERIFY(!w->preview->isVisible());
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
    QCOMPARE(w->stops.count(), 0);

    w->press();
    QCOMPARE(w->stops.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("New record"));
    QCOMPARE(w->status->text(), QStringLiteral("RECORD FAILED"));
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
    QVERIFY(w->starts.wait(3000));
    QCOMPARE(w->starts.first().first().toInt(), 1);
    QVERIFY(w->preview->isVisible());
    QVERIFY(everyWidgetEnabled());
    w->press();
    QTRY_VERIFY(!w->preview->isVisible());
    QVERIFY(everyWidgetEnabled());
}

void MainWindowRunTest::beepsKeepHandlingEvents()
{
    w->postpone->setValue(0);
    w->beeps->setChecked(true);
    int startsWhileWaiting = -1;
    QString timeWhenStarting;
    connect(&w->window, &MainWindow::startRecording, this,
            [&] { timeWhenStarting = w->time->text(); });
    QTimer::singleShot(700, this, [&] {
        startsWhileWaiting = w->starts.count();
        emit w->recorder.timeChanged("during beeps");
    });
    QElapsedTimer sincePress;
    sincePress.start();
    w->press();
    QVERIFY(w->starts.wait(5000));
    const qint64 waited = sincePress.elapsed();
    QVERIFY2(waited >= 1900 && waited < 4000, qPrintable(QString::number(waited)));
    QCOMPARE(startsWhileWaiting, 0);
    QCOMPARE(timeWhenStarting, QStringLiteral("during beeps"));
}

enum class Cancel { PressDuringCountdown, PressBetweenBeeps, StopTimerInChooser, CloseDuringCountdown };
Q_DECLARE_METATYPE(Cancel)

void MainWindowRunTest::cancelledRun_data()
{
    QTest::addColumn<Cancel>("cancel");
    QTest::addColumn<int>("postponement");
    QTest::addColumn<bool>("beep");
    QTest::addColumn<int>("waitForNoStartMs");
    QTest::newRow("press during the countdown")
        << Cancel::PressDuringCountdown << 1 << false << 1500;
    QTest::newRow("press between beeps") << Cancel::PressBetweenBeeps << 0 << true << 2500;
    QTest::newRow("stop timer while the chooser is open")
        << Cancel::StopTimerInChooser << 0 << false << 500;
    QTest::newRow("window closed during the countdown")
        << Cancel::CloseDuringCountdown << 1 << false << 1500;
}

// A run that ends before it asked for recording records nothing and says so; the next press
// begins a fresh run that asks for recording once.
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
                QTest::qWaitFor([&] { return w->status->text() == "RECORD CANCELLED"; }, 7000);
            chooserClosed = true;
            qobject_cast<QDialog *>(dialog)->reject();
        });
        QTRY_VERIFY_WITH_TIMEOUT(chooserClosed, 9000);
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

    w->directoryField->setText(workingDirectory->path());
    w->beeps->setChecked(false);
    w->postpone->setValue(0);
    w->press();
    QVERIFY(w->starts.wait(1000));
    QTest::qWait(200);
    QCOMPARE(w->starts.count(), 1);
    QCOMPARE(w->button->text(), QStringLiteral("Stop"));
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
    QVERIFY(w->starts.wait(1000));
    QTRY_VERIFY(w->recorder.recording);
    w->press();
    QCOMPARE(w->stops.count(), 1);

    w->press();
    QCOMPARE(w->status->text(), QStringLiteral("Recording starts in "));
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
    QVERIFY(w->starts.wait(1000));
    QCOMPARE(w->starts.first().first().toInt(), selected);
}

QTEST_MAIN(MainWindowRunTest)
#include "tst_MainWindowRun.moc"
