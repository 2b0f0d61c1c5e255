#pragma once

#include "encode/EncoderCalibration.h"
#include "encode/EncoderSpeeds.h"

#include <QObject>
#include <QSize>

#include <atomic>
#include <memory>

// Measures, in a thread of its own and while no recording runs, how fast this machine encodes
// each frame size and format that a recording met without measured speeds, so that the next
// recordings of that camera choose from what this machine does rather than from a table made
// on another one. A recording that starts meanwhile ends the measurement at once and its
// speeds are thrown away: measuring starts again from the beginning when asked after it.
class EncoderTuning : public QObject
{
    Q_OBJECT
public:
    explicit EncoderTuning(std::shared_ptr<EncoderSpeeds> speeds, QObject *parent = nullptr);

    void setBudget(const EncoderCalibration::Budget &budget) { this->budget = budget; }
    // Ends a measurement under way at its next frame, and every later one at once, so that
    // the program's end waits for none. Safe to call from any thread.
    void stop() { stopped = true; }

public slots:
    // Measures every wanted format, one after the other, while no recording runs.
    void measureWanted();

signals:
    void measured(QSize frameSize, bool gray);

private:
    bool measure(cv::Size frameSize, bool gray);

    std::shared_ptr<EncoderSpeeds> speeds;
    EncoderCalibration::Budget budget;
    std::atomic<bool> stopped{false};
};
