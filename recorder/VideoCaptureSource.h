#pragma once

#include "FrameSource.h"

#include <opencv2/videoio.hpp>

#include <string>

// A camera by device index, or anything the video library opens by name (a video file, an
// image sequence, a stream address, a pipeline).
class VideoCaptureSource : public FrameSource
{
public:
    explicit VideoCaptureSource(int deviceIndex);
    explicit VideoCaptureSource(const std::string &name);

    bool isOpened() const override;
    bool read(cv::Mat &frame) override;
    void release() override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;

private:
    cv::VideoCapture capture;
    // A frame read early to learn the size where the backend does not tell it; the next
    // read delivers it.
    cv::Mat heldBack;
    bool onDemand = false;
};
