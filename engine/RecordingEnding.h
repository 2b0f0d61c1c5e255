#pragma once

#include "capture/FrameSource.h"
#include "runrecord/RunRecord.h"

#include <QString>

#include <optional>

// How a recording ended; a failure gives its reason, a success none.
struct RecordingEnding
{
    RunRecord::EndedBy cause;
    QString failure;

    // The source gave no frame: a file played to its end, or a camera that failed.
    static RecordingEnding ofSource(FrameSource::Result result);
    // The video file holds frames of one size: a frame of another ends the recording, which
    // keeps every frame before it.
    static std::optional<RecordingEnding> ofSizeChange(cv::Size recorded, cv::Size arrived);
};
