#pragma once

#include <QString>
#include <QStringList>

// The one-line reasons that a run's status shows as its tooltip, in the window's own texts.
class RunReasons
{
public:
    // Why a press found no working directory to record into.
    static QString missingDirectory(const QString &directory);
    // Why a press found the run too long for the run's timers.
    static QString tooLong(int postponeSeconds, int lengthSeconds);
    static QString programFailedToStart(const QString &program, const QString &failure);
    // how: "code 3", "signal 9".
    static QString programEnded(const QString &program, const QString &how);
    // The reasons that are given, in order, in one line.
    static QString joined(QStringList reasons);
};
