#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QVector>
#include <QWidget>

// The eyelid's closure over the last seconds, as a line from open (0, at the bottom) to closed
// (1, at the top), the newest at the right. A dashed line at half closed marks where a blink's
// onset is counted; the grey level that parts lid from eye is written in a corner.
class EyelidTrace : public QWidget
{
    Q_OBJECT
public:
    static constexpr double spanMs = 5000;
    static constexpr double onsetClosure = 0.5;

    explicit EyelidTrace(QWidget *parent = nullptr);

    // The line as drawn on the widget now, oldest point first.
    QPolygonF line() const;
    QString thresholdText() const { return threshold; }

    QSize sizeHint() const override;

public slots:
    // ms on the clock of the recording or the watch that measured it.
    void showClosure(double ms, double closure);
    void showThreshold(int level);
    // A new recording or watch: its clock starts again.
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double yOf(double closure) const;

    // (ms, closure), oldest first, none older than spanMs before the newest.
    QVector<QPointF> samples;
    QString threshold;
};
