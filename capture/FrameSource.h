#pragma once

#include "common/MonotonicClock.h"

#include <QString>

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>

// Where a recording's frames come from: a camera, a video file or stream, or the test camera.
class FrameSource
{
public:
    struct Frame
    {
        // Pixels of its own, which no later read refills.
        cv::Mat pixels;
        // When the source captured it, where the source tells.
        std::optional<MonotonicClock::time_point> captureTime;
        // The source's own count of the frames it captured, where it keeps one: a gap shows
        // frames lost before the program read them.
        std::optional<std::uint64_t> sequence;
    };

    enum class Result {
        Frame,
        // No frame will follow: the end of a file.
        Ended,
        // None came: an unplugged camera, a broken stream, or no answer in time.
        Failed,
    };

    // Whose clock times the frames.
    enum class TimeSource { Camera, Arrival };

    // What a run record says about the source.
    struct Description
    {
        // Its entry in the camera list.
        QString listText;
        // What was opened: a device node, a device index, or the source text.
        QString device;
        // The capture backend, as the video library names it, or "test camera".
        QString backend;
        cv::Size frameSize;
        // The camera's FOURCC, or the frames' layout where there is none.
        QString pixelFormat;
        // Camera: frames carry the source's own capture times; Arrival: they are timed when
        // they reach the program.
        TimeSource timeSource = TimeSource::Arrival;
    };

    virtual ~FrameSource() = default;

    virtual bool isOpened() const = 0;
    // Waits for the next frame. Anything but Result::Frame leaves frame empty.
    virtual Result readFrame(Frame &frame) = 0;
    virtual void release() = 0;
    // The size of the frames it delivers; empty when it cannot tell.
    virtual cv::Size frameSize() = 0;
    // Frames per second it delivers; 0 when unknown or when it has no pace of its own.
    virtual double frameRate() const = 0;
    // True when it makes each frame when asked (a file), so that a reader that waits loses
    // nothing; false when frames come on its own schedule and are lost unless read in time.
    virtual bool deliversOnDemand() const = 0;
    virtual Description description() const = 0;

    // The next frame's pixels alone, for tools that need no times.
    bool read(cv::Mat &pixels)
    {
        Frame frame;
        const bool delivered = readFrame(frame) == Result::Frame;
        pixels = frame.pixels;
        return delivered;
    }
};
