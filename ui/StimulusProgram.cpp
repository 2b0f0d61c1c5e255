#include "ui/StimulusProgram.h"

#include "common/BoundedOutput.h"
#include "common/StandardStreams.h"

#include <QDebug>

StimulusProgram::StimulusProgram(QObject *parent) : QObject(parent)
{
    // Read as it comes and passed on through bounded queues: neither the program nor this one
    // waits for a terminal that does not take the text, and nothing piles up here.
    process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&process, &QProcess::readyReadStandardOutput, this, [this] {
        StandardStreams::output().push(process.readAllStandardOutput(),
                                       BoundedOutput::Kind::ProgramOutput);
    });
    connect(&process, &QProcess::readyReadStandardError, this, [this] {
        StandardStreams::error().push(process.readAllStandardError(),
                                      BoundedOutput::Kind::ProgramOutput);
    });
    connect(&process, &QProcess::errorOccurred, this, [](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            qDebug("MW: program failed to start");
    });
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                if (!endAsked && (code != 0 || status == QProcess::CrashExit))
                    emit endedWithFailure(process.exitText());
            });
    graceTimer.setSingleShot(true);
    graceTimer.setInterval(graceMs);
    connect(&graceTimer, &QTimer::timeout, this, &StimulusProgram::finishEnding);
}

StimulusProgram::~StimulusProgram()
{
    end();
    if (!graceTimer.isActive())
        return;
    process.waitForFinished(graceTimer.remainingTime());
    finishEnding();
}

bool StimulusProgram::isRunning() const
{
    return process.state() != QProcess::NotRunning;
}

bool StimulusProgram::start(const QString &path, QString *failure)
{
    if (graceTimer.isActive())
        finishEnding();
    if (isRunning()) {
        qDebug("MW: program still running, not started again");
        *failure = QStringLiteral("still running from an earlier run");
        return false;
    }
    endAsked = false;
    process.startInGroup(path, QIODevice::ReadWrite);
    if (process.waitForStarted(startWaitMs))
        return true;
    *failure = process.errorString();
    end();
    return false;
}

void StimulusProgram::end()
{
    if (!isRunning() || graceTimer.isActive())
        return;
    endAsked = true;
    process.askGroupToEnd();
    graceTimer.start();
}

void StimulusProgram::finishEnding()
{
    graceTimer.stop();
    const bool killed = process.killGroup();
    // Collects a killed program at once: a start that follows finds it ended, and the process
    // object ends quietly.
    if (killed)
        process.waitForFinished(graceMs);
    qDebug(killed ? "MW: program killed" : "MW: program ended");
}
