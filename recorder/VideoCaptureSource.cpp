#include "VideoCaptureSource.h"

VideoCaptureSource::VideoCaptureSource(int deviceIndex)
{
    capture.open(deviceIndex);
}

VideoCaptureSource::VideoCaptureSource(const std::string &name)
{
    capture.open(name);
    // Files know how many frames they hold; live streams and pipelines do not.
    onDemand = capture.isOpened() && capture.get(cv::CAP_PROP_FRAME_COUNT) > 0;
}

bool VideoCaptureSource::isOpened() const
{
    return capture.isOpened();
}

bool VideoCaptureSource::read(cv::Mat &frame)
{
    if (!heldBack.empty()) {
        frame = heldBack;
        heldBack.release();
        return true;
    }
    cv::Mat fresh;
    capture.read(fresh);
    // Some backends hand out pixels they refill on the next grab; the recording keeps frames
    // for a while, so those get a buffer of their own.
    frame = (fresh.u && fresh.u->refcount > 1) ? fresh.clone() : fresh;
    return !frame.empty();
}

void VideoCaptureSource::release()
{
    heldBack.release();
    capture.release();
}

cv::Size VideoCaptureSource::frameSize()
{
    const cv::Size reported(int(capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                            int(capture.get(cv::CAP_PROP_FRAME_HEIGHT)));
    if (!reported.empty())
        return reported;
    if (heldBack.empty() && !read(heldBack))
        return {};
    return heldBack.size();
}

double VideoCaptureSource::frameRate() const
{
    return capture.get(cv::CAP_PROP_FPS);
}

bool VideoCaptureSource::deliversOnDemand() const
{
    return onDemand;
}
