#pragma once

#include "capture/FrameSource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

// Opens a source and reads it in a thread of its own, so that a call that blocks inside the
// video library (a frozen camera, a silent stream) never holds up the recorder: every wait for
// the source has a bound, and a thread still stuck in the source when it is released is left
// to end with the program. Every call into the source happens in that thread. A std::thread,
// not a QThread: only a plain thread can be left behind.
class FrameReader : public FrameSource
{
public:
    using Opener = std::function<std::unique_ptr<FrameSource>()>;

    struct Bounds
    {
        std::chrono::milliseconds open{10'000};
        // Cameras take a while to deliver once they start streaming.
        std::chrono::milliseconds firstFrame{5'000};
        // Or ten frame periods, if that is longer.
        std::chrono::milliseconds frame{2'000};
    };
    explicit FrameReader(Opener open);
    FrameReader(Opener open, Bounds bounds);
    ~FrameReader() override;
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;

    // Wait for the source to open, at most Bounds::open.
    bool isOpened() const override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;
    // Also of a source that did not open, as far as it tells.
    Description description() const override;
    // Starts reading ahead with the first call; a frame that does not come within the bound
    // is a failure.
    Result readFrame(Frame &frame) override;
    void release() override;

    // How long a read waits for each frame after the first.
    std::chrono::milliseconds frameBound() const;

private:
    struct Shared;
    struct Facts;
    static void run(const std::shared_ptr<Shared> &shared, const Opener &open);
    // What the source tells of itself once opened, asked in the reader thread.
    static Facts factsOf(FrameSource *source);
    // Reads ahead up to FrameMemory::readAheadFrames and readAheadBytes (at least one frame).
    // When they are all waiting, reading pauses and the source itself holds or loses frames.
    static void readUntilStopped(Shared &shared, FrameSource &source, std::size_t capacity);
    // Nothing while the open has not answered within its bound.
    const Facts *answeredFacts() const;
    const Facts *openedFacts() const;

    const Bounds bounds;
    // Lives on with a thread that is left behind.
    std::shared_ptr<Shared> shared;
    std::thread thread;
    mutable bool gaveUp = false;
    bool readBefore = false;
    std::optional<Result> finalResult;
};
