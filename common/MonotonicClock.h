#pragma once

#include <chrono>

// The clock that frames' capture times, the recording clock and the run's events are read on.
// On Linux it is CLOCK_MONOTONIC, the clock of V4L2 buffer timestamps and of QElapsedTimer.
using MonotonicClock = std::chrono::steady_clock;
