#pragma once

#include "encode/H264Settings.h"
#include "encode/MeasuredSpeed.h"

#include <QString>
#include <QVector>

#include <opencv2/core/types.hpp>

// The H.264 encoder's preset and threads for a camera's pixel rate: the best-compressing
// settings that encode at least 1.3 times as fast as the camera delivers, or, where none does
// on this machine, the fastest there are. The speeds behind the choice are those the benchmark
// measured on two cores (see the README); grey frames cost less, as their colour needs no
// conversion and their constant chroma no search.
class EncoderChoice
{
public:
    // How much faster than the camera encoding should run, for the moments when the machine
    // is busy with other work.
    static constexpr double headroom = 1.3;

    H264Settings settings;
    // Whether the settings are expected to keep up with the camera.
    bool keepsUp = false;
    // The choice and its reason in one line, for the recording's debug messages.
    QString reason;
    // The speeds measured on this machine that the choice was made from; none for the table's.
    QVector<MeasuredSpeed> measured;

    static EncoderChoice forCamera(cv::Size frameSize, double fps, bool gray, int cores);
    // The same rule applied to the speeds measured on this machine for frames of frameSize
    // (grey or not, which only the reason names): the best-compressing settings, fewer threads
    // first, that encode at least headroom times cameraFps; where none does, the fastest.
    static EncoderChoice fromMeasured(const QVector<MeasuredSpeed> &speeds, double cameraFps,
                                      cv::Size frameSize, bool gray);
};
