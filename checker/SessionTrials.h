#pragma once

#include "runrecord/RunRecord.h"
#include "runrecord/SessionTable.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <optional>

// A session's trials read back from its table and their folders: each trial's eyelid closures
// on the time of the stimulus line it is aligned on (the CS), and when its US came.
class SessionTrials
{
public:
    // Where a trial's US is: the first stimulus line after the aligning one that equals or
    // begins with text, or a fixed time after the aligning line.
    struct Us
    {
        QString text;
        std::optional<double> afterMs;
    };

    struct Trial
    {
        int number = 0;
        QString folder;
        // Each frame's closure at its ms from the aligning line; empty without a trace.
        QVector<QPointF> closures;
        // The US's ms from the aligning line, where it was found.
        std::optional<double> usMs;
        // Why the trial has no trace; empty when it has one.
        QString missing;
    };

    // Whether a stimulus line is the one named by text: equal to it, or beginning with it.
    static bool matches(const QString &line, const QString &text);
    // The time of the first stimulus line that matches text, not before notBeforeMs.
    static std::optional<double> firstLine(const QVector<RunRecord::Event> &events,
                                           const QString &text, double notBeforeMs);
    // One row's trial, its folder taken from the table's folder.
    static Trial read(const SessionTable::Row &row, const QString &tableFolder,
                      const QString &align, const Us &us);
};
