#include "engine/FrameTimeline.h"

#include <QDebug>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

using std::chrono::milliseconds;

// A capture time is a reading of the same clock as the arrival only if it lies a little
// before it: frames wait in a driver or a stream for a fraction of a second, while another
// clock (the calendar, a stream's own time from zero) is off by minutes or years.
constexpr milliseconds longestWait{10'000};
// Capture times in whole microseconds or milliseconds may round past the arrival.
constexpr milliseconds rounding{2};

MonotonicClock::duration periodOf(double fps)
{
    if (fps <= 0)
        return MonotonicClock::duration::zero();
    return std::chrono::duration_cast<MonotonicClock::duration>(
        std::chrono::duration<double>(1.0 / fps));
}

} // namespace

FrameTimeline::FrameTimeline(MonotonicClock::time_point start, double fps, bool live)
    : start(start), period(periodOf(fps)), live(live)
{
}

FrameTimeline::Placement FrameTimeline::place(const FrameSource::Frame &frame,
                                              MonotonicClock::time_point arrival)
{
    if (captureTimesUsable && frame.captureTime && !plausible(*frame.captureTime, arrival)) {
        captureTimesUsable = false;
        qDebug("capture times not on the monotonic clock: frames timed on arrival");
    }
    const bool captured = captureTimesUsable && frame.captureTime;
    Placement placement;
    placement.lostBefore = live ? lostBefore(frame) : 0;
    const MonotonicClock::time_point time = captured ? *frame.captureTime : arrival;
    placement.milliseconds = std::chrono::floor<milliseconds>(time - start).count();
    lastSequence = frame.sequence;
    lastCapture = captured ? frame.captureTime : std::nullopt;
    return placement;
}

bool FrameTimeline::plausible(MonotonicClock::time_point capture,
                              MonotonicClock::time_point arrival) const
{
    return capture <= arrival + rounding && capture >= arrival - longestWait &&
           (!lastCapture || capture >= *lastCapture);
}

int FrameTimeline::lostBefore(const FrameSource::Frame &frame) const
{
    if (frame.sequence && lastSequence)
        return *frame.sequence > *lastSequence
                   ? int(std::min<std::uint64_t>(*frame.sequence - *lastSequence - 1, INT_MAX))
                   : 0;
    if (!captureTimesUsable || !frame.captureTime || !lastCapture ||
        period == MonotonicClock::duration::zero())
        return 0;
    const double periods = double((*frame.captureTime - *lastCapture).count()) / period.count();
    return periods > 1.5 ? int(std::lround(periods)) - 1 : 0;
}
