#pragma once

#include "eyelid/EyelidTable.h"
#include "runrecord/RunRecord.h"

#include <QImage>
#include <QString>
#include <QVector>

// A picture of a recording's eyelid trace: the closure of every frame over the recording's
// time, with the run's events (CS, US, stops) as labelled vertical lines where they fell.
class EyelidPlot
{
public:
    static constexpr int width = 1200;
    static constexpr int height = 500;

    static QImage draw(const QVector<EyelidTable::Row> &rows,
                       const QVector<RunRecord::Event> &events, const QString &title);
    // The PNG beside a recording's video.
    static QString fileNameFor(const QString &videoFileName);
};
