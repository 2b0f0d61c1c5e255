#include "capture/TestCamera.h"

#include "capture/BlinkingEye.h"
#include "capture/FramePattern.h"
#include "common/FrameMemory.h"

#include <QRegularExpression>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int maximumSide = 4096;
// Pixels the scenery moves between two frames, so that the encoder has motion to handle.
constexpr int step = 4;

cv::Mat makeScenery(int width, int height, bool gray)
{
    cv::Mat picture(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        auto *row = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x)
            row[x] = cv::Vec3b(uchar(255 * x / width), uchar(255 * y / height), uchar(96));
    }
    cv::RNG random(std::uint64_t(width) * 7919 + std::uint64_t(height));
    for (int i = 0; i < 24; ++i) {
        const cv::Point centre(random.uniform(0, width), random.uniform(0, height));
        const int radius = random.uniform(height / 20 + 1, height / 5 + 2);
        const cv::Scalar colour(random.uniform(0, 256), random.uniform(0, 256),
                                random.uniform(0, 256));
        cv::circle(picture, centre, radius, colour, cv::FILLED, cv::LINE_AA);
    }
    if (gray)
        cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY);
    cv::Mat scenery;
    cv::hconcat(picture, picture, scenery);
    return scenery;
}

// Applies one ":name" or ":name=N" option; false when it is unknown, repeated or out of range.
bool applyOption(TestCamera::Settings &settings, const QString &option, QStringList &seen)
{
    const QStringList parts = option.split(QLatin1Char('='));
    const QString &name = parts.first();
    if (seen.contains(name))
        return false;
    seen << name;
    if (parts.size() == 1) {
        if (name == QLatin1String("gray"))
            settings.gray = true;
        else if (name == QLatin1String("eye"))
            settings.eye = true;
        else
            return false;
        return true;
    }
    const int value = parts.at(1).toInt();
    if (name == QLatin1String("frames"))
        settings.frameLimit = value;
    else if (name == QLatin1String("stall"))
        settings.stallAfter = value;
    else if (name == QLatin1String("lose") && value >= 2)
        settings.loseEvery = value;
    else if (name == QLatin1String("burst") && value >= 2)
        settings.burst = value;
    else
        return false;
    return true;
}

// Whether the options fit together and the frames can hold the pattern (and the eye).
bool isPossible(const TestCamera::Settings &settings)
{
    const cv::Size least = FramePattern::area();
    if (settings.width < least.width || settings.height < least.height ||
        settings.width > maximumSide || settings.height > maximumSide ||
        settings.fps > FrameMemory::mostFps)
        return false;
    // Losing, holding back and stalling are about a schedule, which an unpaced camera has not.
    const bool misbehaves =
        settings.loseEvery > 0 || settings.burst > 0 || settings.stallAfter >= 0;
    if (settings.fps == 0 && misbehaves)
        return false;
    // The eye and the skin around it must stay clear of the pattern, to be seen and checked.
    const cv::Rect skin = BlinkingEye::skinBox({settings.width, settings.height});
    return !settings.eye || (skin & cv::Rect({0, 0}, least)).empty();
}

} // namespace

std::optional<TestCamera::Settings> TestCamera::Settings::parse(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^test(?::(\\d{1,5})x(\\d{1,5})@(\\d{1,4}))?((?::[a-z]+(?:=\\d{1,9})?)*)$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    Settings settings;
    settings.text = text;
    if (match.capturedLength(1) > 0) {
        settings.width = match.captured(1).toInt();
        settings.height = match.captured(2).toInt();
        settings.fps = match.captured(3).toInt();
    }
    QStringList seen;
    const QStringList options = match.captured(4).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &option : options)
        if (!applyOption(settings, option, seen))
            return std::nullopt;
    if (!isPossible(settings))
        return std::nullopt;
    return settings;
}

QString TestCamera::Settings::displayName() const
{
    const QString rate = fps > 0 ? QStringLiteral("@ %1 fps").arg(fps) : QStringLiteral("unpaced");
    QString name = QStringLiteral("Test camera %1x%2 %3").arg(width).arg(height).arg(rate);
    if (frameLimit >= 0)
        name += QStringLiteral(", %1 frames").arg(frameLimit);
    if (gray)
        name += QStringLiteral(", gray");
    if (eye)
        name += QStringLiteral(", blinking eye");
    if (loseEvery > 0)
        name += QStringLiteral(", loses 1 frame in %1").arg(loseEvery);
    if (burst > 0)
        name += QStringLiteral(", in bursts of %1").arg(burst);
    if (stallAfter >= 0)
        name += QStringLiteral(", stalls after %1 frames").arg(stallAfter);
    return name;
}

int TestCamera::queueLength(const Settings &settings)
{
    const qint64 frameBytes = qint64(settings.width) * settings.height * (settings.gray ? 1 : 3);
    const int halfSecond = (settings.fps + 1) / 2;
    return FrameMemory::framesWithin(FrameMemory::cameraQueueBytes, frameBytes, 4,
                                     std::max(4, halfSecond));
}

