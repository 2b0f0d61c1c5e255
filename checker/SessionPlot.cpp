#include "checker/SessionPlot.h"

#include "checker/EventMarks.h"
#include "checker/PlotAxes.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

using Outcome = ConditionedResponses::Outcome;

const int marginLeft = 90;
const int marginRight = 30;
const int meanTop = 30 + EventMarks::labelRoom;
const int meanHeight = 200;
const int mapTop = meanTop + meanHeight + 60;
const QColor meanColour(20, 60, 170);
const QColor noDataColour(200, 200, 200);

int rowHeight(int trials)
{
    return std::clamp(600 / std::max(trials, 1), 3, 16);
}

double lastMs(const QVector<SessionTrials::Trial> &trials)
{
    double last = 0;
    for (const SessionTrials::Trial &trial : trials)
        last = std::max(last, trial.usMs.value_or(0));
    return last + SessionPlot::afterMs;
}

// The frames' usual spacing, the median over the trials' first intervals: the narrowest column
// that holds a frame.
double frameIntervalMs(const QVector<SessionTrials::Trial> &trials)
{
    QVector<double> intervals;
    for (const SessionTrials::Trial &trial : trials) {
        for (int i = 1; i < trial.closures.size() && i < 100; ++i)
            intervals << trial.closures[i].x() - trial.closures[i - 1].x();
    }
    if (intervals.isEmpty())
        return 0;
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    return intervals[intervals.size() / 2];
}

// The mean FEC of each column's span of time, one value per trial and column; NaN where the
// trial has no frame in it.
QVector<QVector<double>> columns(const QVector<SessionTrials::Trial> &trials,
                                 const ConditionedResponses::Scale &scale, int count,
                                 double firstMs, double msPerColumn)
{
    QVector<QVector<double>> values;
    for (const SessionTrials::Trial &trial : trials) {
        QVector<double> sums(count, 0);
        QVector<int> frames(count, 0);
        for (const QPointF &point : trial.closures) {
            const int column = int(std::floor((point.x() - firstMs) / msPerColumn));
            if (column >= 0 && column < count) {
                sums[column] += scale.fec(point.y());
                ++frames[column];
            }
        }
        QVector<double> row(count, std::nan(""));
        for (int c = 0; c < count; ++c) {
            if (frames[c] > 0)
                row[c] = sums[c] / frames[c];
        }
        values << row;
    }
    return values;
}

void drawMap(QPainter &painter, const QVector<QVector<double>> &values,
             const QVector<Outcome> &outcomes, int height, double cellWidth)
{
    for (int t = 0; t < values.size(); ++t) {
        const int y = mapTop + t * height;
        for (int c = 0; c < values[t].size(); ++c) {
            const double fec = values[t][c];
            const QRectF cell(marginLeft + c * cellWidth, y, cellWidth, height);
            painter.fillRect(cell, std::isnan(fec) ? noDataColour : SessionPlot::colourOf(fec));
        }
        if (outcomes[t] == Outcome::LeftOut)
            painter.fillRect(marginLeft - 12, y, 8, std::max(height - 1, 1), Qt::gray);
    }
}

// The mean over the trials counted, column by column.
void drawMean(QPainter &painter, const PlotAxes &axes, const QVector<QVector<double>> &values,
              const QVector<Outcome> &outcomes, double firstMs, double msPerColumn)
{
    QPainterPath path;
    bool drawing = false;
    const int count = values.isEmpty() ? 0 : int(values.first().size());
    for (int c = 0; c < count; ++c) {
        double sum = 0;
        int trials = 0;
        for (int t = 0; t < values.size(); ++t) {
            if (outcomes[t] != Outcome::LeftOut && !std::isnan(values[t][c])) {
                sum += values[t][c];
                ++trials;
            }
        }
        if (trials == 0) {
            drawing = false;
            continue;
        }
        const QPointF point = axes.at((firstMs + (c + 0.5) * msPerColumn) / 1000,
                                      std::clamp(sum / trials, -0.2, 1.2));
        drawing ? path.lineTo(point) : path.moveTo(point);
        drawing = true;
    }
    painter.save();
    painter.setClipRect(axes.area.adjusted(-2, -2, 2, 2));
    painter.setPen(QPen(meanColour, 1.5));
    painter.drawPath(path);
    painter.restore();
}

} // namespace

