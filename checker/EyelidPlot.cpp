#include "checker/EyelidPlot.h"

#include "checker/EventMarks.h"
#include "checker/PlotAxes.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

const int plotTop = 30 + EventMarks::labelRoom;
const QRect plotArea(90, plotTop, EyelidPlot::width - 90 - 30, EyelidPlot::height - plotTop - 70);
const QColor lineColour(20, 60, 170);

double lastSecond(const QVector<EyelidTable::Row> &rows, const QVector<RunRecord::Event> &events)
{
    double last = rows.isEmpty() ? 0.0 : rows.back().ms;
    for (const RunRecord::Event &event : events)
        last = std::max(last, double(event.ms));
    return std::max(last / 1000.0, 0.001);
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
    EventMarks::draw(painter, axes, events, width);

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
