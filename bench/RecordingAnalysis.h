#pragma once

#include <QString>

#include <optional>

// What a recording's files say about it, judged by the index and capture time that the test
// camera drew into every frame.
struct RecordingAnalysis
{
    // The camera's count at the last frame in the video: its embedded index plus one.
    int produced = 0;
    int inVideo = 0;
    int lines = 0;
    // Indices missing from the video, up to the last one in it.
    int lost = 0;
    // The first index missing from the video; nothing when none is.
    std::optional<int> firstLost;
    // |line's ms - frame's capture ms|, both counted from the first frame: p50, p99, max.
    double errorP50 = -1;
    double errorP99 = -1;
    double errorMax = -1;

    static RecordingAnalysis of(const QString &textFile, const QString &videoFile);
};
