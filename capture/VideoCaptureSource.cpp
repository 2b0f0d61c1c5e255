#include "capture/VideoCaptureSource.h"

#include <QDebug>
#include <QRegularExpression>

#include <thread>

namespace {

// For a backend that tells neither frame times nor a rate.
constexpr double defaultPlaybackFps = 30.0;

MonotonicClock::duration fromMilliseconds(double milliseconds)
{
    return std::chrono::duration_cast<MonotonicClock::duration>(
        std::chrono::duration<double, std::milli>(milliseconds));
}

// A stream that stops sending holds an open or a read in the library for its own 30 s, and
// with it the stream's port, so that the next recording from that address cannot open it.
// These bounds end such a wait soon after the recording gave up on it (FrameReader::Bounds:
// 10 s to open, 5 s for the first frame, at least 2 s for each after), and free the port. The
// open's is shorter than the recording's, so that the failure names the address.
constexpr int networkOpenTimeoutMs = 5'000;
constexpr int networkReadTimeoutMs = 5'000;

// Addresses that the FFmpeg backend reads from the network.
bool isNetworkAddress(const std::string &name)
{
    static const QRegularExpression scheme(QStringLiteral("^(udp|tcp|rtp|rtsp|rtmp|srt|https?)://"),
                                           QRegularExpression::CaseInsensitiveOption);
    return scheme.match(QString::fromStdString(name)).hasMatch();
}

} // namespace

VideoCaptureSource::VideoCaptureSource(const CaptureDevice &device, const QString &listText,
                                       const std::optional<CameraMode> &mode)
    : listText(listText), device(device.text())
{
    if (device.path.empty())
        capture.open(device.deviceIndex, device.backend);
    else
        capture.open(device.path, device.backend);
    if (!capture.isOpened()) {
        reportOpenFailure();
        return;
    }
    if (mode)
        applyMode(*mode);
    if (device.monotonicFrameTimes)
        timing = Timing::DeviceClock;
}

VideoCaptureSource::VideoCaptureSource(const std::string &name)
    : listText(QString::fromStdString(name)), device(listText)
{
    // Only FFmpeg takes the bounds; another backend would wait unbounded again, so none is
    // tried for an address (a GStreamer pipeline text still reaches GStreamer).
    if (isNetworkAddress(name))
        capture.open(name, cv::CAP_FFMPEG,
                     {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, networkOpenTimeoutMs,
                      cv::CAP_PROP_READ_TIMEOUT_MSEC, networkReadTimeoutMs});
    else
        capture.open(name);
    if (!capture.isOpened()) {
        reportOpenFailure();
        return;
    }
    // Files know how many frames they hold; live streams and pipelines do not.
    if (capture.get(cv::CAP_PROP_FRAME_COUNT) > 0)
        timing = Timing::Playback;
}

void VideoCaptureSource::reportOpenFailure() const
{
    qDebug("the video library could not open \"%s\"", qPrintable(device));
}

void VideoCaptureSource::applyMode(const CameraMode &asked)
{
    // The pixel format first and the rate last: V4L2 devices reset their rate with a new
    // format or size.
    if (!asked.fourcc.isEmpty())
        capture.set(cv::CAP_PROP_FOURCC, CameraMode::fourccCode(asked.fourcc));
    capture.set(cv::CAP_PROP_FRAME_WIDTH, asked.width);
    capture.set(cv::CAP_PROP_FRAME_HEIGHT, asked.height);
    capture.set(cv::CAP_PROP_FPS, asked.fps);
    const CameraMode given = currentMode();
    if (!asked.grantedBy(given))
        qDebug("camera mode refused: asked %s, given %s", qPrintable(asked.text()),
               qPrintable(given.text()));
}

