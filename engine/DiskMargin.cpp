#include "engine/DiskMargin.h"

#include <algorithm>

DiskMargin::DiskMargin(qint64 floor) : floor(floor) {}

void DiskMargin::restart()
{
    note(MonotonicClock::duration(0), 0, 0);
    noteRunRecord(0);
}

void DiskMargin::note(MonotonicClock::duration recorded, qint64 fileBytes, int fileFrames)
{
    elapsed = recorded;
    bytes = fileBytes;
    frames = fileFrames;
}

qint64 DiskMargin::needed() const
{
    using Seconds = std::chrono::duration<double>;
    const double seconds = Seconds(elapsed).count();
    // Before a second has passed the files hold little more than their headers: the rate
    // they show then says nothing yet.
    const double growth =
        seconds >= 1.0 ? double(bytes) / seconds * Seconds(lookAhead).count() : 0.0;
    // The last run record is written beside the first before it takes its place, and tells
    // more events: twice the first one's size leaves room for it.
    return std::max(floor, qint64(growth) + indexBytesPerFrame * frames) + 2 * runRecordBytes;
}
