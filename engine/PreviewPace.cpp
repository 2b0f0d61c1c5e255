#include "engine/PreviewPace.h"

bool PreviewPace::due(MonotonicClock::time_point time) const
{
    return !lastLent || time - *lastLent >= spacing;
}
