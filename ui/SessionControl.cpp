#include "ui/SessionControl.h"

#include "ui/RunControl.h"
#include "ui/RunPanel.h"
#include "ui/RunReasons.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QRandomGenerator>

#include <utility>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

} // namespace

// clang-format off
const SessionControl::Transition SessionControl::transitions[] = {
    // From                   Event                 What happens
    {Phase::Idle,             Event::Press,         &SessionControl::begin},
    {Phase::WaitingForEye,    Event::EyeOpen,       &SessionControl::startTrialWithEyeOpen},
    {Phase::WaitingForEye,    Event::GaveUp,        &SessionControl::startTrialAfterGivingUp},
    {Phase::WaitingForEye,    Event::Press,         &SessionControl::endSession},
    {Phase::WaitingForEye,    Event::WindowClosed,  &SessionControl::endSession},
    {Phase::Trial,            Event::RunEnded,      &SessionControl::trialDone},
    {Phase::Trial,            Event::Press,         &SessionControl::stopTrial},
    // The run ends its recording for the closing window; its files are complete first.
    {Phase::Trial,            Event::WindowClosed,  &SessionControl::endWithTrial},
    {Phase::Interval,         Event::IntervalOver,  &SessionControl::nextTrial},
    {Phase::Interval,         Event::Press,         &SessionControl::endSession},
    {Phase::Interval,         Event::WindowClosed,  &SessionControl::endSession},
    {Phase::Ending,           Event::RunEnded,      &SessionControl::lastTrialDone},
};
// clang-format on