CameraMode VideoCaptureSource::currentMode() const
{
    CameraMode mode;
    mode.width = int(capture.get(cv::CAP_PROP_FRAME_WIDTH));
    mode.height = int(capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    mode.fps = capture.get(cv::CAP_PROP_FPS);
    mode.fourcc = CameraMode::fourccText(int(capture.get(cv::CAP_PROP_FOURCC)));
    return mode;
}

bool VideoCaptureSource::isOpened() const
{
    return capture.isOpened();
}

FrameSource::Result VideoCaptureSource::readFrame(Frame &frame)
{
    if (heldBack) {
        frame = std::move(*heldBack);
        heldBack.reset();
        return Result::Frame;
    }
    return readNext(frame);
}

FrameSource::Result VideoCaptureSource::readNext(Frame &frame)
{
    frame = Frame();
    cv::Mat fresh;
    if (!capture.read(fresh) || fresh.empty())
        return timing == Timing::Playback ? Result::Ended : Result::Failed;
    // Some backends hand out pixels they refill on the next grab; the recording keeps frames
    // for a while, so those get a buffer of their own.
    frame.pixels = (fresh.u && fresh.u->refcount > 1) ? fresh.clone() : fresh;
    if (timing == Timing::DeviceClock) {
        frame.captureTime = deviceTime();
    } else if (timing == Timing::Playback) {
        frame.captureTime = playbackTime();
        std::this_thread::sleep_until(*frame.captureTime);
    }
    return Result::Frame;
}

MonotonicClock::time_point VideoCaptureSource::deviceTime() const
{
    // The V4L2 backend gives the buffer's timestamp, in milliseconds of CLOCK_MONOTONIC.
    return MonotonicClock::time_point(fromMilliseconds(capture.get(cv::CAP_PROP_POS_MSEC)));
}

MonotonicClock::time_point VideoCaptureSource::playbackTime()
{
    double fileMilliseconds = capture.get(cv::CAP_PROP_POS_MSEC);
    // Backends that keep no frame times: one declared period after the last.
    if (lastFileMilliseconds >= 0 && fileMilliseconds <= lastFileMilliseconds) {
        const double fps = frameRate() > 0 ? frameRate() : defaultPlaybackFps;
        fileMilliseconds = lastFileMilliseconds + 1000.0 / fps;
    }
    lastFileMilliseconds = fileMilliseconds;
    const MonotonicClock::duration offset = fromMilliseconds(fileMilliseconds);
    if (!playbackStart)
        playbackStart = MonotonicClock::now() - offset;
    return *playbackStart + offset;
}

void VideoCaptureSource::release()
{
    heldBack.reset();
    capture.release();
}

cv::Size VideoCaptureSource::frameSize()
{
    const cv::Size reported(int(capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                            int(capture.get(cv::CAP_PROP_FRAME_HEIGHT)));
    if (!reported.empty())
        return reported;
    if (!heldBack) {
        Frame first;
        if (readNext(first) != Result::Frame)
            return {};
        heldBack = std::move(first);
    }
    return heldBack->pixels.size();
}

double VideoCaptureSource::frameRate() const
{
    return capture.get(cv::CAP_PROP_FPS);
}

bool VideoCaptureSource::deliversOnDemand() const
{
    return timing == Timing::Playback;
}

FrameSource::Description VideoCaptureSource::description() const
{
    Description facts;
    facts.listText = listText;
    facts.device = device;
    if (!capture.isOpened())
        return facts;
    facts.backend = QString::fromStdString(capture.getBackendName());
    facts.frameSize = {int(capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                       int(capture.get(cv::CAP_PROP_FRAME_HEIGHT))};
    // The GStreamer backend knows no FOURCC and complains when asked.
    if (facts.backend != QLatin1String("GSTREAMER"))
        facts.pixelFormat = CameraMode::fourccText(int(capture.get(cv::CAP_PROP_FOURCC)));
    facts.timeSource = timing == Timing::Arrival ? TimeSource::Arrival : TimeSource::Camera;
    return facts;
}
