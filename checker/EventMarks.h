#pragma once

#include "runrecord/RunRecord.h"

#include <QColor>
#include <QVector>

class PlotAxes;
class QPainter;

// A run's events drawn across a plot as dashed vertical lines at their time, each labelled
// above the plot: by its name, or for a line of the stimulus hardware by the line itself.
class EventMarks
{
public:
    static const QColor colour;
    // Room above the plot's area that the labels need.
    static constexpr int labelRoom = 40;

    // Events outside the plot's time (such as those before the recording clock's zero) are left
    // out.
    static void draw(QPainter &painter, const PlotAxes &axes,
                     const QVector<RunRecord::Event> &events, int pictureWidth);
    static QString label(const RunRecord::Event &event);
    // The stimulus hardware's lines among events.
    static QVector<RunRecord::Event> serialLines(const QVector<RunRecord::Event> &events);
};
