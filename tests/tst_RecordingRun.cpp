#include "RecordingRun.h"
#include "RunPanel.h"
#include "StandInProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// Settings as the test sets them, and what the run showed.
class FakePanel : public RunPanel
{
public:
    QString directory;
    int postponement = 100;
    int length = 100;
    QString program;
    bool beeps = false;
    bool preview = false;
    int cameraNumber = 1;
    // Runs while the chooser is open; then the chooser fills in chosenDirectory.
    std::function<void()> whileChoosing;
    QString chosenDirectory;
    int choosersOpened = 0;

    QString status = "ready";
    QString time = "00:00";
    QString caption = "New record";
    bool previewShown = false;

    QString workingDirectory() const override { return directory; }
    int postponementSeconds() const override { return postponement; }
    int videoLengthSeconds() const override { return length; }
    QString programPath() const override { return program; }
    bool beepsWanted() const override { return beeps; }
    bool previewWanted() const override { return preview; }
    int camera() const override { return cameraNumber; }
    void chooseWorkingDirectory() override
    {
        ++choosersOpened;
        if (whileChoosing)
            std::exchange(whileChoosing, nullptr)();
        directory = chosenDirectory;
    }
    void showStatus(const QString &text) override { status = text; }
    void showTime(const QString &text) override { time = text; }
    void showButtonCaption(const QString &text) override { caption = text; }
    void showPreview(bool shown) override { previewShown = shown; }
};

using Phase = RecordingRun::Phase;

// Where a row's run is when its event comes. The two Starting setups bring the event in
// from inside the run's wait: the open directory chooser, or the pause after the first beep.
enum class Setup {
    Idle,
    Countdown,
    StartingInChooser,
    StartingBetweenBeeps,
    WaitingForRecorder,
    Recording,
    RecordingAfterFailure,
    Stopped,
    Finished
};

enum class Happening {
    Nothing, // the chooser closes, or the beeps end
    Press,
    StartTimer,
    StopTimer,
    DisplayTick,
    Success,
    Failure,
    WindowClosed
};

enum class Program { NotStarted, Running, Ended };

const QString countingDown = "Recording starts in ";
const QString cancelled = "RECORD CANCELLED";
const QString recording = "RECORDING...";
const QString successful = "RECORD SUCCESSFUL";
const QString failed = "RECORD FAILED";
const QString waiting = "Waiting for the previous recording to end";
const QString newRecord = "New record";
const QString stop = "Stop";

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Happening)
Q_DECLARE_METATYPE(Program)

// A run's phases event by event, with the panel, the clock and the beeps standing in for the
// window, the time and the sound.
class RecordingRunTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void phaseTable_data();
    void phaseTable();
    void countdownFollowsTheClock_data();
    void countdownFollowsTheClock();
    void postponementChangedDuringCountdown();
    void noPostponementStartsOnTheNextTurn();
    void beepsKeepEventsFlowing();
    void cancelledRunLeavesNoFolder_data();
    void cancelledRunLeavesNoFolder();
    void runBegunWhileAnEndedRunsChooserIsOpen();
    void cancelledProgramGroupIsKilled();
    void waitedStartGetsFullStopTime();

private:
    void setUp(Setup setup);
    void happen(Happening happening);
    QTimer *timer(const char *name) const;
    QString firstFolder() const { return workingDirectory->filePath("1"); }

    std::unique_ptr<QTemporaryDir> workingDirectory;
    std::unique_ptr<FakePanel> panel;
    std::unique_ptr<RecordingRun> run;
    std::unique_ptr<QSignalSpy> starts;
    std::unique_ptr<QSignalSpy> stops;
    std::unique_ptr<QSignalSpy> folders;
    StandInProgram program;
    qint64 now = 5000000;
    QStringList beepLog;
    std::function<void(int)> onBeep;
};

