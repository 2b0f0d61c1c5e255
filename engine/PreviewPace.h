#pragma once

#include "common/MonotonicClock.h"

#include <chrono>
#include <optional>

// How often the window gets a frame for its live picture: about as often as a screen shows
// one. A camera at hundreds of frames a second would otherwise have the window convert and
// scale every frame, a core's work on a large frame, that no screen could show.
class PreviewPace
{
public:
    static constexpr std::chrono::microseconds spacing{1000000 / 64};

    // Whether a frame that arrived at time is to be lent.
    bool due(MonotonicClock::time_point time) const;
    // A frame that arrived at time was lent.
    void lent(MonotonicClock::time_point time) { lastLent = time; }
    void restart() { lastLent.reset(); }

private:
    std::optional<MonotonicClock::time_point> lastLent;
};
