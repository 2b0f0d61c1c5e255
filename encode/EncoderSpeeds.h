#pragma once

#include "encode/EncoderChoice.h"
#include "encode/MeasuredSpeed.h"

#include <QMutex>
#include <QVariant>
#include <QVector>

#include <opencv2/core/types.hpp>

#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <utility>

// What this machine encodes, by frame size and format, as measured here while no recording
// ran. Shared between the sinks that choose their settings from it and EncoderTuning, which
// measures the formats that the sinks met and found no speeds for. Safe to use from any thread.
class EncoderSpeeds
{
public:
    // The settings for a camera: from the speeds measured for its frames where there are any,
    // otherwise from the table EncoderChoice keeps, and then the frames' format is wanted for
    // a measurement. gray is known only with a camera's first frame; until then a caller asks
    // for colour, without wanting it measured.
    EncoderChoice choose(cv::Size frameSize, double cameraFps, bool gray, bool firstFrameSeen);

    // [{"preset": "veryfast", "threads": 1, "fps": 312.4}, ...], for the run record.
    static QVariantList toVariant(const QVector<MeasuredSpeed> &speeds);

    // A format met while no recording runs (a watched camera), to be measured before it is
    // recorded; nothing when it was measured already.
    void want(cv::Size frameSize, bool gray);

    std::optional<QVector<MeasuredSpeed>> find(cv::Size frameSize, bool gray) const;
    void store(cv::Size frameSize, bool gray, const QVector<MeasuredSpeed> &speeds);
    // The first format that a sink met without speeds and that is not measured yet.
    std::optional<std::pair<cv::Size, bool>> nextWanted() const;

    // A recording's encoder runs between these two: measuring then would take its cores.
    void recordingOpened() { ++recordingsOpen, ++recordingsEver; }
    void recordingClosed() { --recordingsOpen; }
    bool recordingOpen() const { return recordingsOpen > 0; }
    // How many recordings were ever opened: a measurement that saw it change was disturbed.
    int recordingsOpened() const { return recordingsEver; }

private:
    using Format = std::pair<std::pair<int, int>, bool>;
    static Format formatOf(cv::Size frameSize, bool gray);

    mutable QMutex mutex;
    std::map<Format, QVector<MeasuredSpeed>> measured;
    std::set<Format> wanted;
    std::atomic<int> recordingsOpen{0};
    std::atomic<int> recordingsEver{0};
};
