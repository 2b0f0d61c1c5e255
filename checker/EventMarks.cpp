#include "checker/EventMarks.h"

#include "checker/PlotAxes.h"

#include <QPainter>

#include <algorithm>

// Apart from the blue traces and the red median.
const QColor EventMarks::colour(0, 140, 70);

void EventMarks::draw(QPainter &painter, const PlotAxes &axes,
                      const QVector<RunRecord::Event> &events, int pictureWidth)
{
    painter.save();
    const QFontMetrics metrics = painter.fontMetrics();
    int row = 0;
    for (const RunRecord::Event &event : events) {
        if (event.ms / 1000.0 < axes.firstSecond || event.ms / 1000.0 > axes.seconds)
            continue;
        const QPointF top = axes.at(event.ms / 1000.0, axes.maximum);
        painter.setPen(QPen(colour, 1.2, Qt::DashLine));
        painter.drawLine(top, axes.at(event.ms / 1000.0, axes.minimum));
        painter.setPen(colour);
        // Two rows of labels, so that events close together stay readable.
        const double labelY = top.y() - 6 - (row++ % 2) * (metrics.height() + 2);
        // Centred on its line, but kept inside the picture at either end.
        const QString text = label(event);
        const int labelWidth = metrics.horizontalAdvance(text);
        const double labelX =
            std::clamp(top.x() - labelWidth / 2.0, 2.0, double(pictureWidth - labelWidth - 2));
        painter.drawText(QPointF(labelX, labelY), text);
    }
    painter.restore();
}

QString EventMarks::label(const RunRecord::Event &event)
{
    return event.name == QLatin1String(RunRecord::Event::serialLine) && !event.detail.isEmpty()
               ? event.detail
               : event.name;
}

QVector<RunRecord::Event> EventMarks::serialLines(const QVector<RunRecord::Event> &events)
{
    QVector<RunRecord::Event> lines;
    std::copy_if(events.begin(), events.end(), std::back_inserter(lines),
                 [](const RunRecord::Event &event) {
                     return event.name == QLatin1String(RunRecord::Event::serialLine);
                 });
    return lines;
}
