#pragma once

#include <QString>
#include <QVector>

// Reads back the one recording in a record folder after it has ended.
class RecordingCheck
{
public:
    // Every frame the test camera made must be in it: the video holds as many frames as the
    // text file has lines, the lines are numbered 0, 1, 2, ... and each frame carries the
    // camera's own index, without a gap. Reports through QTest; frameCount receives the count.
    static void verifyEveryFrameKept(const QString &folder, int *frameCount = nullptr);
    // The same for a camera that may lose frames before it hands them over: every frame it
    // delivered must be in the video, in the order delivered (the camera's indices given).
    static void verifyDeliveredFramesKept(const QString &folder, const QVector<int> &delivered);

private:
    static void verify(const QString &folder, const QVector<int> *delivered, int *frameCount);
};
