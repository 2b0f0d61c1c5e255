#pragma once

#include "capture/FrameSource.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A camera made of code, so that the program records on machines without one. Paced like a
// capture driver: once streaming it makes frames on a steady schedule whether or not anyone
// reads, keeps the oldest few, and loses those made while its queue is full. Frame i is
// captured at the start of streaming + i periods, as a camera's own clock would stamp it,
// however late the machine lets it be made. Each frame carries its index and capture time as
// a FramePattern over moving content, and gives both as its sequence number and capture time.
// It can also misbehave as real sources do.
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
        // One channel instead of three.
        bool gray = false;
        // A blinking eye in the middle of the scenery, as BlinkingEye draws it; each frame's
        // pattern carries how far it was closed.
        bool eye = false;
        // Every loseEvery-th frame is lost before delivery, as on a congested bus; 0: none.
        int loseEvery = 0;
        // Frames are held back and delivered this many at once, as a stream's backlog; each
        // keeps its capture time. 0: each as soon as it is made.
        int burst = 0;
        // After this many frames none comes and none is announced, like a frozen camera;
        // -1: never.
        int stallAfter = -1;
        // The source text it was read from.
        QString text = QStringLiteral("test");

        // "test" or "test:WxH@FPS", then any of ":frames=N", ":gray", ":eye", ":lose=N",
        // ":burst=N" and ":stall=N", each at most once.
        static std::optional<Settings> parse(const QString &text);
        // The camera list's entry, such as "Test camera 640x480 @ 30 fps".
        QString displayName() const;
    };

    // The frames it keeps for a reader that is late, like a driver's buffers; those made
    // beyond are lost. Half a second's worth, at least 4: a driver fills its buffers without
    // the processor, while this camera needs it, and a busy machine can hold all of its
    // threads back for a tenth of a second and more. Large frames are kept only as far as
    // FrameMemory::cameraQueueBytes allows, but still at least 4.
    static int queueLength(const Settings &settings);

    explicit TestCamera(const Settings &settings);
    ~TestCamera() override;

    bool isOpened() const override;
    Result readFrame(Frame &frame) override;
    void release() override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;
    Description description() const override;

private:
    bool limitReached(std::uint32_t index) const;
    bool stallsAt(std::uint32_t index) const;
    bool lostOnTheBus(std::uint32_t index) const;
    // When frame index is due after streaming started.
    MonotonicClock::duration sinceStart(std::uint32_t index) const;
    Frame makeFrame(std::uint32_t index, MonotonicClock::time_point capturedAt,
                    MonotonicClock::duration sinceFirstFrame) const;
    Result readUnpaced(Frame &frame);
    void produce(MonotonicClock::time_point start);
    void deliver(std::vector<Frame> &made);

    const Settings settings;
    const MonotonicClock::time_point openedAt;
    // Twice the frame's width, so that every frame is a window sliding over it.
    const cv::Mat scenery;
    const std::size_t capacity;
    bool opened = true;
    std::uint32_t nextUnpaced = 0;
    std::optional<MonotonicClock::time_point> firstUnpaced;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Frame> queue;
    bool streaming = false;
    bool exhausted = false;
    bool stopping = false;
    std::thread producer;
};
