#include "tests/support/RecordingCheck.h"

#include "tests/support/RecordingFiles.h"

#include <QDir>
#include <QTest>

void RecordingCheck::verifyEveryFrameKept(const QString &folder, int *frameCount)
{
    verify(folder, nullptr, frameCount);
}

void RecordingCheck::verifyDeliveredFramesKept(const QString &folder, const QVector<int> &delivered)
{
    verify(folder, &delivered, nullptr);
}

// Without a list of the frames delivered, the camera is taken to have delivered every frame
// it made.
void RecordingCheck::verify(const QString &folder, const QVector<int> *delivered, int *frameCount)
{
    const QDir dir(folder);
    const QStringList videos = dir.entryList({"*.avi"}, QDir::Files);
    const QStringList texts = dir.entryList({"*.txt"}, QDir::Files);
    QCOMPARE(videos.size(), 1);
    QCOMPARE(texts.size(), 1);

    const auto lines = RecordingFiles::readLines(dir.filePath(texts.first()));
    QVERIFY2(lines, "every line is \"<index> <ms>\"");
    const RecordingFiles::Video video = RecordingFiles::readVideo(dir.filePath(videos.first()));
    QVERIFY(video.frameCount > 0);
    QVector<int> expected, lineIndices, stampIndices;
    for (int i = 0; i < video.frameCount; ++i)
        expected << i;
    for (const FrameLine &line : *lines)
        lineIndices << line.index;
    // -1 stands for a frame whose stamp could not be read.
    for (const auto &stamp : video.stamps)
        stampIndices << (stamp ? int(stamp->index) : -1);
    QCOMPARE(lineIndices, expected);
    // The capture reads ahead of the recording: frames delivered after its last one are not
    // part of it.
    QCOMPARE(stampIndices, delivered ? delivered->mid(0, stampIndices.size()) : expected);
    if (frameCount)
        *frameCount = video.frameCount;
}
