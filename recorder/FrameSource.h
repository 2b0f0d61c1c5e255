#pragma once

#include <opencv2/core/mat.hpp>

// Where a recording's frames come from: a camera, a video file or stream, or the test camera.
class FrameSource
{
public:
    virtual ~FrameSource() = default;

    virtual bool isOpened() const = 0;
    // Waits for the next frame and puts it into frame, in pixels of its own that no later
    // read refills. False, with frame empty, when none came (as from an unplugged camera).
    virtual bool read(cv::Mat &frame) = 0;
    virtual void release() = 0;
    // The size of the frames it delivers; empty when it cannot tell.
    virtual cv::Size frameSize() = 0;
    // Frames per second it delivers; 0 when unknown or when it has no pace of its own.
    virtual double frameRate() const = 0;
    // True when it makes each frame when asked (a file), so that a reader that waits loses
    // nothing; false when frames come on its own schedule and are lost unless read in time.
    virtual bool deliversOnDemand() const = 0;
};
