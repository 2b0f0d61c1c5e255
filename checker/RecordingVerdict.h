#pragma once

#include "checker/RecordingFinder.h"

#include <QStringList>
#include <QVector>

#include <optional>

// A recording's files checked against each other: as many decoded frames as lines, lines
// numbered 0 to N-1, times that never go back, and a run record, when there is one, that
// tells of the same recording and of no loss or failure.
struct RecordingVerdict
{
    RecordingFinder::Recording recording;
    int framesDecoded = 0;
    int lines = 0;
    double measuredFps = 0;
    double largestIntervalMs = 0;
    // From the run record; nothing without one.
    std::optional<int> framesLost;
    QVector<qint64> frameMs;
    // Empty when the recording passes.
    QStringList problems;

    bool passed() const { return problems.isEmpty(); }

    static RecordingVerdict of(const RecordingFinder::Recording &recording);
};
