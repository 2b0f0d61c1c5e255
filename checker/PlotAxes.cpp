#include "checker/PlotAxes.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtMath>

#include <utility>

namespace {

const QColor gridColour(225, 225, 225);

// A step of 1, 2 or 5 times a power of ten that divides range into about parts parts.
double tickStep(double range, int parts)
{
    const double raw = range / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10.0 * power;
}

} // namespace

PlotAxes::PlotAxes(const QRect &area, double seconds, double minimum, double maximum,
                   QString valueName)
    : PlotAxes(area, 0, seconds, minimum, maximum, std::move(valueName),
               QStringLiteral("time in the recording (s)"))
{
}

PlotAxes::PlotAxes(const QRect &area, double firstSecond, double seconds, double minimum,
                   double maximum, QString valueName, QString timeName)
    : area(area), firstSecond(firstSecond), seconds(seconds), minimum(minimum), maximum(maximum),
      valueName(std::move(valueName)), timeName(std::move(timeName))
{
}

QPointF PlotAxes::at(double second, double value) const
{
    return {area.left() + area.width() * (second - firstSecond) / (seconds - firstSecond),
            area.bottom() - area.height() * (value - minimum) / (maximum - minimum)};
}

void PlotAxes::draw(QPainter &painter) const
{
    painter.setPen(gridColour);
    const QFontMetrics metrics = painter.fontMetrics();
    const double xStep = tickStep(seconds - firstSecond, 10);
    for (double second = std::ceil(firstSecond / xStep) * xStep; second <= seconds + 1e-9;
         second += xStep) {
        const QPointF bottom = at(second, minimum);
        painter.setPen(gridColour);
        painter.drawLine(bottom, at(second, maximum));
        painter.setPen(Qt::black);
        // A step's sum can miss 0 by a rounding error, which would print as such.
        const QString label = QString::number(std::abs(second) < xStep / 1e6 ? 0.0 : second);
        painter.drawText(bottom + QPointF(-metrics.horizontalAdvance(label) / 2.0, 18), label);
    }
    const double yStep = tickStep(maximum - minimum, 8);
    for (double value = std::ceil(minimum / yStep) * yStep; value <= maximum + 1e-9;
         value += yStep) {
        const QPointF left = at(firstSecond, value);
        painter.setPen(gridColour);
        painter.drawLine(left, at(seconds, value));
        painter.setPen(Qt::black);
        const QString label = QString::number(value);
        painter.drawText(left + QPointF(-metrics.horizontalAdvance(label) - 6, 4), label);
    }
    painter.setPen(Qt::black);
    painter.drawRect(area);
    painter.drawText(QRect(area.left(), area.bottom() + 30, area.width(), 30), Qt::AlignCenter,
                     timeName);
    painter.save();
    painter.translate(20, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-area.height() / 2, -10, area.height(), 30), Qt::AlignCenter, valueName);
    painter.restore();
}
