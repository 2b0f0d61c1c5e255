#pragma once

#include "capture/FrameSource.h"

#include <QVector>

#include <future>

// A source that delivers the frames a test lists, with the capture times and sequence numbers
// it gives them, then ends as told. Each frame carries its position in the list as a
// FramePattern. One read can be held until a gate opens, as a stalled source's is.
class ScriptedSource : public FrameSource
{
public:
    struct Step
    {
        // Milliseconds after Script::base; nothing: the frame has no capture time.
        std::optional<qint64> captureMilliseconds;
        std::optional<std::uint64_t> sequence;
    };
    struct Script
    {
        QVector<Step> steps;
        Result end = Result::Failed;
        MonotonicClock::time_point base;
        double fps = 30;
        bool onDemand = false;
        // The read of this step waits until the gate opens; -1: none waits.
        int heldStep = -1;
        std::shared_future<void> gate;
        // From this step on the frames have resizedTo as their size; -1: they keep theirs.
        int resizedFrom = -1;
        cv::Size resizedTo{480, 360};
    };

    explicit ScriptedSource(Script script);

    bool isOpened() const override { return true; }
    Result readFrame(Frame &frame) override;
    void release() override {}
    cv::Size frameSize() override;
    double frameRate() const override { return script.fps; }
    bool deliversOnDemand() const override { return script.onDemand; }
    Description description() const override;

private:
    const Script script;
    int next = 0;
};
