#include "ui/EyelidTrace.h"

#include <QPainter>

#include <algorithm>

EyelidTrace::EyelidTrace(QWidget *parent) : QWidget(parent)
{
    setMinimumHeight(60);
}

QSize EyelidTrace::sizeHint() const
{
    return {320, 90};
}

QPolygonF EyelidTrace::line() const
{
    QPolygonF points;
    if (samples.isEmpty())
        return points;
    const double newest = samples.last().x();
    for (const QPointF &sample : samples) {
        const double age = newest - sample.x();
        points << QPointF(width() * (1 - age / spanMs), yOf(sample.y()));
    }
    return points;
}

void EyelidTrace::showClosure(double ms, double closure)
{
    // A clock that went back is a new one: an older run's measure came late.
    if (!samples.isEmpty() && ms < samples.last().x())
        samples.clear();
    samples << QPointF(ms, std::clamp(closure, 0.0, 1.0));
    const auto kept = std::find_if(samples.begin(), samples.end(), [ms](const QPointF &sample) {
        return ms - sample.x() <= spanMs;
    });
    samples.erase(samples.begin(), kept);
    update();
}

void EyelidTrace::showThreshold(int level)
{
    threshold = tr("threshold %1 (otsu)").arg(level);
    update();
}

void EyelidTrace::clear()
{
    samples.clear();
    threshold.clear();
    update();
}

void EyelidTrace::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(QPen(palette().mid().color(), 1, Qt::DashLine));
    const double onsetY = yOf(onsetClosure);
    painter.drawLine(QPointF(0, onsetY), QPointF(width(), onsetY));
    painter.setPen(palette().text().color());
    painter.drawText(QPointF(4, onsetY - 3), tr("onset"));
    painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignTop | Qt::AlignRight, threshold);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().highlight().color(), 1.5));
    painter.drawPolyline(line());
}

// A margin of two pixels keeps an open or a closed eye's line off the edges.
double EyelidTrace::yOf(double closure) const
{
    return 2 + (height() - 4) * (1 - closure);
}
