#pragma once

#include <QPointF>
#include <QRect>
#include <QString>

class QPainter;

// The axes of the checker's plots: seconds across, a value up, each with ticks at steps of 1,
// 2 or 5 times a power of ten, mapped onto an area of the picture.
class PlotAxes
{
public:
    // Seconds of the recording, from its start.
    PlotAxes(const QRect &area, double seconds, double minimum, double maximum, QString valueName);
    // Seconds from firstSecond (which may be negative) to seconds, named timeName.
    PlotAxes(const QRect &area, double firstSecond, double seconds, double minimum, double maximum,
             QString valueName, QString timeName);

    QPointF at(double second, double value) const;
    // Grid, tick labels, frame and the names of both axes.
    void draw(QPainter &painter) const;

    const QRect area;
    const double firstSecond;
    const double seconds;
    const double minimum;
    const double maximum;

private:
    const QString valueName;
    const QString timeName;
};
