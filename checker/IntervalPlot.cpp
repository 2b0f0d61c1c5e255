#include "checker/IntervalPlot.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>

namespace {

const QRect plotArea(90, 50, IntervalPlot::width - 90 - 30, IntervalPlot::height - 50 - 70);
const QColor lineColour(20, 60, 170);
// Red against the blue line, and drawn over it wider than it, so that the median shows where
// a steady recording's line lies on it.
const QColor medianColour(230, 30, 20);
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

double median(QVector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Maps the plotted ranges onto the plot area.
class Axes
{
public:
    Axes(double seconds, double minimumMs, double maximumMs)
        : seconds(seconds), minimumMs(minimumMs), maximumMs(maximumMs)
    {
    }
    QPointF at(double second, double ms) const
    {
        return {plotArea.left() + plotArea.width() * second / seconds,
                plotArea.bottom() - plotArea.height() * (ms - minimumMs) / (maximumMs - minimumMs)};
    }
    void draw(QPainter &painter) const
    {
        painter.setPen(gridColour);
        const QFontMetrics metrics = painter.fontMetrics();
        const double xStep = tickStep(seconds, 10);
        for (double second = 0; second <= seconds + 1e-9; second += xStep) {
            const QPointF bottom = at(second, minimumMs);
            painter.setPen(gridColour);
            painter.drawLine(bottom, at(second, maximumMs));
            painter.setPen(Qt::black);
            const QString label = QString::number(second);
            painter.drawText(bottom + QPointF(-metrics.horizontalAdvance(label) / 2.0, 18), label);
        }
        const double yStep = tickStep(maximumMs - minimumMs, 8);
        for (double ms = std::ceil(minimumMs / yStep) * yStep; ms <= maximumMs + 1e-9;
             ms += yStep) {
            const QPointF left = at(0, ms);
            painter.setPen(gridColour);
            painter.drawLine(left, at(seconds, ms));
            painter.setPen(Qt::black);
            const QString label = QString::number(ms);
            painter.drawText(left + QPointF(-metrics.horizontalAdvance(label) - 6, 4), label);
        }
        painter.setPen(Qt::black);
        painter.drawRect(plotArea);
        painter.drawText(QRect(plotArea.left(), plotArea.bottom() + 30, plotArea.width(), 30),
                         Qt::AlignCenter, QStringLiteral("time in the recording (s)"));
        painter.save();
        painter.translate(20, plotArea.center().y());
        painter.rotate(-90);
        painter.drawText(QRect(-plotArea.height() / 2, -10, plotArea.height(), 30), Qt::AlignCenter,
                         QStringLiteral("interval to the frame before (ms)"));
        painter.restore();
    }

    const double seconds;
    const double minimumMs;
    const double maximumMs;
};

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

QImage IntervalPlot::draw(const QVector<qint64> &frameMs, const QString &title)
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
        Axes(1, 0, 1).draw(painter);
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
    const Axes axes(span, bottom, top);
    axes.draw(painter);

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
