#include "tests/support/FakeRunPanel.h"
#include "tests/support/StandInProgram.h"
#include "ui/RunControl.h"
#include "ui/RunPanel.h"
#include "ui/RunTimes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

using Phase = RunControl::Phase;

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

// The program a run starts: none, one that runs, or one that cannot be run.
enum class Stimulus { None, Runs, Missing };

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
Q_DECLARE_METATYPE(Stimulus)

// A run's phases event by event, with the panel, the clock and the beeps standing in for the
// window, the time and the sound.
class RunControlTest : public QObject
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
    void runEvents_data();
    void runEvents();
    void statusReasons_data();
    void statusReasons();

private:
    void setUp(Setup setup);
    void happen(Happening happening);
    QStringList playSteps(const QStringList &steps, const QString &atFirstBeep);
    void playStep(const QString &step);
    QTimer *timer(const char *name) const;
    QString firstFolder() const { return workingDirectory->filePath("1"); }

    std::unique_ptr<QTemporaryDir> workingDirectory;
    std::unique_ptr<FakeRunPanel> panel;
    std::unique_ptr<RunControl> run;
    std::unique_ptr<QSignalSpy> starts;
    std::unique_ptr<QSignalSpy> stops;
    std::unique_ptr<QSignalSpy> folders;
    StandInProgram program;
    qint64 now = 5000000;
    QStringList beepLog;
    std::function<void(int)> onBeep;
};

void RunControlTest::init()
{
    workingDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workingDirectory->isValid());
    program = StandInProgram(workingDirectory->filePath("stimulus.sh"),
                             "echo $$ > \"$0.pid\"\nexec sleep 60\n");
    QVERIFY(program.isValid());
    panel = std::make_unique<FakeRunPanel>();
    panel->directory = workingDirectory->path();
    panel->chosenDirectory = workingDirectory->path();
    run = std::make_unique<RunControl>(*panel);
    run->setClock([this] { return now; });
    beepLog.clear();
    onBeep = nullptr;
    run->setBeep([this] {
        beepLog << "beep";
        if (onBeep)
            onBeep(beepLog.count("beep"));
        return now;
    });
    starts = std::make_unique<QSignalSpy>(run.get(), &RunControl::startRecording);
    stops = std::make_unique<QSignalSpy>(run.get(), &RunControl::stopRecording);
    folders = std::make_unique<QSignalSpy>(run.get(), &RunControl::workingDirectoryChanged);
}

void RunControlTest::cleanup()
{
    starts.reset();
    stops.reset();
    folders.reset();
    // Ends a program still running, as at the recorder's exit.
    run.reset();
    panel.reset();
    workingDirectory.reset();
}

QTimer *RunControlTest::timer(const char *name) const
{
    return run->findChild<QTimer *>(QString::fromLatin1(name));
}

void RunControlTest::happen(Happening happening)
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
        run->windowClosed(false);
        break;
    }
}

// Brings the run to the setup's phase by the events that lead there. The Starting setups
// stop short, in Countdown: their start comes with the row's event.
void RunControlTest::setUp(Setup setup)
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