void RecordingRunTest::init()
{
    workingDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workingDirectory->isValid());
    program = StandInProgram(workingDirectory->filePath("stimulus.sh"),
                             "echo $$ > \"$0.pid\"\nexec sleep 60\n");
    QVERIFY(program.isValid());
    panel = std::make_unique<FakePanel>();
    panel->directory = workingDirectory->path();
    panel->chosenDirectory = workingDirectory->path();
    run = std::make_unique<RecordingRun>(*panel);
    run->setClock([this] { return now; });
    beepLog.clear();
    onBeep = nullptr;
    run->setBeep([this] {
        beepLog << "beep";
        if (onBeep)
            onBeep(beepLog.count("beep"));
    });
    starts = std::make_unique<QSignalSpy>(run.get(), &RecordingRun::startRecording);
    stops = std::make_unique<QSignalSpy>(run.get(), &RecordingRun::stopRecording);
    folders = std::make_unique<QSignalSpy>(run.get(), &RecordingRun::workingDirectoryChanged);
}

void RecordingRunTest::cleanup()
{
    starts.reset();
    stops.reset();
    folders.reset();
    // Ends a program still running, as at the recorder's exit.
    run.reset();
    panel.reset();
    workingDirectory.reset();
}

QTimer *RecordingRunTest::timer(const char *name) const
{
    return run->findChild<QTimer *>(QString::fromLatin1(name));
}

void RecordingRunTest::happen(Happening happening)
{
    switch (happening) {
    case Happening::Nothing:
        break;
    case Happening::Press:
        run->press();
        break;
    case Happening::StartTimer:
        run->startRecorder();
        break;
    case Happening::StopTimer:
        run->stopRecorder();
        break;
    case Happening::DisplayTick:
        run->updatePostponeStart();
        break;
    case Happening::Success:
        run->recorded(true);
        break;
    case Happening::Failure:
        run->recorded(false);
        break;
    case Happening::WindowClosed:
        run->windowClosed();
        break;
    }
}

// Brings the run to the setup's phase by the events that lead there. The Starting setups
// stop short, in Countdown: their start comes with the row's event.
void RecordingRunTest::setUp(Setup setup)
{
    const auto recordThenStop = [this] {
        run->press();
        run->startRecorder();
        run->press();
    };
    switch (setup) {
    case Setup::Idle:
        break;
    case Setup::Countdown:
    case Setup::StartingInChooser:
    case Setup::StartingBetweenBeeps:
        run->press();
        break;
    case Setup::WaitingForRecorder:
        recordThenStop();
        run->press();
        run->startRecorder();
        break;
    case Setup::Recording:
        run->press();
        run->startRecorder();
        break;
    case Setup::RecordingAfterFailure:
        run->press();
        run->startRecorder();
        run->recorded(false);
        break;
    case Setup::Stopped:
        recordThenStop();
        break;
    case Setup::Finished:
        recordThenStop();
        run->recorded(true);
        break;
    }
}

