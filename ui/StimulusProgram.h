#pragma once

#include "ui/GroupedProcess.h"

#include <QObject>
#include <QTimer>

// The program that a run starts before recording, usually the one that presents the stimuli.
// It runs in a process group of its own, so that ending it also ends every process it started.
// What it writes to its standard output and error goes on to the recorder's own, through
// bounded queues (StandardStreams): it never waits for the recorder's terminal, nor the recorder
// for it, and what that terminal does not take is dropped and counted.
class StimulusProgram : public QObject
{
    Q_OBJECT
public:
    // How long the program may take to end when asked before it is killed.
    static constexpr int graceMs = 1000;
    // How long a start may take to run the program (fork and exec: milliseconds, normally).
    static constexpr int startWaitMs = 5000;

    explicit StimulusProgram(QObject *parent = nullptr);
    // Ends whatever is left of the program, waiting out the grace.
    ~StimulusProgram() override;

    bool isRunning() const;
    // Starts the program at path, the whole text as its path and no arguments, unless an
    // earlier start of it still runs, and waits until it runs. A program still being ended is
    // killed at once, so that this start gets a program of its own. True when the program
    // runs; otherwise false, with the reason in failure. A program that has not run within
    // startWaitMs is ended, so that it never runs unannounced.
    bool start(const QString &path, QString *failure);
    // Asks the program and every process it started to end, and kills what is left of them
    // after the grace.
    void end();

signals:
    // The program ended by itself, not asked to by end(), with a code other than 0 or by a
    // crash: how, such as "code 3" or "signal 9".
    void endedWithFailure(QString how);

private:
    void finishEnding();

    GroupedProcess process;
    // Runs while the program is being ended.
    QTimer graceTimer;
    // The running program was asked to end, so that its end is no failure.
    bool endAsked = false;
};
