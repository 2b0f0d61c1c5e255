#include "TestCamera.h"

#include "FramePattern.h"

#include <QRegularExpression>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int maximumSide = 4096;
constexpr int maximumFps = 1000;
// Pixels the scenery moves between two frames, so that the encoder has motion to handle.
constexpr int step = 4;

cv::Mat makeScenery(int width, int height)
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
    cv::Mat scenery;
    cv::hconcat(picture, picture, scenery);
    return scenery;
}

} // namespace

std::optional<TestCamera::Settings> TestCamera::Settings::parse(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^test(?::(\\d{1,5})x(\\d{1,5})@(\\d{1,4}))?(?::frames=(\\d{1,9}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    Settings settings;
    if (match.capturedLength(1) > 0) {
        settings.width = match.captured(1).toInt();
        settings.height = match.captured(2).toInt();
        settings.fps = match.captured(3).toInt();
    }
    if (match.capturedLength(4) > 0)
        settings.frameLimit = match.captured(4).toInt();
    const cv::Size least = FramePattern::area();
    if (settings.width < least.width || settings.height < least.height ||
        settings.width > maximumSide || settings.height > maximumSide || settings.fps > maximumFps)
        return std::nullopt;
    return settings;
}

QString TestCamera::Settings::displayName() const
{
    const QString rate = fps > 0 ? QStringLiteral("@ %1 fps").arg(fps) : QStringLiteral("unpaced");
    QString name = QStringLiteral("Test camera %1x%2 %3").arg(width).arg(height).arg(rate);
    if (frameLimit >= 0)
        name += QStringLiteral(", %1 frames").arg(frameLimit);
    return name;
}

TestCamera::TestCamera(const Settings &settings)
    : settings(settings), openedAt(Clock::now()),
      scenery(makeScenery(settings.width, settings.height))
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

bool TestCamera::limitReached(std::uint32_t index) const
{
    return settings.frameLimit >= 0 && index >= std::uint32_t(settings.frameLimit);
}

cv::Mat TestCamera::makeFrame(std::uint32_t index) const
{
    const int offset = int((std::uint64_t(index) * step) % std::uint64_t(settings.width));
    cv::Mat frame;
    scenery(cv::Rect(offset, 0, settings.width, settings.height)).copyTo(frame);
    const auto delivery =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - openedAt);
    FramePattern::draw(frame, {index, delivery.count()});
    return frame;
}

bool TestCamera::read(cv::Mat &frame)
{
    if (settings.fps == 0)
        return readUnpaced(frame);
    std::unique_lock<std::mutex> lock(mutex);
    // Capture drivers start streaming on the first grab, not when the device is opened.
    if (!streaming && opened) {
        streaming = true;
        producer = std::thread(&TestCamera::produce, this, Clock::now());
    }
    changed.wait(lock, [this] { return !queue.empty() || exhausted || stopping; });
    if (queue.empty()) {
        frame.release();
        return false;
    }
    frame = queue.front();
    queue.pop_front();
    return true;
}

bool TestCamera::readUnpaced(cv::Mat &frame)
{
    if (!opened || limitReached(nextUnpaced)) {
        frame.release();
        return false;
    }
    frame = makeFrame(nextUnpaced++);
    return true;
}

void TestCamera::produce(Clock::time_point start)
{
    for (std::uint32_t index = 0; !limitReached(index); ++index) {
        // Each deadline counts from the start, so that late frames do not shift the schedule.
        const auto due =
            start + std::chrono::nanoseconds(std::int64_t(index) * 1'000'000'000 / settings.fps);
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (changed.wait_until(lock, due, [this] { return stopping; }))
                return;
        }
        cv::Mat frame = makeFrame(index);
        std::lock_guard<std::mutex> lock(mutex);
        if (queue.size() < std::size_t(queueLength))
            queue.push_back(std::move(frame));
        changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex);
    exhausted = true;
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