void RecordingRunTest::phaseTable_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Happening>("happening");
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("startCount");
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<Program>("programAfter");

    const auto row = [](const char *name, Setup setup, Happening happening, Phase phase,
                        const QString &status, const QString &caption, int startCount,
                        int stopCount, Program programAfter) {
        QTest::newRow(name) << setup << happening << phase << status << caption << startCount
                            << stopCount << programAfter;
    };
    using S = Setup;
    using H = Happening;
    using P = Program;
    row("idle: press", S::Idle, H::Press, Phase::Countdown, countingDown, newRecord, 0, 0,
        P::NotStarted);
    row("idle: stray result", S::Idle, H::Success, Phase::Idle, successful, newRecord, 0, 0,
        P::NotStarted);

    row("countdown: tick", S::Countdown, H::DisplayTick, Phase::Countdown, countingDown, newRecord,
        0, 0, P::NotStarted);
    row("countdown: start timer", S::Countdown, H::StartTimer, Phase::Recording, recording, stop, 1,
        0, P::Running);
    row("countdown: press", S::Countdown, H::Press, Phase::Finished, cancelled, newRecord, 0, 0,
        P::NotStarted);
    row("countdown: stop timer", S::Countdown, H::StopTimer, Phase::Finished, cancelled, newRecord,
        0, 0, P::NotStarted);
    row("countdown: previous run's result", S::Countdown, H::Success, Phase::Countdown, successful,
        newRecord, 0, 0, P::NotStarted);
    row("countdown: window closed", S::Countdown, H::WindowClosed, Phase::Finished, cancelled,
        newRecord, 0, 0, P::NotStarted);

    row("starting: chooser closed", S::StartingInChooser, H::Nothing, Phase::Recording, recording,
        stop, 1, 0, P::Running);
    row("starting: press in the chooser", S::StartingInChooser, H::Press, Phase::Finished,
        cancelled, newRecord, 0, 0, P::NotStarted);
    row("starting: stop timer in the chooser", S::StartingInChooser, H::StopTimer, Phase::Finished,
        cancelled, newRecord, 0, 0, P::NotStarted);
    row("starting: window closed in the chooser", S::StartingInChooser, H::WindowClosed,
        Phase::Finished, cancelled, newRecord, 0, 0, P::NotStarted);
    row("starting: beeps done", S::StartingBetweenBeeps, H::Nothing, Phase::Recording, recording,
        stop, 1, 0, P::Running);
    row("starting: press between beeps", S::StartingBetweenBeeps, H::Press, Phase::Finished,
        cancelled, newRecord, 0, 0, P::Ended);
    row("starting: stop timer between beeps", S::StartingBetweenBeeps, H::StopTimer,
        Phase::Finished, cancelled, newRecord, 0, 0, P::Ended);
    row("starting: window closed between beeps", S::StartingBetweenBeeps, H::WindowClosed,
        Phase::Finished, cancelled, newRecord, 0, 0, P::Ended);

    // The program of the first run still runs, so the second does not start its own.
    row("waiting: previous result", S::WaitingForRecorder, H::Success, Phase::Recording, recording,
        stop, 2, 1, P::Running);
    row("waiting: previous run failed", S::WaitingForRecorder, H::Failure, Phase::Recording,
        recording, stop, 2, 1, P::Running);
    row("waiting: press", S::WaitingForRecorder, H::Press, Phase::Finished, cancelled, newRecord, 1,
        1, P::Running);
    row("waiting: stop timer", S::WaitingForRecorder, H::StopTimer, Phase::WaitingForRecorder,
        waiting, newRecord, 1, 1, P::Running);
    row("waiting: window closed", S::WaitingForRecorder, H::WindowClosed, Phase::Finished,
        cancelled, newRecord, 1, 1, P::Running);

    row("recording: press", S::Recording, H::Press, Phase::Stopped, recording, newRecord, 1, 1,
        P::Running);
    row("recording: stop timer", S::Recording, H::StopTimer, Phase::Stopped, recording, newRecord,
        1, 1, P::Running);
    row("recording: start timer again", S::Recording, H::StartTimer, Phase::Recording, recording,
        stop, 1, 0, P::Running);
    row("recording: recorder failed early", S::Recording, H::Failure, Phase::Recording, failed,
        stop, 1, 0, P::Running);
    row("recording: window closed", S::Recording, H::WindowClosed, Phase::Recording, recording,
        stop, 1, 0, P::Running);
    row("recording after failure: press", S::RecordingAfterFailure, H::Press, Phase::Finished,
        failed, newRecord, 1, 1, P::Running);
    row("recording after failure: stop timer", S::RecordingAfterFailure, H::StopTimer,
        Phase::Finished, failed, newRecord, 1, 1, P::Running);

    row("stopped: result", S::Stopped, H::Success, Phase::Finished, successful, newRecord, 1, 1,
        P::Running);
    row("stopped: failed result", S::Stopped, H::Failure, Phase::Finished, failed, newRecord, 1, 1,
        P::Running);
    row("stopped: press begins the next run", S::Stopped, H::Press, Phase::Countdown, countingDown,
        newRecord, 1, 1, P::Running);
    row("stopped: stop timer", S::Stopped, H::StopTimer, Phase::Stopped, recording, newRecord, 1, 1,
        P::Running);

    row("finished: press", S::Finished, H::Press, Phase::Countdown, countingDown, newRecord, 1, 1,
        P::Running);
    row("finished: stray result", S::Finished, H::Failure, Phase::Finished, failed, newRecord, 1, 1,
        P::Running);
}

