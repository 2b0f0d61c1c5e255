#include "engine/CameraWatcher.h"

#include "capture/FrameReader.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// Both the recorder and the watcher keep the window this far behind at most.
constexpr int previewsInFlight = 2;
// About 60 closures a second are all a trace can show; a faster camera is thinned.
constexpr double measureSpacingMs = 1000.0 / 64;

} // namespace

CameraWatcher::CameraWatcher(QObject *parent)
    : QObject(parent), openSource([](int) { return std::unique_ptr<FrameSource>(); })
{
}

CameraWatcher::~CameraWatcher() = default;

void CameraWatcher::setSourceFactory(SourceFactory factory)
{
    openSource = std::move(factory);
}

void CameraWatcher::watch(int camID)
{
    release();
    camera = std::make_unique<FrameReader>([open = openSource, camID] { return open(camID); });
    if (!camera->isOpened() || camera->frameSize().empty()) {
        const FrameSource::Description source = camera->description();
        const QString name = !source.device.isEmpty()     ? source.device
                             : !source.listText.isEmpty() ? source.listText
                                                          : QString::number(camID);
        fail(QStringLiteral("camera %1 did not open").arg(name));
        return;
    }
    firstFrameTime.reset();
    formatTold = false;
    previewPace.restart();
    lastMeasuredMs.reset();
    chosenThreshold.reset();
    QTimer::singleShot(0, this, &CameraWatcher::readNext);
}

void CameraWatcher::stopWatching()
{
    release();
}

void CameraWatcher::setEyelidRegion(QRect box)
{
    region.reset();
    if (!box.isEmpty())
        region = EyelidRegion{cv::Rect(box.x(), box.y(), box.width(), box.height())};
    chosenThreshold.reset();
    lastMeasuredMs.reset();
}

void CameraWatcher::setEyelidThreshold(int level)
{
    givenThreshold.reset();
    if (level >= 0)
        givenThreshold = std::min(level, 255);
    chosenThreshold.reset();
}

void CameraWatcher::readNext()
{
    if (!camera)
        return;
    FrameSource::Frame frame;
    const FrameSource::Result result = camera->readFrame(frame);
    const MonotonicClock::time_point arrival = MonotonicClock::now();
    if (result != FrameSource::Result::Frame) {
        fail(result == FrameSource::Result::Ended
                 ? QStringLiteral("the source ended")
                 : QStringLiteral("the camera stopped delivering"));
        return;
    }
    if (!formatTold) {
        formatTold = true;
        emit formatSeen(QSize(frame.pixels.cols, frame.pixels.rows), frame.pixels.channels() == 1);
    }
    if (previewPace.due(arrival)) {
        if (IplImage *image = PreviewFrame::lend(frame.pixels, previewsLent, previewsInFlight)) {
            previewPace.lent(arrival);
            emit frameAvailable(image);
        }
    }
    measure(frame, arrival);
    QTimer::singleShot(0, this, &CameraWatcher::readNext);
}

void CameraWatcher::release()
{
    if (!camera)
        return;
    camera->release();
    camera.reset();
    emit watchingStopped();
}

void CameraWatcher::fail(const QString &reason)
{
    qDebug().noquote() << QStringLiteral("Watching the camera failed: %1").arg(reason);
    emit watchFailed(reason);
    release();
}

// Frames are timed by the camera where it tells, as a recording's are.
void CameraWatcher::measure(const FrameSource::Frame &frame, MonotonicClock::time_point arrival)
{
    const MonotonicClock::time_point time = frame.captureTime.value_or(arrival);
    if (!firstFrameTime)
        firstFrameTime = time;
    const double ms = std::chrono::duration<double, std::milli>(time - *firstFrameTime).count();
    if (!region || (lastMeasuredMs && ms - *lastMeasuredMs < measureSpacingMs))
        return;
    const std::optional<int> threshold = thresholdFor(frame.pixels);
    if (!threshold)
        return;
    if (const std::optional<double> closure = measurer.closure(frame.pixels, *region, *threshold)) {
        lastMeasuredMs = ms;
        emit closureMeasured(ms, *closure);
    }
}

// The given threshold, else the one chosen on the region's first frame.
std::optional<int> CameraWatcher::thresholdFor(const cv::Mat &frame)
{
    if (givenThreshold)
        return givenThreshold;
    if (!chosenThreshold) {
        const std::optional<EyelidThreshold> otsu = measurer.otsuThreshold(frame, *region);
        if (!otsu)
            return std::nullopt;
        chosenThreshold = otsu->level;
        emit eyelidThresholdChosen(otsu->level);
    }
    return chosenThreshold;
}
