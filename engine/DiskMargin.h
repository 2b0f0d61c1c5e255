#pragma once

#include "common/MonotonicClock.h"

#include <QtGlobal>

// The free space a recording needs to go on: what its files will take in the next ten seconds
// at the rate they have grown so far, plus the index that the video file is completed with,
// and never less than a small floor for the files' headers; beyond that, room for the run record
// that the recording's end writes. A slow recording on a small volume thus goes on where a fast
// one would soon fill it.
class DiskMargin
{
public:
    static constexpr qint64 defaultFloor = 1024 * 1024;
    static constexpr MonotonicClock::duration lookAhead = std::chrono::seconds(10);
    // What the video's index takes for each frame.
    static constexpr qint64 indexBytesPerFrame = 32;

    explicit DiskMargin(qint64 floor = defaultFloor);

    void setFloor(qint64 bytes) { floor = bytes; }
    // A recording begins with empty files.
    void restart();
    // After elapsed of recording its files held bytes, with frames in the video.
    void note(MonotonicClock::duration elapsed, qint64 bytes, int frames);
    // The run record written at the start took bytes.
    void noteRunRecord(qint64 bytes) { runRecordBytes = bytes; }
    qint64 needed() const;

private:
    qint64 floor;
    MonotonicClock::duration elapsed{0};
    qint64 bytes = 0;
    int frames = 0;
    qint64 runRecordBytes = 0;
};
