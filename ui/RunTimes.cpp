#include "ui/RunTimes.h"

std::optional<RunTimes> RunTimes::of(int postponeSeconds, int lengthSeconds)
{
    if (postponeSeconds < 0 || lengthSeconds < 0 ||
        static_cast<long long>(postponeSeconds) + lengthSeconds > longestSeconds)
        return std::nullopt;
    return RunTimes{postponeSeconds * 1000, (postponeSeconds + lengthSeconds + 5) * 1000};
}