void RecordingRunTest::phaseTable()
{
    QFETCH(Setup, setup);
    QFETCH(Happening, happening);
    QFETCH(Phase, phase);
    QFETCH(QString, status);
    QFETCH(QString, caption);
    QFETCH(int, startCount);
    QFETCH(int, stopCount);
    QFETCH(Program, programAfter);
    panel->program = program.path();
    setUp(setup);
    qint64 firstProgram = 0;
    if (setup == Setup::WaitingForRecorder) {
        QTRY_VERIFY_WITH_TIMEOUT(program.pid() > 0, 20000);
        firstProgram = program.pid();
    }

    switch (setup) {
    case Setup::StartingInChooser:
        panel->directory.clear();
        panel->whileChoosing = [this, happening] { happen(happening); };
        run->startRecorder();
        QCOMPARE(panel->choosersOpened, 1);
        break;
    case Setup::StartingBetweenBeeps:
        panel->beeps = true;
        // Once the program runs, so that it is there to be ended.
        onBeep = [this, happening](int beep) {
            if (beep != 1)
                return;
            QVERIFY(QTest::qWaitFor([this] { return program.pid() > 0; }, 20000));
            QTimer::singleShot(0, this, [this, happening] { happen(happening); });
        };
        run->startRecorder();
        QCOMPARE(beepLog.count(), happening == Happening::Nothing ? 3 : 1);
        break;
    default:
        happen(happening);
        break;
    }

    QCOMPARE(run->phase(), phase);
    QCOMPARE(panel->status, status);
    QCOMPARE(panel->caption, caption);
    QCOMPARE(starts->count(), startCount);
    QCOMPARE(stops->count(), stopCount);
    for (const QList<QVariant> &start : *starts)
        QCOMPARE(start.first().toInt(), panel->cameraNumber);

    switch (programAfter) {
    case Program::NotStarted:
        QTest::qWait(200);
        QCOMPARE(program.pid(), 0);
        break;
    case Program::Running:
        QTRY_VERIFY_WITH_TIMEOUT(program.pid() > 0, 20000);
        QVERIFY(StandInProgram::isRunning(program.pid()));
        if (firstProgram)
            QCOMPARE(program.pid(), firstProgram);
        break;
    case Program::Ended:
        QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::isRunning(program.pid()), 20000);
        break;
    }
    // A run that was cancelled leaves no folder behind; every other keeps its own.
    if (!folders->isEmpty())
        QCOMPARE(QDir(folders->last().first().toString()).exists(), status != cancelled);
}

void RecordingRunTest::countdownFollowsTheClock_data()
{
    QTest::addColumn<int>("postponement");
    QTest::addColumn<QList<qint64>>("ticksAt");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("nextTickIn");
    QTest::newRow("65 s, on time")
        << 65 << QList<qint64>{0, 1000, 2000, 64000} << QStringList{"1:5", "1:4", "1:3", "0:1"}
        << QList<int>{1000, 1000, 1000, 1000};
    // A late tick shows the time left and aims the next at the following whole second.
    QTest::newRow("late ticks do not add up")
        << 10 << QList<qint64>{0, 1700, 2050, 9999} << QStringList{"0:10", "0:9", "0:8", "0:1"}
        << QList<int>{1000, 300, 950, 1};
    QTest::newRow("the end shows nothing more")
        << 2 << QList<qint64>{0, 2000, 2500} << QStringList{"0:2", "0:2", "0:2"}
        << QList<int>{1000, 0, 0};
    QTest::newRow("an hour and more")
        << 3725 << QList<qint64>{0, 125000} << QStringList{"2:5", "0:0"} << QList<int>{1000, 1000};
}

