#include "ui/RunControl.h"

#include "ui/CountdownText.h"
#include "ui/RecordNumber.h"
#include "ui/RunPanel.h"
#include "ui/RunReasons.h"

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

constexpr int beepPauseMs = 1000;

} // namespace

// Every event of a run, in each phase that handles it. An event that a phase does not list
// changes nothing.
// clang-format off
const RunControl::Transition RunControl::transitions[] = {
    // From                     Event                 What happens
    {Phase::Idle,               Event::Press,         &RunControl::beginRun},
    {Phase::Stopped,            Event::Press,         &RunControl::beginRun},
    {Phase::Finished,           Event::Press,         &RunControl::beginRun},
    {Phase::Countdown,          Event::DisplayTick,   &RunControl::showCountdown},
    {Phase::Countdown,          Event::StartTimer,    &RunControl::endCountdown},
    {Phase::Countdown,          Event::Press,         &RunControl::cancelRun},
    {Phase::Countdown,          Event::StopTimer,     &RunControl::cancelRun},
    {Phase::Countdown,          Event::WindowClosed,  &RunControl::cancelRun},
    {Phase::Starting,           Event::Press,         &RunControl::cancelRun},
    {Phase::Starting,           Event::StopTimer,     &RunControl::cancelRun},
    {Phase::Starting,           Event::WindowClosed,  &RunControl::cancelRun},
    {Phase::WaitingForRecorder, Event::Result,        &RunControl::endWaitForRecorder},
    {Phase::WaitingForRecorder, Event::Press,         &RunControl::cancelRun},
    {Phase::WaitingForRecorder, Event::WindowClosed,  &RunControl::cancelRun},
    {Phase::Recording,          Event::Press,         &RunControl::stopRun},
    {Phase::Recording,          Event::StopTimer,     &RunControl::stopRun},
    // The recorder's quit ends the recording.
    {Phase::Recording,          Event::WindowClosed,  &RunControl::noteStopAsked},
    // The recorder ended by itself: it failed, or its source ended.
    {Phase::Recording,          Event::Result,        &RunControl::endWithRecorder},
    {Phase::Stopped,            Event::Result,        &RunControl::finishRun},
};
// clang-format on

qint64 RunControl::monotonicNow()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

RunControl::RunControl(RunPanel &panel, QObject *parent)
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
    connect(&startRecorderTimer, &QTimer::timeout, this, &RunControl::startRecorder);
    connect(&stopRecorderTimer, &QTimer::timeout, this, &RunControl::stopRecorder);
    beepTimer.setSingleShot(true);
    beepTimer.setTimerType(Qt::PreciseTimer);
    connect(&beepTimer, &QTimer::timeout, &beepLoop, &QEventLoop::quit);
    countdownTimer.setSingleShot(true);
    countdownTimer.setTimerType(Qt::PreciseTimer);
    connect(&countdownTimer, &QTimer::timeout, this, &RunControl::updatePostponeStart);
    connect(&process, &StimulusProgram::endedWithFailure, this, &RunControl::programFailed);
}

void RunControl::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

void RunControl::setBeep(Beep newBeep)
{
    beep = std::move(newBeep);
}

bool RunControl::recordInProgress() const
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

void RunControl::press()
{
    handle(Event::Press);
}

void RunControl::startRecorder()
{
    handle(Event::StartTimer);
}

void RunControl::stopRecorder()
{
    handle(Event::StopTimer);
}

void RunControl::updatePostponeStart()
{
    handle(Event::DisplayTick);
}

void RunControl::explainResult(const QString &reason)
{
    resultReason = reason;
}

// Whatever the phase, the result is shown: with a new run counting down it may be the
// previous run's. Its reason goes with it, and only with it.
void RunControl::recorded(bool successful)
{
    recorderBusy = false;
    resultSuccessful = successful;
    showStatus(successful ? text("RECORD SUCCESSFUL") : text("RECORD FAILED"),
               RunReasons::joined({std::exchange(resultReason, QString()),
                                   std::exchange(programTrouble, QString())}));
    panel.showPreview(false);
    handle(Event::Result);
}

