#pragma once

#include "ui/RunReasons.h"
#include "ui/RunTimes.h"
#include "ui/StimulusProgram.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

class RunPanel;

// One recording run, from the press of "New record" to the recorder's result: the record
// folder, the countdown, the program, the beeps, the request to record and its stop. It reads
// the settings from its panel at the moments it needs them and talks to the recorder only
// through its three signals and recorded().
class RunControl : public QObject
{
    Q_OBJECT
public:
    enum class Phase {
        Idle,               // no run since the window opened
        Countdown,          // the postponement runs down
        Starting,           // choosing the directory, or between the beeps
        WaitingForRecorder, // the previous recording is still ending
        Recording,          // the recorder was asked to record
        Stopped,            // asked to stop, awaiting the result
        Finished,           // result shown, or the run was cancelled before it recorded
    };
    Q_ENUM(Phase)

    // Milliseconds on a monotonic clock, on the epoch of QElapsedTimer::msecsSinceReference().
    using Clock = std::function<qint64()>;
    // The clock runs and sessions use unless a test gives another.
    static qint64 monotonicNow();
    // Sounds one beep and returns when it was handed to the sound output, on the clock's epoch.
    using Beep = std::function<qint64()>;

    explicit RunControl(RunPanel &panel, QObject *parent = nullptr);

    void setClock(Clock clock);
    void setBeep(Beep beep);

    Phase phase() const { return currentPhase; }
    // From the press that begins a run until it is stopped or cancelled.
    bool recordInProgress() const;

    // The events of a run, each handled as the transition table says for the current phase.
    void press();
    void startRecorder();
    void stopRecorder();
    void updatePostponeStart();
    // The recorder's reason for the result that follows, shown with it.
    void explainResult(const QString &reason);
    void recorded(bool successful);
    // bySignal: the system asked the program to end, rather than the operator.
    void windowClosed(bool bySignal);

signals:
    void stopRecording();
    void startRecording(int index);
    void workingDirectoryChanged(QString);
    // Something that the run record keeps, read from the run's clock: "new record pressed",
    // "program started" or "program failed to start" (with the program or the error),
    // "program ended" (with how, when it failed while the run was on), one "beep" per beep,
    // "stop asked" (with who asked: "button", "timer", "window closed" or "signal").
    void runEvent(QString event, qint64 monotonicMs, QString detail);
    // The run is over: its result is in, or it ended before it recorded.
    void ended();

private:
    enum class Event { Press, StartTimer, StopTimer, DisplayTick, Result, WindowClosed };
    struct Transition
    {
        Phase from;
        Event event;
        void (RunControl::*action)();
    };
    static const Transition transitions[];

    void handle(Event event);

    void beginRun();
    void cancelRun();
    void stopRun();
    void endCountdown();
    void endWaitForRecorder();
    void finishRun();
    void endWithRecorder();
    void becomeFinished();
    void showCountdown();

    void prepareAndAskRecorder();
    void startProgram();
    void programFailed(const QString &how);
    bool beepThreeTimes();
    void askRecorder();
    void removeFolderIfEmpty();
    void showStatus(const QString &status, const QString &reason = QString());
    void noteEvent(const char *event, qint64 monotonicMs, const QString &detail = QString());
    void noteStopAsked();
    std::optional<RunRecord::EndedBy> asker() const;
    QString cancelReason() const;

    RunPanel &panel;
    Clock clock;
    Beep beep;
    Phase currentPhase = Phase::Idle;
    // The event being handled, and whether a close came from the system.
    Event currentEvent = Event::Press;
    bool closedBySignal = false;
    // The recorder's reason for its coming result.
    QString resultReason;
    bool resultSuccessful = false;
    // What went wrong with the program of the run whose result is awaited, shown with it.
    QString programTrouble;
    // The recorder was asked to record and has not yet answered. Apart from the phase: a new
    // run may begin while the previous recording is still ending.
    bool recorderBusy = false;

    StimulusProgram process;
    QTimer stopRecorderTimer;
    QTimer startRecorderTimer;
    // When the current run's press came, on the run's clock.
    qint64 postponeStartTime = 0;
    QEventLoop beepLoop;
    QTimer beepTimer;
    // Ticks the countdown display. One timer, so that a new run never leaves a second display
    // chain running beside its own.
    QTimer countdownTimer;

    // What the current run has set going, so that an early end winds it down.
    RunTimes times;
    QString createdFolder;
    // The program this run started, empty when it started none.
    QString startedProgram;
};
