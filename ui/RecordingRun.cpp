#include "RecordingRun.h"

#include "CountdownText.h"
#include "RecordNumber.h"
#include "RunPanel.h"
#include "RunReasons.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>

#include <utility>

namespace {

// The run's texts are the window's own.
QString text(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

qint64 monotonicNow()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

constexpr int beepPauseMs = 1000;

} // namespace

// Every event of a run, in each phase that handles it. An event that a phase does not list
// changes nothing.
// clang-format off
const RecordingRun::Transition RecordingRun::transitions[] = {
    // From                     Event                 What happens
    {Phase::Idle,               Event::Press,         &RecordingRun::beginRun},
    {Phase::Stopped,            Event::Press,         &RecordingRun::beginRun},
    {Phase::Finished,           Event::Press,         &RecordingRun::beginRun},
    {Phase::Countdown,          Event::DisplayTick,   &RecordingRun::showCountdown},
    {Phase::Countdown,          Event::StartTimer,    &RecordingRun::endCountdown},
    {Phase::Countdown,          Event::Press,         &RecordingRun::cancelRun},
    {Phase::Countdown,          Event::StopTimer,     &RecordingRun::cancelRun},
    {Phase::Countdown,          Event::WindowClosed,  &RecordingRun::cancelRun},
    {Phase::Starting,           Event::Press,         &RecordingRun::cancelRun},
    {Phase::Starting,           Event::StopTimer,     &RecordingRun::cancelRun},
    {Phase::Starting,           Event::WindowClosed,  &RecordingRun::cancelRun},
    {Phase::WaitingForRecorder, Event::Result,        &RecordingRun::endWaitForRecorder},
    {Phase::WaitingForRecorder, Event::Press,         &RecordingRun::cancelRun},
    {Phase::WaitingForRecorder, Event::WindowClosed,  &RecordingRun::cancelRun},
    {Phase::Recording,          Event::Press,         &RecordingRun::stopRun},
    {Phase::Recording,          Event::StopTimer,     &RecordingRun::stopRun},
    // The recorder's quit ends the recording.
    {Phase::Recording,          Event::WindowClosed,  &RecordingRun::noteStopAsked},
    // The recorder ended by itself: it failed, or its source ended.
    {Phase::Recording,          Event::Result,        &RecordingRun::endWithRecorder},
    {Phase::Stopped,            Event::Result,        &RecordingRun::finishRun},
};
// clang-format on

RecordingRun::RecordingRun(RunPanel &panel, QObject *parent)
    : QObject(parent), panel(panel), clock(monotonicNow), beep([this] {
          QApplication::beep();
          return clock();
      }),
      stopRecorderTimer(this), startRecorderTimer(this), countdownTimer(this)
{
    // Named children, so that the run's timers can be looked at from outside.
    stopRecorderTimer.setObjectName(QStringLiteral("stopRecorderTimer"));
    startRecorderTimer.setObjectName(QStringLiteral("startRecorderTimer"));
    countdownTimer.setObjectName(QStringLiteral("countdownTimer"));
    startRecorderTimer.setSingleShot(true);
    stopRecorderTimer.setSingleShot(true);
    // Coarse timers may fire 5% early or late and round long intervals to whole seconds;
    // recording must start when the countdown reaches zero and last the time asked for.
    startRecorderTimer.setTimerType(Qt::PreciseTimer);
    stopRecorderTimer.setTimerType(Qt::PreciseTimer);
    connect(&startRecorderTimer, &QTimer::timeout, this, &RecordingRun::startRecorder);
    connect(&stopRecorderTimer, &QTimer::timeout, this, &RecordingRun::stopRecorder);
    beepTimer.setSingleShot(true);
    beepTimer.setTimerType(Qt::PreciseTimer);
    connect(&beepTimer, &QTimer::timeout, &beepLoop, &QEventLoop::quit);
    countdownTimer.setSingleShot(true);
    countdownTimer.setTimerType(Qt::PreciseTimer);
    connect(&countdownTimer, &QTimer::timeout, this, &RecordingRun::updatePostponeStart);
    connect(&process, &StimulusProgram::endedWithFailure, this, &RecordingRun::programFailed);
}

void RecordingRun::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

void RecordingRun::setBeep(Beep newBeep)
{
    beep = std::move(newBeep);
}

bool RecordingRun::recordInProgress() const
{
    switch (currentPhase) {
    case Phase::Countdown:
    case Phase::Starting:
    case Phase::WaitingForRecorder:
    case Phase::Recording:
        return true;
    case Phase::Idle:
    case Phase::Stopped:
    case Phase::Finished:
        break;
    }
    return false;
}

void RecordingRun::press()
{
    handle(Event::Press);
}

void RecordingRun::startRecorder()
{
    handle(Event::StartTimer);
}

void RecordingRun::stopRecorder()
{
    handle(Event::StopTimer);
}

void RecordingRun::updatePostponeStart()
{
    handle(Event::DisplayTick);
}

void RecordingRun::explainResult(const QString &reason)
{
    resultReason = reason;
}

// Whatever the phase, the result is shown: with a new run counting down it may be the
// previous run's. Its reason goes with it, and only with it.
void RecordingRun::recorded(bool successful)
{
    recorderBusy = false;
    resultSuccessful = successful;
    showStatus(successful ? text("RECORD SUCCESSFUL") : text("RECORD FAILED"),
               RunReasons::joined({std::exchange(resultReason, QString()),
                                   std::exchange(programTrouble, QString())}));
    panel.showPreview(false);
    handle(Event::Result);
}

void RecordingRun::windowClosed(bool bySignal)
{
    closedBySignal = bySignal;
    handle(Event::WindowClosed);
}

void RecordingRun::handle(Event event)
{
    for (const Transition &transition : transitions) {
        if (transition.from == currentPhase && transition.event == event) {
            currentEvent = event;
            (this->*transition.action)();
            return;
        }
    }
}

void RecordingRun::beginRun()
{
    const QString directory = panel.workingDirectory();
    // An empty path would name the current directory and put the record folder at the root.
    if (directory.isEmpty() || !QDir(directory).exists()) {
        showStatus(text("Please select working directory first!"),
                   RunReasons::missingDirectory(directory));
        return;
    }
    const int postpone = panel.postponementSeconds();
    const int length = panel.videoLengthSeconds();
    const std::optional<RunTimes> runTimes = RunTimes::of(postpone, length);
    if (!runTimes) {
        showStatus(text("Postponement and video length too long: at most %1 seconds together")
                       .arg(RunTimes::longestSeconds),
                   RunReasons::tooLong(postpone, length));
        return;
    }
    const QString folder = directory + QLatin1Char('/') + RecordNumber::next(directory);
    emit workingDirectoryChanged(folder);
    createdFolder = QDir().mkdir(folder) ? folder : QString();
    times = *runTimes;
    startedProgram.clear();
    // A result still awaited belongs to the previous run, and so does its program's trouble.
    if (!recorderBusy)
        programTrouble.clear();
    currentPhase = Phase::Countdown;
    postponeStartTime = clock();
    noteEvent("new record pressed", postponeStartTime);
    qDebug() << "spin box value" << postpone;
    startRecorderTimer.start(times.startMs);
    stopRecorderTimer.start(times.stopMs);
    showStatus(text("Recording starts in "));
    showCountdown();
}

// A run that ends before it asked for recording records nothing: the recorder is told
// nothing, and what the run has set going is wound down.
void RecordingRun::cancelRun()
{
    noteStopAsked();
    const QString reason = cancelReason();
    startRecorderTimer.stop();
    stopRecorderTimer.stop();
    countdownTimer.stop();
    beepTimer.stop();
    if (beepLoop.isRunning())
        beepLoop.quit();
    if (!startedProgram.isEmpty())
        process.end();
    removeFolderIfEmpty();
    currentPhase = Phase::Finished;
    panel.showButtonCaption(text("New record"));
    showStatus(text("RECORD CANCELLED"), reason);
}

void RecordingRun::stopRun()
{
    stopRecorderTimer.stop();
    // Before the request, so that the recorder knows who asked when the recording ends.
    noteStopAsked();
    emit stopRecording();
    // A recorder that failed early has answered already, so no result is awaited.
    currentPhase = recorderBusy ? Phase::Stopped : Phase::Finished;
    panel.showButtonCaption(text("New record"));
}

void RecordingRun::endCountdown()
{
    countdownTimer.stop();
    if (!recorderBusy) {
        prepareAndAskRecorder();
        return;
    }
    // Asking now would start a second recording beside the one still ending. The stop timer
    // starts afresh when the wait is over.
    stopRecorderTimer.stop();
    currentPhase = Phase::WaitingForRecorder;
    showStatus(text("Waiting for the previous recording to end"));
}

// The wait takes nothing from the recording: it lasts as long as one that started on time.
void RecordingRun::endWaitForRecorder()
{
    stopRecorderTimer.start(times.stopMs - times.startMs);
    showStatus(text("Recording starts in "));
    prepareAndAskRecorder();
}

void RecordingRun::finishRun()
{
    currentPhase = Phase::Finished;
}

// Nothing records any more, so the run ends at once rather than when its time is up. A
// failure winds down what the run set going, as a cancel does; a source that ended leaves
// the program running, as a stop does.
void RecordingRun::endWithRecorder()
{
    stopRecorderTimer.stop();
    if (!resultSuccessful && !startedProgram.isEmpty())
        process.end();
    removeFolderIfEmpty();
    currentPhase = Phase::Finished;
    panel.showButtonCaption(text("New record"));
}

void RecordingRun::showCountdown()
{
    const qint64 elapsed = clock() - postponeStartTime;
    const qint64 remaining = CountdownText::remainingSeconds(panel.postponementSeconds(), elapsed);
    if (remaining <= 0)
        return;
    panel.showTime(CountdownText::of(remaining));
    // Aimed at the next whole second since the press, so that late ticks do not add up.
    countdownTimer.start(int(1000 - elapsed % 1000));
}

// The chooser and the beeps wait in nested event loops, in which the run may end. A run that
// ends leaves Starting; a later run begun meanwhile has left its own start before this one
// goes on, because nested waits end in reverse order. So Starting, on return from a wait,
// means that this run goes on.
void RecordingRun::prepareAndAskRecorder()
{
    currentPhase = Phase::Starting;
    if (panel.workingDirectory().isEmpty()) {
        panel.chooseWorkingDirectory();
        if (currentPhase != Phase::Starting)
            return;
    }
    startProgram();
    if (panel.beepsWanted() && !beepThreeTimes())
        return;
    askRecorder();
}

void RecordingRun::startProgram()
{
    const QString program = panel.programPath();
    if (program.isEmpty())
        return;
    QString failure;
    if (process.start(program, &failure)) {
        startedProgram = program;
        noteEvent("program started", clock(), program);
        return;
    }
    noteEvent("program failed to start", clock(), failure);
    programTrouble = RunReasons::programFailedToStart(program, failure);
}

// Only while the run that started it is on: after its result, or once a new run has begun,
// the program is no longer this run's concern.
void RecordingRun::programFailed(const QString &how)
{
    if (startedProgram.isEmpty() || currentPhase == Phase::Finished)
        return;
    noteEvent("program ended", clock(), how);
    programTrouble = RunReasons::programEnded(startedProgram, how);
}

// False when the run ended between the beeps.
bool RecordingRun::beepThreeTimes()
{
    noteEvent("beep", beep());
    for (int pause = 0; pause < 2; ++pause) {
        beepTimer.start(beepPauseMs);
        beepLoop.exec();
        if (currentPhase != Phase::Starting)
            return false;
        noteEvent("beep", beep());
    }
    return true;
}

void RecordingRun::askRecorder()
{
    currentPhase = Phase::Recording;
    recorderBusy = true;
    panel.showButtonCaption(text("Stop"));
    showStatus(text("RECORDING..."));
    if (panel.previewWanted())
        panel.showPreview(true);
    emit startRecording(panel.camera());
}

// Only an empty folder goes: whatever was put into it meanwhile stays.
void RecordingRun::removeFolderIfEmpty()
{
    if (!createdFolder.isEmpty())
        QDir().rmdir(createdFolder);
    createdFolder.clear();
}

void RecordingRun::showStatus(const QString &status, const QString &reason)
{
    panel.showStatus(status, reason);
}

void RecordingRun::noteEvent(const char *event, qint64 monotonicMs, const QString &detail)
{
    emit runEvent(QString::fromLatin1(event), monotonicMs, detail);
}

void RecordingRun::noteStopAsked()
{
    noteEvent("stop asked", clock(), whoAsked());
}

QString RecordingRun::whoAsked() const
{
    switch (currentEvent) {
    case Event::Press:
        return QStringLiteral("button");
    case Event::StopTimer:
        return QStringLiteral("timer");
    case Event::WindowClosed:
        return closedBySignal ? QStringLiteral("signal") : QStringLiteral("window closed");
    case Event::StartTimer:
    case Event::DisplayTick:
    case Event::Result:
        break;
    }
    return {};
}

// Why a run ended before it asked for recording, for the operator who did not see it happen.
QString RecordingRun::cancelReason() const
{
    QString cause;
    switch (currentEvent) {
    case Event::Press:
        cause = text("the button was pressed");
        break;
    case Event::StopTimer:
        cause = text("the run's time was up");
        break;
    case Event::WindowClosed:
        cause =
            closedBySignal ? text("the program was asked to end") : text("the window was closed");
        break;
    case Event::StartTimer:
    case Event::DisplayTick:
    case Event::Result:
        break;
    }
    QString moment;
    switch (currentPhase) {
    case Phase::Countdown:
        moment = text("during the countdown");
        break;
    case Phase::WaitingForRecorder:
        moment = text("while the previous recording was ending");
        break;
    default:
        moment = text("before recording started");
        break;
    }
    return text("Cancelled: %1 %2").arg(cause, moment);
}
