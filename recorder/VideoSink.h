#pragma once

#include <opencv2/core/mat.hpp>

#include <string>

// Writes the frames of one recording into a video file. Implementations report every
// failure they can see, so that a recording that lost frames is never reported as a success.
class VideoSink
{
public:
    virtual ~VideoSink() = default;

    // Opens fileName for frames of frameSize, declared at fps, encoded with the codec named
    // by the FOURCC code fourcc (-1: the platform's choice). True when the file is open.
    virtual bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                      bool isColor) = 0;
    virtual bool isOpened() const = 0;
    // Encodes and writes one frame of the opened size; false when it could not be written.
    virtual bool write(const cv::Mat &frame) = 0;
    // Completes and closes the file; false when completing it failed. Does nothing when closed.
    virtual bool release() = 0;
};