TestCamera::TestCamera(const Settings &settings)
    : settings(settings), openedAt(MonotonicClock::now()),
      scenery(makeScenery(settings.width, settings.height, settings.gray)),
      capacity(std::size_t(std::max(queueLength(settings), settings.burst)))
{
}

TestCamera::~TestCamera()
{
    release();
}

bool TestCamera::isOpened() const
{
    return opened;
}

cv::Size TestCamera::frameSize()
{
    return {settings.width, settings.height};
}

double TestCamera::frameRate() const
{
    return settings.fps;
}

bool TestCamera::deliversOnDemand() const
{
    return settings.fps == 0;
}

FrameSource::Description TestCamera::description() const
{
    Description facts;
    facts.listText = settings.displayName();
    facts.device = settings.text;
    facts.backend = QStringLiteral("test camera");
    facts.frameSize = {settings.width, settings.height};
    facts.pixelFormat = settings.gray ? QStringLiteral("GRAY") : QStringLiteral("BGR");
    facts.timeSource = TimeSource::Camera;
    return facts;
}

bool TestCamera::limitReached(std::uint32_t index) const
{
    return settings.frameLimit >= 0 && index >= std::uint32_t(settings.frameLimit);
}

bool TestCamera::stallsAt(std::uint32_t index) const
{
    return settings.stallAfter >= 0 && index >= std::uint32_t(settings.stallAfter);
}

bool TestCamera::lostOnTheBus(std::uint32_t index) const
{
    return settings.loseEvery > 0 && (index + 1) % std::uint32_t(settings.loseEvery) == 0;
}

MonotonicClock::duration TestCamera::sinceStart(std::uint32_t index) const
{
    return std::chrono::duration_cast<MonotonicClock::duration>(
        std::chrono::nanoseconds(std::int64_t(index) * 1'000'000'000 / settings.fps));
}

FrameSource::Frame TestCamera::makeFrame(std::uint32_t index, MonotonicClock::time_point capturedAt,
                                         MonotonicClock::duration sinceFirstFrame) const
{
    const int offset = int((std::uint64_t(index) * step) % std::uint64_t(settings.width));
    Frame frame;
    scenery(cv::Rect(offset, 0, settings.width, settings.height)).copyTo(frame.pixels);
    frame.captureTime = capturedAt;
    frame.sequence = index;
    const auto sinceOpening =
        std::chrono::duration_cast<std::chrono::microseconds>(*frame.captureTime - openedAt);
    FramePattern::Stamp stamp{index, sinceOpening.count()};
    if (settings.eye) {
        const double closed = BlinkingEye::closedFraction(
            std::chrono::duration<double, std::milli>(sinceFirstFrame).count());
        BlinkingEye::draw(frame.pixels, closed);
        stamp.closedThousandths = std::uint16_t(std::lround(closed * 1000));
    }
    FramePattern::draw(frame.pixels, stamp);
    return frame;
}

FrameSource::Result TestCamera::readFrame(Frame &frame)
{
    frame = Frame();
    if (settings.fps == 0)
        return readUnpaced(frame);
    std::unique_lock<std::mutex> lock(mutex);
    // Capture drivers start streaming on the first grab, not when the device is opened.
    if (!streaming && opened) {
        streaming = true;
        producer = std::thread(&TestCamera::produce, this, MonotonicClock::now());
    }
    changed.wait(lock, [this] { return !queue.empty() || exhausted || stopping; });
    if (queue.empty())
        return Result::Failed;
    frame = std::move(queue.front());
    queue.pop_front();
    return Result::Frame;
}

FrameSource::Result TestCamera::readUnpaced(Frame &frame)
{
    if (!opened || limitReached(nextUnpaced))
        return Result::Failed;
    const MonotonicClock::time_point now = MonotonicClock::now();
    if (!firstUnpaced)
        firstUnpaced = now;
    frame = makeFrame(nextUnpaced++, now, now - *firstUnpaced);
    return Result::Frame;
}

void TestCamera::produce(MonotonicClock::time_point start)
{
    std::vector<Frame> made;
    const std::size_t burst = std::size_t(std::max(settings.burst, 1));
    std::uint32_t index = 0;
    for (; !limitReached(index) && !stallsAt(index); ++index) {
        // Each deadline counts from the start, so that late frames do not shift the schedule.
        const MonotonicClock::time_point due = start + sinceStart(index);
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (changed.wait_until(lock, due, [this] { return stopping; }))
                return;
        }
        if (lostOnTheBus(index))
            continue;
        // Stamped when due, as a sensor exposes on its own clock, however late this thread
        // woke: a busy machine delays the frame's delivery, never its capture time.
        made.push_back(makeFrame(index, due, due - start));
        if (made.size() >= burst)
            deliver(made);
    }
    deliver(made);
    // A frozen camera announces nothing: reads wait until it is released.
    std::lock_guard<std::mutex> lock(mutex);
    exhausted = limitReached(index);
    changed.notify_all();
}

void TestCamera::deliver(std::vector<Frame> &made)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (Frame &frame : made)
        if (queue.size() < capacity)
            queue.push_back(std::move(frame));
    made.clear();
    changed.notify_all();
}

void TestCamera::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        opened = false;
        queue.clear();
    }
    changed.notify_all();
    if (producer.joinable())
        producer.join();
}
