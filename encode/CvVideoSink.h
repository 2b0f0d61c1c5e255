#pragma once

#include "encode/VideoSink.h"

#include <opencv2/videoio.hpp>

// The video library's writer. It cannot be told to flush: its frames count as in the file
// only once it has been released.
class CvVideoSink : public VideoSink
{
public:
    bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
              bool isColor) override;
    bool isOpened() const override;
    OpenFailure openFailure() const override;
    bool write(const cv::Mat &frame) override;
    bool release() override;
    int framesInFile() const override;
    Description description() const override;

private:
    cv::VideoWriter writer;
    int frameType = CV_8UC3;
    cv::Size frameSize;
    OpenFailure failure = OpenFailure::None;
    Description encoding;
    cv::Mat converted;
    int framesWritten = 0;
    int framesReleased = 0;
};
