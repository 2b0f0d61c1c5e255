#pragma once

#include "runrecord/SessionTable.h"
#include "ui/SessionPlan.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

class RunControl;
class RunPanel;

// A session of trials from one press: presses the run for each trial, waits an interval drawn
// anew between trials and, where asked, holds each trial until the eye has been open for a
// while; writes the session table as the trials end. The run stays what it is for a single
// press: its countdown, program, beeps, recording and result.
class SessionControl : public QObject
{
    Q_OBJECT
public:
    enum class Phase {
        Idle,          // no session on
        WaitingForEye, // the trial is held until the eye has been open for the time asked
        Trial,         // the trial's run is on, from its press to its end
        Interval,      // between two trials
        Ending,        // stopped during a trial: the session ends with that trial
    };
    Q_ENUM(Phase)

    // Milliseconds on a monotonic clock, on the epoch of QElapsedTimer::msecsSinceReference().
    using Clock = std::function<qint64()>;
    // A number from 0 up to 1, drawn uniformly.
    using Random = std::function<double()>;

    SessionControl(RunControl &run, RunPanel &panel, QObject *parent = nullptr);

    void setPlan(const SessionPlan &newPlan);
    void setClock(Clock newClock);
    void setRandom(Random newRandom);
    // Whether an eyelid region is drawn, without which the eye cannot be waited for.
    void setEyeRegionKnown(bool known);

    // Whether a press begins a session rather than a single run.
    bool planned() const { return plan.trials > 0; }
    Phase phase() const { return currentPhase; }
    // Between trials, where the eye is waited for: the camera is watched for its closure.
    bool wantsCamera() const;
    QString tablePath() const { return table.path(); }

    // The operator's button: begins a session, or stops the one that is on.
    void press();
    // The session ends, with the trial that is on, whose run ends as the window closes.
    void windowClosed();
    // A closure measured on the watched camera, ms on the camera's clock.
    void closureMeasured(double ms, double closure);
    // The run's status and its reason as shown during a session: which trial, and how many
    // remain.
    QString trialStatus(const QString &status);
    QString trialReason(const QString &reason) const;

signals:
    // For the run record, as the run's own: "eye open" or "eye not open", with the wait.
    void runEvent(QString event, qint64 monotonicMs, QString detail);
    void cameraWantedChanged();
    // After the trial's row is in the table.
    void trialEnded(int trial);
    void ended();

private:
    enum class Event { Press, RunEnded, IntervalOver, EyeOpen, GaveUp, WindowClosed };
    struct Transition
    {
        Phase from;
        Event event;
        void (SessionControl::*action)();
    };
    static const Transition transitions[];

    void handle(Event event);

    void begin();
    void nextTrial();
    void startTrialWithEyeOpen();
    void startTrialAfterGivingUp();
    void startTrial(SessionTable::Eye eye);
    void stopTrial();
    void endWithTrial();
    void trialDone();
    void lastTrialDone();
    void endSession();
    void writeRow();
    void enter(Phase phase);
    bool gateActive() const;

    RunControl &run;
    RunPanel &panel;
    Clock clock;
    Random random;
    SessionPlan plan;
    bool eyeRegionKnown = false;
    Phase currentPhase = Phase::Idle;

    SessionTable table;
    QString workingDirectory;
    // The trial on or waited for, and the last that ended.
    int trial = 0;
    int trialsEnded = 0;
    // The trial's run folder, as the run told it; empty until its press.
    QString trialFolder;
    QDateTime trialPressed;
    SessionTable::Eye trialEye = SessionTable::Eye::NotAsked;
    qint64 waitStartMs = 0;
    qint64 waitedMs = 0;
    // The last status the run showed, for the session's end.
    QString lastRunStatus;
    bool stoppedEarly = false;

    QTimer intervalTimer;
    QTimer giveUpTimer;
};
