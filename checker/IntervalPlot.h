#pragma once

#include "runrecord/RunRecord.h"

#include <QImage>
#include <QString>
#include <QVector>

// A picture of a recording's frame intervals over its time: each interval between two frames
// drawn at its height across the time it lasted, so that a steady rate shows as a flat line, a
// late frame as a spike and a gap as a tall block as wide as the gap, with the median interval
// dashed across.
class IntervalPlot
{
public:
    static constexpr int width = 1200;
    static constexpr int height = 500;

    // serialLines: the stimulus hardware's lines, marked where they came.
    static QImage draw(const QVector<qint64> &frameMs, const QString &title,
                       const QVector<RunRecord::Event> &serialLines = {});
    // The PNG beside a recording's video.
    static QString fileNameFor(const QString &videoFileName);
};
