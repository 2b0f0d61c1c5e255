#pragma once

#include "FrameSource.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

// A camera made of code, so that the program records on machines without one. Paced like a
// capture driver: once streaming it makes frames on a steady schedule whether or not anyone
// reads, keeps the oldest few, and loses those made while its queue is full. Each frame
// carries its index and delivery time as a FramePattern over moving content.
class TestCamera : public FrameSource
{
public:
    struct Settings
    {
        int width = 640;
        int height = 480;
        // 0: unpaced, every read makes the next frame at once.
        int fps = 30;
        // After this many frames it delivers empty ones, like an unplugged camera; -1: never.
        int frameLimit = -1;

        // "test", "test:WxH@FPS", each optionally followed by ":frames=N".
        static std::optional<Settings> parse(const QString &text);
        // The camera list's entry, such as "Test camera 640x480 @ 30 fps".
        QString displayName() const;
    };

    static constexpr int queueLength = 4;

    explicit TestCamera(const Settings &settings);
    ~TestCamera() override;

    bool isOpened() const override;
    bool read(cv::Mat &frame) override;
    void release() override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;

private:
    using Clock = std::chrono::steady_clock;

    bool limitReached(std::uint32_t index) const;
    cv::Mat makeFrame(std::uint32_t index) const;
    bool readUnpaced(cv::Mat &frame);
    void produce(Clock::time_point start);

    const Settings settings;
    const Clock::time_point openedAt;
    // Twice the frame's width, so that every frame is a window sliding over it.
    const cv::Mat scenery;
    bool opened = true;
    std::uint32_t nextUnpaced = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<cv::Mat> queue;
    bool streaming = false;
    bool exhausted = false;
    bool stopping = false;
    std::thread producer;
};
