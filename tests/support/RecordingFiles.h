#pragma once

#include "capture/FramePattern.h"
#include "runrecord/FrameLine.h"

#include <QString>
#include <QVector>

#include <opencv2/core/mat.hpp>

#include <optional>

// Reads back what a recording left behind, to compare it with what was recorded.
class RecordingFiles
{
public:
    struct Video
    {
        int frameCount = 0;
        cv::Size frameSize;
        int fourcc = 0;
        double fps = 0;
        // Per frame, in file order; nothing where the frame carries no readable pattern.
        QVector<std::optional<FramePattern::Stamp>> stamps;
    };

    // The text file's lines, or nothing when one is not a whole frame line.
    static std::optional<QVector<FrameLine>> readLines(const QString &fileName);
    // Every frame decoded; a file that does not open gives no frames.
    static Video readVideo(const QString &fileName);
};
