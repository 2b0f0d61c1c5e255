#pragma once

#include "VideoSink.h"

#include <opencv2/videoio.hpp>

// The video library's own writer.
class CvVideoSink : public VideoSink
{
public:
    bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
              bool isColor) override;
    bool isOpened() const override;
    bool write(const cv::Mat &frame) override;
    bool release() override;

private:
    cv::VideoWriter writer;
    int frameType = CV_8UC3;
    cv::Size frameSize;
};
