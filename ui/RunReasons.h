#pragma once

#include "runrecord/RunRecord.h"

#include <QString>
#include <QStringList>

#include <optional>

// The one-line reasons that a run's status shows as its tooltip, in the window's own texts.
class RunReasons
{
public:
    // When a run ended that never recorded.
    enum class Moment { Countdown, PreviousRecordingEnding, BeforeRecording };

    // Why a press found no working directory to record into.
    static QString missingDirectory(const QString &directory);
    // Why a press found the run too long for the run's timers.
    static QString tooLong(int postponeSeconds, int lengthSeconds);
    static QString programFailedToStart(const QString &program, const QString &failure);
    // how: "code 3", "signal 9".
    static QString programEnded(const QString &program, const QString &how);
    // Why a run was cancelled before it recorded: by whom (the button, the timer, the window
    // closed or a signal, where anyone asked), and when.
    static QString cancelled(std::optional<RunRecord::EndedBy> asker, Moment moment);
    // The reasons that are given, in order, in one line.
    static QString joined(QStringList reasons);
};
