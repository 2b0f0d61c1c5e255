#pragma once

#include "encode/MeasuredSpeed.h"

#include <QString>
#include <QVector>

#include <opencv2/core/mat.hpp>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

// Measures how fast this machine encodes frames of one size and format with the settings that
// EncoderChoice::fromMeasured chooses from: camera-like frames go through FfmpegVideoSink
// with each candidate's settings into a temporary file. Lab computers differ too much for
// speeds measured elsewhere. Blocks for about budget().leastTime per candidate; run it where
// that holds up nothing.
class EncoderCalibration
{
public:
    // How long one candidate is encoded. The first frame is left out of the measure: the
    // encoder sets itself up on it.
    struct Budget
    {
        int leastFrames = 20;
        std::chrono::milliseconds leastTime{300};
        // Settings too slow for leastFrames in this time are measured on fewer frames.
        std::chrono::milliseconds mostTime{3000};
    };

    EncoderCalibration(cv::Size frameSize, bool gray);

    void setBudget(const Budget &budget) { spent = budget; }
    const Budget &budget() const { return spent; }
    // The cores that all-core settings use; QThread::idealThreadCount() unless set.
    void setCores(int cores) { coreCount = cores; }
    // Asked between frames: once it answers true, measuring ends with the speeds it has, the
    // candidate under way measured on the frames so far.
    void setInterruption(std::function<bool()> interrupted)
    {
        interruption = std::move(interrupted);
    }

    // veryfast in one thread, ultrafast in one, and ultrafast in every core where there are
    // more: the order in which the choice prefers them.
    static QVector<H264Settings> candidates(int cores);

    // The speed of every candidate; 0 for one that could not encode.
    QVector<MeasuredSpeed> measure() const;
    // The speeds of the candidates up to the first that keeps EncoderChoice::headroom ahead of
    // a camera at cameraFps, which the choice would take: a small frame at 30 fps costs one.
    QVector<MeasuredSpeed> measureUntilFastEnough(double cameraFps) const;

private:
    QVector<MeasuredSpeed> measureUntil(double neededFps) const;
    MeasuredSpeed measureOne(const H264Settings &settings, const std::vector<cv::Mat> &frames,
                             const QString &fileName) const;
    bool budgetSpent(int frames, std::chrono::nanoseconds elapsed) const;

    cv::Size frameSize;
    bool gray;
    int coreCount;
    Budget spent;
    std::function<bool()> interruption = [] { return false; };
};