void RunControlTest::phaseTable_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Happening>("happening");
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("startCount");
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<Program>("programAfter");
    // A cancelled run never keeps its folder; a run whose recorder ended it keeps it only
    // when the recorder wrote into it, which the tests' recorder never does.
    QTest::addColumn<bool>("folderKept");

    const auto row = [](const char *name, Setup setup, Happening happening, Phase phase,
                        const QString &status, const QString &caption, int startCount,
                        int stopCount, Program programAfter, bool folderKept = true) {
        QTest::newRow(name) << setup << happening << phase << status << caption << startCount
                            << stopCount << programAfter << folderKept;
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
    // Nothing records any more: the run ends at once, a failure as a cancel does.
    row("recording: recorder failed", S::Recording, H::Failure, Phase::Finished, failed, newRecord,
        1, 0, P::Ended, false);
    row("recording: source ended", S::Recording, H::Success, Phase::Finished, successful, newRecord,
        1, 0, P::Running, false);
    row("recording: window closed", S::Recording, H::WindowClosed, Phase::Recording, recording,
        stop, 1, 0, P::Running);
    row("recording after failure: press begins the next run", S::RecordingAfterFailure, H::Press,
        Phase::Countdown, countingDown, newRecord, 1, 0, P::Ended);
    row("recording after failure: stop timer", S::RecordingAfterFailure, H::StopTimer,
        Phase::Finished, failed, newRecord, 1, 0, P::Ended, false);

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

void RunControlTest::phaseTable()
{
    QFETCH(Setup, setup);
    QFETCH(Happening, happening);
    QFETCH(Phase, phase);
    QFETCH(QString, status);
    QFETCH(QString, caption);
    QFETCH(int, startCount);
    QFETCH(int, stopCount);
    QFETCH(Program, programAfter);
    QFETCH(bool, folderKept);
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
    if (!folders->isEmpty())
        QCOMPARE(QDir(folders->last().first().toString()).exists(),
                 folderKept && status != cancelled);
}

void RunControlTest::countdownFollowsTheClock_data()
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

void RunControlTest::countdownFollowsTheClock()
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
void RunControlTest::postponementChangedDuringCountdown()
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

void RunControlTest::noPostponementStartsOnTheNextTurn()
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
void RunControlTest::beepsKeepEventsFlowing()
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
    connect(run.get(), &RunControl::startRecording, this, [this] { beepLog << "start"; });
    run->press();
    run->startRecorder();
    QCOMPARE(beepLog, (QStringList{"beep", "event", "beep", "beep", "start"}));
    QCOMPARE(beepTimes.size(), 3);
    for (int pause = 1; pause < 3; ++pause)
        QVERIFY2(beepTimes[pause] - beepTimes[pause - 1] >= 950,
                 qPrintable(QString::number(beepTimes[pause] - beepTimes[pause - 1])));
}

void RunControlTest::cancelledRunLeavesNoFolder_data()
{
    QTest::addColumn<bool>("fileInFolder");
    QTest::newRow("empty folder removed") << false;
    QTest::newRow("folder with a file kept") << true;
}

// The next run gets the cancelled run's number again, so the numbers count the runs that
// recorded.
void RunControlTest::cancelledRunLeavesNoFolder()
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
void RunControlTest::runBegunWhileAnEndedRunsChooserIsOpen()
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
void RunControlTest::cancelledProgramGroupIsKilled()
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
void RunControlTest::waitedStartGetsFullStopTime()
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