void RecordingRunTest::countdownFollowsTheClock()
{
    QFETCH(int, postponement);
    QFETCH(QList<qint64>, ticksAt);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, nextTickIn);
    panel->postponement = postponement;
    const qint64 pressedAt = now;
    for (int tick = 0; tick < ticksAt.size(); ++tick) {
        now = pressedAt + ticksAt[tick];
        if (tick == 0)
            run->press();
        else
            run->updatePostponeStart();
        QCOMPARE(panel->time, texts[tick]);
        // 0: the countdown is over, and no tick comes any more.
        if (nextTickIn[tick] > 0)
            QCOMPARE(timer("countdownTimer")->interval(), nextTickIn[tick]);
    }
}

// The start stays where the press put it; the display follows the new value.
void RecordingRunTest::postponementChangedDuringCountdown()
{
    panel->postponement = 1;
    run->press();
    QCOMPARE(panel->time, QStringLiteral("0:1"));
    panel->postponement = 4;
    now += 500;
    run->updatePostponeStart();
    QCOMPARE(panel->time, QStringLiteral("0:4"));
    QCOMPARE(timer("startRecorderTimer")->interval(), 1000);
    QVERIFY(timer("startRecorderTimer")->isActive());

    // Once recording starts the display chain ends, leaving the time to the recorder.
    run->startRecorder();
    QVERIFY(!timer("countdownTimer")->isActive());
    panel->time = "00:00";
    now += 1000;
    run->updatePostponeStart();
    QCOMPARE(panel->time, QStringLiteral("00:00"));
}

void RecordingRunTest::noPostponementStartsOnTheNextTurn()
{
    panel->postponement = 0;
    panel->length = 2;
    panel->time = "12:34";
    run->press();
    QCOMPARE(panel->status, countingDown);
    QCOMPARE(panel->time, QStringLiteral("12:34"));
    QCOMPARE(starts->count(), 0);
    QCOMPARE(timer("startRecorderTimer")->interval(), 0);
    QCOMPARE(timer("stopRecorderTimer")->interval(), 7000);
    QVERIFY(starts->wait(20000));
    QCOMPARE(run->phase(), Phase::Recording);
}

// Three beeps about a second apart, and between them the run goes on handling events.
void RecordingRunTest::beepsKeepEventsFlowing()
{
    panel->beeps = true;
    QList<qint64> beepTimes;
    QElapsedTimer clock;
    clock.start();
    onBeep = [&](int beep) {
        beepTimes << clock.elapsed();
        if (beep == 1)
            QTimer::singleShot(0, this, [this] { beepLog << "event"; });
    };
    connect(run.get(), &RecordingRun::startRecording, this, [this] { beepLog << "start"; });
    run->press();
    run->startRecorder();
    QCOMPARE(beepLog, (QStringList{"beep", "event", "beep", "beep", "start"}));
    QCOMPARE(beepTimes.size(), 3);
    for (int pause = 1; pause < 3; ++pause)
        QVERIFY2(beepTimes[pause] - beepTimes[pause - 1] >= 950,
                 qPrintable(QString::number(beepTimes[pause] - beepTimes[pause - 1])));
}

void RecordingRunTest::cancelledRunLeavesNoFolder_data()
{
    QTest::addColumn<bool>("fileInFolder");
    QTest::newRow("empty folder removed") << false;
    QTest::newRow("folder with a file kept") << true;
}

