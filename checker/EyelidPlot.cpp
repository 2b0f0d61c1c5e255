#include "checker/EyelidPlot.h"

#include "checker/PlotAxes.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// Room at the top for the events' labels.
const QRect plotArea(90, 70, EyelidPlot::width - 90 - 30, EyelidPlot::height - 70 - 70);
const QColor lineColour(20, 60, 170);
const QColor eventColour(230, 30, 20);

double lastSecond(const QVector<EyelidTable::Row> &rows, const QVector<RunRecord::Event> &events)
{
    double last = rows.isEmpty() ? 0.0 : rows.back().ms;
    for (const RunRecord::Event &event : events)
        last = std::max(last, double(event.ms));
    return std::max(last / 1000.0, 0.001);
}

void drawEvents(QPainter &painter, const PlotAxes &axes, const QVector<RunRecord::Event> &events)
{
    const QFontMetrics metrics = painter.fontMetrics();
    int row = 0;
    for (const RunRecord::Event &event : events) {
        // Events before the recording clock's zero fall left of the plot.
        if (event.ms < 0)
            continue;
        const QPointF top = axes.at(event.ms / 1000.0, axes.maximum);
        painter.setPen(QPen(eventColour, 1.2, Qt::DashLine));
        painter.drawLine(top, axes.at(event.ms / 1000.0, axes.minimum));
        painter.setPen(eventColour);
        // Two rows of labels, so that events close together stay readable.
        const double labelY = top.y() - 6 - (row++ % 2) * (metrics.height() + 2);
        // Centred on its line, but kept inside the picture at either end.
        const int labelWidth = metrics.horizontalAdvance(event.name);
        const double labelX =
            std::clamp(top.x() - labelWidth / 2.0, 2.0, double(EyelidPlot::width - labelWidth - 2));
        painter.drawText(QPointF(labelX, labelY), event.name);
    }
}

} // namespace

QImage EyelidPlot::draw(const QVector<EyelidTable::Row> &rows,
                        const QVector<RunRecord::Event> &events, const QString &title)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawText(QRect(0, 5, width, 25), Qt::AlignCenter, title);
    const PlotAxes axes(plotArea, lastSecond(rows, events), 0, 1,
                        QStringLiteral("eyelid closure (0 open, 1 closed)"));
    axes.draw(painter);
    drawEvents(painter, axes, events);

    painter.setClipRect(plotArea.adjusted(-2, -2, 2, 2));
    QPainterPath path;
    bool drawing = false;
    for (const EyelidTable::Row &row : rows) {
        // A frame that could not be measured leaves a gap.
        if (!row.closure) {
            drawing = false;
            continue;
        }
        const QPointF point = axes.at(row.ms / 1000.0, *row.closure);
        if (drawing)
            path.lineTo(point);
        else
            path.moveTo(point);
        drawing = true;
    }
    painter.setPen(QPen(lineColour, 1.5));
    painter.drawPath(path);
    return image;
}

QString EyelidPlot::fileNameFor(const QString &videoFileName)
{
    const QFileInfo video(videoFileName);
    return video.dir().filePath(video.completeBaseName() + QStringLiteral("_eyelid.png"));
}
