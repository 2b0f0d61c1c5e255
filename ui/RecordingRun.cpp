#include "RecordingRun.h"

#include "CountdownText.h"
#include "RecordNumber.h"
#include "RunPanel.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>

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
    {Phase::Stopped,            Event::Result,        &RecordingRun::finishRun},
};
// clang-format on

RecordingRun::RecordingRun(RunPanel &panel, QObject *parent)
    : QObject(parent), panel(panel), clock(monotonicNow), beep(QApplication::beep),
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

// Whatever the phase, the result is shown: with a new run counting down it may be the
// previous run's.
void RecordingRun::recorded(bool successful)
{
    recorderBusy = false;
    panel.showStatus(successful ? text("RECORD SUCCESSFUL") : text("RECORD FAILED"));
    panel.showPreview(false);
    handle(Event::Result);
}

void RecordingRun::windowClosed()
{
    handle(Event::WindowClosed);
}

void RecordingRun::handle(Event event)
{
    for (const Transition &transition : transitions) {
        if (transition.from == currentPhase && transition.event == event) {
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
        panel.showStatus(text("Please select working directory first!"));
        return;
    }
    const int postpone = panel.postponementSeconds();
    const std::optional<RunTimes> runTimes = RunTimes::of(postpone, panel.videoLengthSeconds());
    if (!runTimes) {
        panel.showStatus(text("Postponement and video length too long: at most %1 seconds together")
                             .arg(RunTimes::longestSeconds));
        return;
    }
    const QString folder = directory + QLatin1Char('/') + RecordNumber::next(directory);
    emit workingDirectoryChanged(folder);
    createdFolder = QDir().mkdir(folder) ? folder : QString();
    times = *runTimes;
    startedProgram = false;
    currentPhase = Phase::Countdown;
    postponeStartTime = clock();
    qDebug() << "spin box value" << postpone;
    startRecorderTimer.start(times.startMs);
    stopRecorderTimer.start(times.stopMs);
    panel.showStatus(text("Recording starts in "));
    showCountdown();
}

// A run that ends before it asked for recording records nothing: the recorder is told
// nothing, and what the run has set going is wound down.
void RecordingRun::cancelRun()
{
    startRecorderTimer.stop();
    stopRecorderTimer.stop();
    countdownTimer.stop();
    beepTimer.stop();
    if (beepLoop.isRunning())
        beepLoop.quit();
    if (startedProgram)
        process.end();
    removeFolderIfEmpty();
    currentPhase = Phase::Finished;
    panel.showButtonCaption(text("New record"));
    panel.showStatus(text("RECORD CANCELLED"));
}

void RecordingRun::stopRun()
{
    stopRecorderTimer.stop();
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
    panel.showStatus(text("Waiting for the previous recording to end"));
}

// The wait takes nothing from the recording: it lasts as long as one that started on time.
void RecordingRun::endWaitForRecorder()
{
    stopRecorderTimer.start(times.stopMs - times.startMs);
    panel.showStatus(text("Recording starts in "));
    prepareAndAskRecorder();
}

void RecordingRun::finishRun()
{
    currentPhase = Phase::Finished;
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
    if (!program.isEmpty())
        startedProgram = process.start(program);
}

// False when the run ended between the beeps.
bool RecordingRun::beepThreeTimes()
{
    beep();
    for (int pause = 0; pause < 2; ++pause) {
        beepTimer.start(beepPauseMs);
        beepLoop.exec();
        if (currentPhase != Phase::Starting)
            return false;
        beep();
    }
    return true;
}

void RecordingRun::askRecorder()
{
    currentPhase = Phase::Recording;
    recorderBusy = true;
    panel.showButtonCaption(text("Stop"));
    panel.showStatus(text("RECORDING..."));
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