QImage SessionPlot::draw(const QVector<SessionTrials::Trial> &trials,
                         const QVector<ConditionedResponses::Outcome> &outcomes,
                         const ConditionedResponses::Scale &scale, const QString &title)
{
    const int height = rowHeight(int(trials.size()));
    const int plotWidth = width - marginLeft - marginRight;
    QImage image(width, mapTop + int(trials.size()) * height + 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawText(QRect(0, 5, width, 25), Qt::AlignCenter, title);

    const double firstMs = -beforeMs;
    const double spanMs = lastMs(trials) - firstMs;
    const double msPerColumn = std::max(spanMs / plotWidth, frameIntervalMs(trials));
    const int columnCount = int(std::ceil(spanMs / msPerColumn));
    const PlotAxes meanAxes(QRect(marginLeft, meanTop, plotWidth, meanHeight), firstMs / 1000,
                            lastMs(trials) / 1000, -0.2, 1.2, QStringLiteral("mean FEC"),
                            QStringLiteral("time from the CS (s)"));
    meanAxes.draw(painter);
    QVector<RunRecord::Event> marks = {{QStringLiteral("CS"), 0}};
    if (!trials.isEmpty() && trials.first().usMs)
        marks.append({QStringLiteral("US"), qint64(std::lround(*trials.first().usMs))});
    EventMarks::draw(painter, meanAxes, marks, width);

    const QVector<QVector<double>> values =
        columns(trials, scale, columnCount, firstMs, msPerColumn);
    drawMean(painter, meanAxes, values, outcomes, firstMs, msPerColumn);
    // Unantialiased, so that each cell keeps its colour to its edges.
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawMap(painter, values, outcomes, height, plotWidth * msPerColumn / spanMs);
    const QRect map(marginLeft, mapTop, plotWidth, int(trials.size()) * height);
    painter.setPen(QPen(EventMarks::colour, 1.2, Qt::DashLine));
    for (const RunRecord::Event &mark : marks) {
        const double x = meanAxes.at(double(mark.ms) / 1000, 0).x();
        painter.drawLine(QPointF(x, map.top()), QPointF(x, map.bottom()));
    }
    painter.setPen(Qt::black);
    painter.drawRect(map);
    painter.drawText(QRect(0, map.top(), marginLeft - 16, 20), Qt::AlignRight,
                     QString::number(trials.isEmpty() ? 0 : trials.first().number));
    painter.drawText(QRect(0, map.bottom() - 16, marginLeft - 16, 20), Qt::AlignRight,
                     QString::number(trials.isEmpty() ? 0 : trials.last().number));
    painter.drawText(QRect(marginLeft, map.bottom() + 8, plotWidth, 40), Qt::AlignCenter,
                     QStringLiteral("one row per trial, from FEC 0 (dark) to 1 (bright); grey "
                                    "at the left: left out, a blink before the CS"));
    return image;
}

QString SessionPlot::fileNameFor(const QString &tableFileName)
{
    const QFileInfo table(tableFileName);
    return table.dir().filePath(table.completeBaseName() + QStringLiteral("_traces.png"));
}

// From dark blue through green to yellow, so that a closure reads as brightness.
QColor SessionPlot::colourOf(double fec)
{
    const double f = std::clamp(fec, 0.0, 1.0);
    const QColor low(30, 20, 90);
    const QColor middle(30, 150, 120);
    const QColor high(250, 230, 40);
    const auto mix = [](const QColor &a, const QColor &b, double share) {
        return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * share,
                                a.greenF() + (b.greenF() - a.greenF()) * share,
                                a.blueF() + (b.blueF() - a.blueF()) * share);
    };
    return f < 0.5 ? mix(low, middle, f * 2) : mix(middle, high, (f - 0.5) * 2);
}
