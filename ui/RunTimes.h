#pragma once

#include <climits>
#include <optional>

// When a run's start and stop timers fire, in milliseconds after the press that began it.
struct RunTimes
{
    int startMs = 0;
    int stopMs = 0;

    // The largest postponement plus video length, in seconds, whose stop time still fits the
    // timers' int milliseconds.
    static constexpr int longestSeconds = INT_MAX / 1000 - 5;

    // Recording starts when the postponement is over; the run is stopped 5 s after the video
    // length has passed on top of it. Empty for negative values and for runs longer than
    // longestSeconds, which would otherwise stop at once or at a wrong time.
    static std::optional<RunTimes> of(int postponeSeconds, int lengthSeconds);
};