// The next run gets the cancelled run's number again, so the numbers count the runs that
// recorded.
void RecordingRunTest::cancelledRunLeavesNoFolder()
{
    QFETCH(bool, fileInFolder);
    run->press();
    QCOMPARE(folders->takeFirst().first().toString(), firstFolder());
    QVERIFY(QDir(firstFolder()).exists());
    if (fileInFolder) {
        QFile file(QDir(firstFolder()).filePath("notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    run->press();
    QCOMPARE(panel->status, cancelled);
    QCOMPARE(QDir(firstFolder()).exists(), fileInFolder);

    run->press();
    QCOMPARE(folders->takeFirst().first().toString(),
             workingDirectory->filePath(fileInFolder ? "2" : "1"));
}

// A run cancelled in the chooser, and a new run that records while that chooser is still
// open: when it closes, the cancelled run asks for nothing.
void RecordingRunTest::runBegunWhileAnEndedRunsChooserIsOpen()
{
    panel->postponement = 0;
    run->press();
    panel->directory.clear();
    panel->whileChoosing = [this] {
        run->press();
        QCOMPARE(panel->status, cancelled);
        panel->directory = workingDirectory->path();
        run->press();
        run->startRecorder();
        QCOMPARE(run->phase(), Phase::Recording);
    };
    run->startRecorder();
    QCOMPARE(panel->choosersOpened, 1);
    QCOMPARE(run->phase(), Phase::Recording);
    QCOMPARE(starts->count(), 1);
    QCOMPARE(panel->status, recording);
}

// A program that ignores the request to end, with a child that ignores it too: both are
// killed after the grace, or at once when the next run starts its own program meanwhile, or
// when the run goes with the window.
void RecordingRunTest::cancelledProgramGroupIsKilled()
{
    StandInProgram stubborn(workingDirectory->filePath("stubborn.sh"),
                            "trap '' TERM\n"
                            "sleep 60 &\n"
                            "echo $! > \"$0.child\"\n"
                            "echo started >> \"$0.log\"\n"
                            "echo $$ > \"$0.pid\"\n"
                            "while :; do wait; done\n");
    QVERIFY(stubborn.isValid());
    panel->program = stubborn.path();
    // Cancels between the beeps, once the program has written its id, the last thing it does
    // before it waits.
    onBeep = [&](int beep) {
        if (beep != 1)
            return;
        QVERIFY(QTest::qWaitFor([&] { return stubborn.pid() > 0; }, 20000));
        QTimer::singleShot(0, this, [this] { run->press(); });
    };
    const auto startProgram = [&](bool cancelBetweenBeeps) {
        QFile::remove(stubborn.path() + ".pid");
        beepLog.clear();
        panel->beeps = cancelBetweenBeeps;
        run->press();
        run->startRecorder();
        QVERIFY(QTest::qWaitFor([&] { return stubborn.pid() > 0; }, 20000));
    };

    QTest::ignoreMessage(QtDebugMsg, "MW: program killed");
    startProgram(true);
    QCOMPARE(panel->status, cancelled);
    const qint64 first = stubborn.pid();
    const qint64 firstChild = stubborn.pid("child");
    QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::exists(first), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::isRunning(firstChild), 20000);

    startProgram(true);
    const qint64 second = stubborn.pid();
    const qint64 secondChild = stubborn.pid("child");
    QTest::ignoreMessage(QtDebugMsg, "MW: program killed");
    startProgram(false);
    QCOMPARE(run->phase(), Phase::Recording);
    QVERIFY(!StandInProgram::exists(second));
    QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::isRunning(secondChild), 20000);
    const qint64 third = stubborn.pid();
    const qint64 thirdChild = stubborn.pid("child");
    QVERIFY(third != second);
    QVERIFY(StandInProgram::isRunning(third));
    QCOMPARE(stubborn.written("log"), QStringLiteral("started\nstarted\nstarted\n"));

    QTest::ignoreMessage(QtDebugMsg, "MW: program killed");
    run.reset();
    QVERIFY(!StandInProgram::exists(third));
    QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::isRunning(thirdChild), 20000);
}

// The stop timer waits with the run, and then gives the recording its whole length.
void RecordingRunTest::waitedStartGetsFullStopTime()
{
    panel->postponement = 3;
    panel->length = 10;
    setUp(Setup::WaitingForRecorder);
    QCOMPARE(panel->status, waiting);
    QVERIFY(!timer("stopRecorderTimer")->isActive());
    run->recorded(true);
    QCOMPARE(run->phase(), Phase::Recording);
    QVERIFY(timer("stopRecorderTimer")->isActive());
    QCOMPARE(timer("stopRecorderTimer")->interval(), 15000);
    QVERIFY(timer("stopRecorderTimer")->remainingTime() > 14000);
}

QTEST_MAIN(RecordingRunTest)
#include "tst_RecordingRun.moc"