// One step of a scripted run: "+N" moves the clock on by N ms, "explain:TEXT" gives the
// recorder's reason for the next result, the others are the run's events and settings.
void RunControlTest::playStep(const QString &step)
{
    if (step.startsWith('+')) {
        now += step.mid(1).toLongLong();
    } else if (step.startsWith("explain:")) {
        run->explainResult(step.mid(8));
    } else if (step == "press") {
        run->press();
    } else if (step == "start") {
        run->startRecorder();
    } else if (step == "stop timer") {
        run->stopRecorder();
    } else if (step == "success") {
        run->recorded(true);
    } else if (step == "failure") {
        run->recorded(false);
    } else if (step == "close") {
        run->windowClosed(false);
    } else if (step == "signal") {
        run->windowClosed(true);
    } else if (step == "no directory") {
        panel->directory.clear();
    } else if (step == "directory gone") {
        panel->directory = workingDirectory->filePath("gone");
    } else if (step == "directory a file") {
        panel->directory = program.path();
    } else if (step == "too long") {
        panel->postponement = RunTimes::longestSeconds;
        panel->length = 1;
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

// Plays the steps, atFirstBeep in the pause after the first beep, and returns what the run
// told the recorder in order: its events as "event(detail)@ms" on the clock since the first
// step, its requests as "<folder>", "<record>" and "<stop>". Each beep takes a second of the
// clock.
QStringList RunControlTest::playSteps(const QStringList &steps, const QString &atFirstBeep)
{
    const qint64 begin = now;
    QStringList log;
    connect(run.get(), &RunControl::runEvent, this,
            [&](const QString &event, qint64 monotonicMs, const QString &detail) {
                const QString detailText = detail.isEmpty() ? QString() : '(' + detail + ')';
                log << QString("%1%2@%3").arg(event, detailText).arg(monotonicMs - begin);
            });
    connect(run.get(), &RunControl::workingDirectoryChanged, this, [&] { log << "<folder>"; });
    connect(run.get(), &RunControl::startRecording, this, [&] { log << "<record>"; });
    connect(run.get(), &RunControl::stopRecording, this, [&] { log << "<stop>"; });
    run->setBeep([&] {
        const qint64 at = now;
        now += 1000;
        if (beepLog.size() == 0 && !atFirstBeep.isEmpty())
            QTimer::singleShot(0, this, [&] { playStep(atFirstBeep); });
        beepLog << "beep";
        return at;
    });
    for (const QString &step : steps)
        playStep(step);
    run->disconnect(this);
    return log;
}

void RunControlTest::runEvents_data()
{
    QTest::addColumn<Stimulus>("stimulus");
    QTest::addColumn<bool>("beeps");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("atFirstBeep");
    QTest::addColumn<QStringList>("told");

    QTest::newRow("timer ends a run with program and beeps")
        << Stimulus::Runs << true
        << QStringList{"press", "+3000", "start", "+7000", "stop timer", "+400", "success"}
        << QString()
        << QStringList{"<folder>",
                       "new record pressed@0",
                       "program started(PROGRAM)@3000",
                       "beep@3000",
                       "beep@4000",
                       "beep@5000",
                       "<record>",
                       "stop asked(timer)@13000",
                       "<stop>"};
    QTest::newRow("button stops a run without program or beeps")
        << Stimulus::None << false
        << QStringList{"press", "+2000", "start", "+1500", "press", "success"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "<record>", "stop asked(button)@3500",
                       "<stop>"};
    QTest::newRow("program that cannot be run")
        << Stimulus::Missing << false
        << QStringList{"press", "+1000", "start", "+500", "stop timer"} << QString()
        << QStringList{"<folder>", "new record pressed@0",   "program failed to start(ERROR)@1000",
                       "<record>", "stop asked(timer)@1500", "<stop>"};
    QTest::newRow("press in the countdown")
        << Stimulus::Runs << true << QStringList{"press", "+800", "press"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "stop asked(button)@800"};
    QTest::newRow("stop timer between the beeps")
        << Stimulus::None << true << QStringList{"press", "+1000", "start"} << "stop timer"
        << QStringList{"<folder>", "new record pressed@0", "beep@1000", "stop asked(timer)@2000"};
    QTest::newRow("window closed while recording")
        << Stimulus::None << false << QStringList{"press", "start", "+2500", "close"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "<record>",
                       "stop asked(window closed)@2500"};
    QTest::newRow("signal while recording")
        << Stimulus::None << false << QStringList{"press", "start", "+2500", "signal"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "<record>", "stop asked(signal)@2500"};
    QTest::newRow("signal in the countdown")
        << Stimulus::None << false << QStringList{"press", "+300", "signal"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "stop asked(signal)@300"};
    QTest::newRow("window closed after the stop")
        << Stimulus::None << false
        << QStringList{"press", "start", "+1000", "stop timer", "+200", "close"} << QString()
        << QStringList{"<folder>", "new record pressed@0", "<record>", "stop asked(timer)@1000",
                       "<stop>"};
    // The second run's events follow its folder, while the first recording is still ending.
    QTest::newRow("a run while the previous recording ends")
        << Stimulus::None << false << QStringList{"press", "start", "+1000", "press",  "press",
                                                  "+2000", "start", "+5",    "success"}
        << QString() << QStringList{"<folder>",
                                    "new record pressed@0",
                                    "<record>",
                                    "stop asked(button)@1000",
                                    "<stop>",
                                    "<folder>",
                                    "new record pressed@1000",
                                    "<record>"};
    QTest::newRow("no working directory")
        << Stimulus::Runs << true << QStringList{"no directory", "press"} << QString()
        << QStringList{};
    QTest::newRow("run too long") << Stimulus::Runs << true << QStringList{"too long", "press"}
                                  << QString() << QStringList{};
}

// What the run tells the recorder for its run record, and when on the run's clock: each way a
// run goes.
void RunControlTest::runEvents()
{
    QFETCH(Stimulus, stimulus);
    QFETCH(bool, beeps);
    QFETCH(QStringList, steps);
    QFETCH(QString, atFirstBeep);
    QFETCH(QStringList, told);
    panel->beeps = beeps;
    if (stimulus == Stimulus::Runs)
        panel->program = program.path();
    if (stimulus == Stimulus::Missing) {
        panel->program = workingDirectory->filePath("no such program");
        QTest::ignoreMessage(QtDebugMsg, "MW: program failed to start");
    }

    QStringList log = playSteps(steps, atFirstBeep);
    // The error is the system's text: it is there, whatever it says.
    for (QString &entry : log) {
        static const QRegularExpression error(R"(^program failed to start\((.+)\)@)");
        entry.replace(error, "program failed to start(ERROR)@");
    }
    QCOMPARE(log, told.replaceInStrings("PROGRAM", panel->program));
}

void RunControlTest::statusReasons_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("atFirstBeep");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason");

    const QString noDirectory = "Please select working directory first!";
    QTest::newRow("no working directory") << QStringList{"no directory", "press"} << QString()
                                          << noDirectory << "No working directory chosen";
    QTest::newRow("working directory gone") << QStringList{"directory gone", "press"} << QString()
                                            << noDirectory << "WORKING/gone does not exist";
    QTest::newRow("working directory a file")
        << QStringList{"directory a file", "press"} << QString() << noDirectory
        << "WORKING/stimulus.sh is not a directory";
    QTest::newRow("run too long")
        << QStringList{"too long", "press"} << QString()
        << "Postponement and video length too long: at most 2147478 seconds together"
        << "2147478 s postponement + 1 s video length = 2147479 s, more than 2147478 s";
    QTest::newRow("cancelled by the button in the countdown")
        << QStringList{"press", "press"} << QString() << cancelled
        << "Cancelled: the button was pressed during the countdown";
    QTest::newRow("cancelled by the stop timer in the countdown")
        << QStringList{"press", "stop timer"} << QString() << cancelled
        << "Cancelled: the run's time was up during the countdown";
    QTest::newRow("cancelled by closing between the beeps")
        << QStringList{"press", "start"} << "close" << cancelled
        << "Cancelled: the window was closed before recording started";
    QTest::newRow("cancelled by a signal while the previous recording ends")
        << QStringList{"press", "start", "press", "press", "start", "signal"} << QString()
        << cancelled
        << "Cancelled: the program was asked to end while the previous recording was ending";
    QTest::newRow("result with its reason")
        << QStringList{"press", "start", "press", "explain:3 frames lost", "failure"} << QString()
        << failed << "3 frames lost";
    QTest::newRow("result without a reason") << QStringList{"press", "start", "press", "success"}
                                             << QString() << successful << QString();
    QTest::newRow("a reason goes with its result only")
        << QStringList{"press", "start", "press",  "explain:3 frames lost", "failure", "press",
                       "start", "press", "success"}
        << QString() << successful << QString();
    QTest::newRow("the next status replaces the reason")
        << QStringList{"press",   "start", "press", "explain:612 frames, 60.0 fps",
                       "success", "press"}
        << QString() << countingDown << QString();
}

// The status keeps its own texts; its reason says in one line why the last one came about.
void RunControlTest::statusReasons()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, atFirstBeep);
    QFETCH(QString, status);
    QFETCH(QString, reason);
    panel->beeps = !atFirstBeep.isEmpty();
    playSteps(steps, atFirstBeep);
    QCOMPARE(panel->status, status);
    QCOMPARE(panel->reason, QString(reason).replace("WORKING", workingDirectory->path()));
}

QTEST_MAIN(RunControlTest)
#include "tst_RunControl.moc"
