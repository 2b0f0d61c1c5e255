#pragma once

#include "capture/CameraMode.h"
#include "capture/DeviceMapping.h"
#include "capture/FrameSource.h"

#include <opencv2/videoio.hpp>

#include <optional>
#include <string>

// What the video library opens: a camera's device, or anything it opens by name (a video
// file, an image sequence, a stream address, a pipeline). Files and image sequences play at
// their own rate, each frame timed by the file; cameras whose backend stamps frames on the
// monotonic clock give those times; other sources give none.
class VideoCaptureSource : public FrameSource
{
public:
    // A camera of the platform's list, set to mode where one is asked for.
    VideoCaptureSource(const CaptureDevice &device, const QString &listText,
                       const std::optional<CameraMode> &mode);
    explicit VideoCaptureSource(const std::string &name);

    bool isOpened() const override;
    Result readFrame(Frame &frame) override;
    void release() override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;
    Description description() const override;

private:
    enum class Timing {
        // Frames are timed when they arrive.
        Arrival,
        // The backend's frame times are readings of the monotonic clock.
        DeviceClock,
        // A file: each frame is delivered when its own time has come.
        Playback,
    };

    void reportOpenFailure() const;
    void applyMode(const CameraMode &asked);
    CameraMode currentMode() const;
    MonotonicClock::time_point deviceTime() const;
    MonotonicClock::time_point playbackTime();
    Result readNext(Frame &frame);

    cv::VideoCapture capture;
    Timing timing = Timing::Arrival;
    QString listText;
    QString device;
    // A frame read early to learn the size where the backend does not tell it; the next
    // read delivers it.
    std::optional<Frame> heldBack;
    // Playback: the moment the file's time 0 corresponds to, and the last frame's file time.
    std::optional<MonotonicClock::time_point> playbackStart;
    double lastFileMilliseconds = -1;
};
