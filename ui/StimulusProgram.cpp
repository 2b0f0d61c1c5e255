#include "StimulusProgram.h"

#include <QDebug>

StimulusProgram::StimulusProgram(QObject *parent) : QObject(parent)
{
    // Output that nobody reads would pile up in this process for as long as the program runs.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
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