SessionControl::SessionControl(RunControl &run, RunPanel &panel, QObject *parent)
    : QObject(parent), run(run), panel(panel), clock(&RunControl::monotonicNow),
      random([] { return QRandomGenerator::global()->generateDouble(); }), intervalTimer(this),
      giveUpTimer(this)
{
    intervalTimer.setObjectName(QStringLiteral("intervalTimer"));
    giveUpTimer.setObjectName(QStringLiteral("giveUpTimer"));
    for (QTimer *timer : {&intervalTimer, &giveUpTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&intervalTimer, &QTimer::timeout, this, [this] { handle(Event::IntervalOver); });
    connect(&giveUpTimer, &QTimer::timeout, this, [this] { handle(Event::GaveUp); });
    connect(&run, &RunControl::ended, this, [this] { handle(Event::RunEnded); });
    connect(&run, &RunControl::workingDirectoryChanged, this,
            [this](const QString &folder) { trialFolder = folder; });
}

void SessionControl::setPlan(const SessionPlan &newPlan)
{
    plan = newPlan;
}

void SessionControl::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

void SessionControl::setRandom(Random newRandom)
{
    random = std::move(newRandom);
}

void SessionControl::setEyeRegionKnown(bool known)
{
    eyeRegionKnown = known;
}

bool SessionControl::wantsCamera() const
{
    return gateActive() &&
           (currentPhase == Phase::WaitingForEye || currentPhase == Phase::Interval);
}

void SessionControl::press()
{
    handle(Event::Press);
}

void SessionControl::windowClosed()
{
    handle(Event::WindowClosed);
}

// The give-up timer ends a wait in which no closure comes (the camera failed); closures that
// come are timed on the session's clock as well.
void SessionControl::closureMeasured(double ms, double closure)
{
    if (currentPhase != Phase::WaitingForEye)
        return;
    if (plan.openEye->feed(ms, closure))
        handle(Event::EyeOpen);
    else if (clock() - waitStartMs >= plan.openEye->giveUpMs())
        handle(Event::GaveUp);
}

QString SessionControl::trialStatus(const QString &status)
{
    if (currentPhase != Phase::Trial && currentPhase != Phase::Ending)
        return status;
    lastRunStatus = status;
    return text("Trial %1 of %2: %3").arg(trial).arg(plan.trials).arg(status);
}

QString SessionControl::trialReason(const QString &reason) const
{
    if (currentPhase != Phase::Trial && currentPhase != Phase::Ending)
        return reason;
    const int after = plan.trials - trial;
    const QString remaining = currentPhase == Phase::Ending ? text("the session ends with it")
                              : after == 0                  ? text("the session's last trial")
                              : after == 1                  ? text("1 trial after this one")
                                           : text("%1 trials after this one").arg(after);
    return RunReasons::joined({remaining, reason});
}

void SessionControl::handle(Event event)
{
    for (const Transition &transition : transitions) {
        if (transition.from == currentPhase && transition.event == event) {
            (this->*transition.action)();
            return;
        }
    }
}

// A missing working directory is for the run to refuse, as for a single press.
void SessionControl::begin()
{
    workingDirectory = panel.workingDirectory();
    if (workingDirectory.isEmpty() || !QDir(workingDirectory).exists()) {
        run.press();
        return;
    }
    const QString path =
        QDir(workingDirectory).filePath(SessionTable::fileName(QDateTime::currentDateTime()));
    QString why;
    if (!table.create(path, &why))
        qDebug().noquote() << QStringLiteral("Session table %1 not written: %2").arg(path, why);
    trial = 0;
    trialsEnded = 0;
    stoppedEarly = false;
    lastRunStatus.clear();
    if (plan.openEye && !eyeRegionKnown)
        qDebug("No eyelid region: trials start without waiting for the eye");
    nextTrial();
}

void SessionControl::nextTrial()
{
    ++trial;
    if (!gateActive()) {
        startTrial(SessionTable::Eye::NotAsked);
        return;
    }
    plan.openEye->reset();
    waitStartMs = clock();
    giveUpTimer.start(int(plan.openEye->giveUpMs()));
    enter(Phase::WaitingForEye);
    panel.showButtonCaption(text("Stop"));
    panel.showStatus(
        text("Trial %1 of %2: waiting for the eye to open").arg(trial).arg(plan.trials),
        plan.openEye->text());
}

void SessionControl::startTrialWithEyeOpen()
{
    startTrial(SessionTable::Eye::Open);
}

void SessionControl::startTrialAfterGivingUp()
{
    qDebug("Trial %d of %d: the eye was not open after %lld ms, started all the same", trial,
           plan.trials, plan.openEye->giveUpMs());
    startTrial(SessionTable::Eye::GaveUp);
}

void SessionControl::startTrial(SessionTable::Eye eye)
{
    giveUpTimer.stop();
    trialEye = eye;
    waitedMs = eye == SessionTable::Eye::NotAsked ? 0 : clock() - waitStartMs;
    trialFolder.clear();
    trialPressed = QDateTime::currentDateTime();
    enter(Phase::Trial);
    run.press();
    // The run refused the press: the working directory went away.
    if (!run.recordInProgress() && currentPhase == Phase::Trial) {
        endSession();
        return;
    }
    if (eye == SessionTable::Eye::Open)
        emit runEvent(QStringLiteral("eye open"), clock(), QStringLiteral("%1 ms").arg(waitedMs));
    else if (eye == SessionTable::Eye::GaveUp)
        emit runEvent(QStringLiteral("eye not open"), clock(),
                      QStringLiteral("gave up after %1 ms").arg(waitedMs));
}

// Entered before the run hears of the press, which may end the run at once (a cancel).
void SessionControl::stopTrial()
{
    stoppedEarly = true;
    enter(Phase::Ending);
    if (run.recordInProgress())
        run.press();
}

void SessionControl::endWithTrial()
{
    stoppedEarly = true;
    enter(Phase::Ending);
}

void SessionControl::trialDone()
{
    writeRow();
    if (trial >= plan.trials) {
        endSession();
        return;
    }
    const qint64 ms = plan.interval.draw(random());
    intervalTimer.start(int(ms));
    enter(Phase::Interval);
    panel.showButtonCaption(text("Stop"));
    panel.showStatus(text("Trial %1 of %2 starts in %3 s")
                         .arg(trial + 1)
                         .arg(plan.trials)
                         .arg(double(ms) / 1000, 0, 'f', 1),
                     RunReasons::joined({text("trial %1: %2").arg(trial).arg(lastRunStatus),
                                         text("interval %1").arg(plan.interval.text())}));
}

void SessionControl::lastTrialDone()
{
    writeRow();
    endSession();
}

void SessionControl::endSession()
{
    intervalTimer.stop();
    giveUpTimer.stop();
    const bool stopped = stoppedEarly || currentPhase != Phase::Trial || trial < plan.trials;
    enter(Phase::Idle);
    panel.showButtonCaption(text("New record"));
    const QString status =
        stopped ? text("Session stopped: %1 of %2 trials") : text("Session ended: %1 of %2 trials");
    panel.showStatus(
        status.arg(trial).arg(plan.trials),
        RunReasons::joined(
            {lastRunStatus.isEmpty() ? QString()
                                     : text("trial %1: %2").arg(trial).arg(lastRunStatus),
             table.path().isEmpty() ? QString() : text("table %1").arg(table.path())}));
    emit ended();
}

void SessionControl::writeRow()
{
    SessionTable::Row row = SessionTable::rowOf(
        trial, QDir(workingDirectory).relativeFilePath(trialFolder),
        trialFolder.isEmpty() ? std::nullopt : SessionTable::recordIn(trialFolder));
    if (!row.started.isValid())
        row.started = trialPressed;
    row.waitedMs = waitedMs;
    row.eye = trialEye;
    if (!table.append(row))
        qDebug().noquote()
            << QStringLiteral("Session table: trial %1's row not written").arg(trial);
    emit trialEnded(trial);
}

void SessionControl::enter(Phase phase)
{
    const bool cameraWanted = wantsCamera();
    currentPhase = phase;
    if (wantsCamera() != cameraWanted)
        emit cameraWantedChanged();
}

bool SessionControl::gateActive() const
{
    return plan.openEye && eyeRegionKnown;
}
