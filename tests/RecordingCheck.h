#pragma once

#include <QString>

// Reads back the one recording in a record folder after it has ended.
class RecordingCheck
{
public:
    // Every frame the test camera made must be in it: the video holds as many frames as the
    // text file has lines, the lines are numbered 0, 1, 2, ... and each frame carries the
    // camera's own index, without a gap. Reports through QTest; frameCount receives the count.
    static void verifyEveryFrameKept(const QString &folder, int *frameCount = nullptr);
};