void RunControl::windowClosed(bool bySignal)
{
    closedBySignal = bySignal;
    handle(Event::WindowClosed);
}

void RunControl::handle(Event event)
{
    for (const Transition &transition : transitions) {
        if (transition.from == currentPhase && transition.event == event) {
            currentEvent = event;
            (this->*transition.action)();
            return;
        }
    }
}

void RunControl::beginRun()
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
void RunControl::cancelRun()
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
    panel.showButtonCaption(text("New record"));
    showStatus(text("RECORD CANCELLED"), reason);
    becomeFinished();
}

void RunControl::stopRun()
{
    stopRecorderTimer.stop();
    // Before the request, so that the recorder knows who asked when the recording ends.
    noteStopAsked();
    emit stopRecording();
    panel.showButtonCaption(text("New record"));
    // A recorder that failed early has answered already, so no result is awaited.
    if (recorderBusy)
        currentPhase = Phase::Stopped;
    else
        becomeFinished();
}

void RunControl::endCountdown()
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
void RunControl::endWaitForRecorder()
{
    stopRecorderTimer.start(times.stopMs - times.startMs);
    showStatus(text("Recording starts in "));
    prepareAndAskRecorder();
}

void RunControl::finishRun()
{
    becomeFinished();
}

// Nothing records any more, so the run ends at once rather than when its time is up. A
// failure winds down what the run set going, as a cancel does; a source that ended leaves
// the program running, as a stop does.
void RunControl::endWithRecorder()
{
    stopRecorderTimer.stop();
    if (!resultSuccessful && !startedProgram.isEmpty())
        process.end();
    removeFolderIfEmpty();
    panel.showButtonCaption(text("New record"));
    becomeFinished();
}

// Last, so that whoever hears of the end finds the run's texts and folder settled.
void RunControl::becomeFinished()
{
    currentPhase = Phase::Finished;
    emit ended();
}

void RunControl::showCountdown()
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
void RunControl::prepareAndAskRecorder()
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

void RunControl::startProgram()
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
void RunControl::programFailed(const QString &how)
{
    if (startedProgram.isEmpty() || currentPhase == Phase::Finished)
        return;
    noteEvent("program ended", clock(), how);
    programTrouble = RunReasons::programEnded(startedProgram, how);
}

// False when the run ended between the beeps.
bool RunControl::beepThreeTimes()
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

void RunControl::askRecorder()
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
void RunControl::removeFolderIfEmpty()
{
    if (!createdFolder.isEmpty())
        QDir().rmdir(createdFolder);
    createdFolder.clear();
}

void RunControl::showStatus(const QString &status, const QString &reason)
{
    panel.showStatus(status, reason);
}

void RunControl::noteEvent(const char *event, qint64 monotonicMs, const QString &detail)
{
    emit runEvent(QString::fromLatin1(event), monotonicMs, detail);
}

void RunControl::noteStopAsked()
{
    const std::optional<RunRecord::EndedBy> who = asker();
    noteEvent("stop asked", clock(), who ? RunRecord::text(*who) : QString());
}

// Who ended the run with the current event; nothing for an event that no one asks.
std::optional<RunRecord::EndedBy> RunControl::asker() const
{
    switch (currentEvent) {
    case Event::Press:
        return RunRecord::EndedBy::Button;
    case Event::StopTimer:
        return RunRecord::EndedBy::Timer;
    case Event::WindowClosed:
        return closedBySignal ? RunRecord::EndedBy::Signal : RunRecord::EndedBy::WindowClosed;
    case Event::StartTimer:
    case Event::DisplayTick:
    case Event::Result:
        break;
    }
    return std::nullopt;
}

// Why a run ended before it asked for recording, for the operator who did not see it happen.
QString RunControl::cancelReason() const
{
    const RunReasons::Moment moment =
        currentPhase == Phase::Countdown            ? RunReasons::Moment::Countdown
        : currentPhase == Phase::WaitingForRecorder ? RunReasons::Moment::PreviousRecordingEnding
                                                    : RunReasons::Moment::BeforeRecording;
    return RunReasons::cancelled(asker(), moment);
}
