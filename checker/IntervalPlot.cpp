#include "checker/IntervalPlot.h"

#include "checker/EventMarks.h"
#include "checker/PlotAxes.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>

namespace {

// Below the title, room for the stimulus hardware's labels.
const int plotTop = 40 + EventMarks::labelRoom;
const QRect plotArea(90, plotTop, IntervalPlot::width - 90 - 30,
                     IntervalPlot::height - plotTop - 70);
const QColor lineColour(20, 60, 170);
// Red against the blue line, and drawn over it wider than it, so that the median shows where
// a steady recording's line lies on it.
const QColor medianColour(230, 30, 20);
const QColor gridColour(225, 225, 225);
const QString valueName = QStringLiteral("interval to the frame before (ms)");

double median(QVector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// In the top right corner, where a steady recording leaves room.
void drawLegend(QPainter &painter, const QPen &pen, const QString &text)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int sampleWidth = 30;
    QRect box(0, 0, sampleWidth + metrics.horizontalAdvance(text) + 24, metrics.height() + 10);
    box.moveTopRight(plotArea.topRight() + QPoint(-10, 10));
    painter.setPen(gridColour);
    painter.setBrush(Qt::white);
    painter.drawRect(box);
    const int middle = box.center().y();
    painter.setPen(pen);
    painter.drawLine(box.left() + 8, middle, box.left() + 8 + sampleWidth, middle);
    painter.setPen(Qt::black);
    painter.drawText(box.adjusted(sampleWidth + 16, 0, 0, 0), Qt::AlignVCenter, text);
}

} // namespace

QImage IntervalPlot::draw(const QVector<qint64> &frameMs, const QString &title,
                          const QVector<RunRecord::Event> &serialLines)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawText(QRect(0, 10, width, 30), Qt::AlignCenter, title);

    QVector<double> intervals;
    for (int i = 1; i < frameMs.size(); ++i)
        intervals.append(double(frameMs[i] - frameMs[i - 1]));
    if (intervals.isEmpty()) {
        PlotAxes(plotArea, 1, 0, 1, valueName).draw(painter);
        painter.drawText(plotArea, Qt::AlignCenter, QStringLiteral("fewer than two frames"));
        return image;
    }
    const double typical = median(intervals);
    const auto [smallest, largest] = std::minmax_element(intervals.begin(), intervals.end());
    // Room above the largest, and at least twice the typical interval, so that a steady
    // recording lies flat in the middle instead of filling the picture with its jitter.
    const double top = std::max({*largest * 1.1, typical * 2.0, 1.0});
    const double bottom = std::min(0.0, *smallest * 1.1);
    const double span = std::max<double>(frameMs.back(), 1.0) / 1000.0;
    const PlotAxes axes(plotArea, span, bottom, top, valueName);
    axes.draw(painter);
    EventMarks::draw(painter, axes, serialLines, width);

    painter.setClipRect(plotArea);
    // Each interval as a step across the time it lasted, so that a gap shows as wide as it was.
    QPainterPath path(axes.at(frameMs[0] / 1000.0, intervals[0]));
    for (int i = 0; i < intervals.size(); ++i) {
        path.lineTo(axes.at(frameMs[i] / 1000.0, intervals[i]));
        path.lineTo(axes.at(frameMs[i + 1] / 1000.0, intervals[i]));
    }
    painter.setPen(QPen(lineColour, 1.5));
    painter.drawPath(path);

    QPen medianPen(medianColour, 2.5);
    // Gaps as long as the dashes, through which the line shows.
    medianPen.setDashPattern({3, 3});
    painter.setPen(medianPen);
    painter.drawLine(axes.at(0, typical), axes.at(span, typical));
    drawLegend(painter, medianPen, QStringLiteral("median %1 ms").arg(typical));
    return image;
}

QString IntervalPlot::fileNameFor(const QString &videoFileName)
{
    const QFileInfo video(videoFileName);
    return video.dir().filePath(video.completeBaseName() + QStringLiteral("_intervals.png"));
}
