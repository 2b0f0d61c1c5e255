#pragma once

#include "capture/FrameSource.h"

#include <QtGlobal>

// Places a recording's frames on the recording clock and counts the frames lost before the
// program read them. A frame's time is its capture time where the source gives a plausible
// one, otherwise its arrival. Losses show as gaps in the source's sequence numbers or, where
// it has none, as capture times further apart than one and a half frame periods; arrival times
// are too irregular to tell a loss from a late frame, so they count none.
class FrameTimeline
{
public:
    struct Placement
    {
        // On the recording clock.
        qint64 milliseconds = 0;
        // Frames the source captured between the previous frame and this one that never came.
        int lostBefore = 0;
    };

    // start is the recording clock's zero; fps the source's nominal rate (0: unknown); a live
    // source makes frames on its own schedule, so that a gap means frames lost, where a file's
    // gaps mean nothing.
    FrameTimeline(MonotonicClock::time_point start, double fps, bool live);

    Placement place(const FrameSource::Frame &frame, MonotonicClock::time_point arrival);
    // False once a capture time proved not to be a reading of the monotonic clock.
    bool usesCaptureTimes() const { return captureTimesUsable; }

private:
    bool plausible(MonotonicClock::time_point capture, MonotonicClock::time_point arrival) const;
    int lostBefore(const FrameSource::Frame &frame) const;

    const MonotonicClock::time_point start;
    const MonotonicClock::duration period;
    const bool live;
    bool captureTimesUsable = true;
    std::optional<std::uint64_t> lastSequence;
    std::optional<MonotonicClock::time_point> lastCapture;
};
