#pragma once

#include <QPointF>
#include <QRect>
#include <QString>

class QPainter;

// The axes of the checker's plots: seconds of the recording across, a value up, each with
// ticks at steps of 1, 2 or 5 times a power of ten, mapped onto an area of the picture.
class PlotAxes
{
public:
    PlotAxes(const QRect &area, double seconds, double minimum, double maximum, QString valueName);

    QPointF at(double second, double value) const;
    // Grid, tick labels, frame and the names of both axes.
    void draw(QPainter &painter) const;

    const QRect area;
    const double seconds;
    const double minimum;
    const double maximum;

private:
    const QString valueName;
};
