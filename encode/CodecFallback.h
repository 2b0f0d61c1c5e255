#pragma once

#include "encode/VideoSink.h"

#include <QString>

#include <optional>
#include <string>

// Opens a recording's video file with the first codec a sink takes: H.264 under each of its
// FOURCC codes, then the platform's choice, then Motion JPEG, which every video library has.
class CodecFallback
{
public:
    // Nothing once the sink is open; otherwise why not, as a recording's result tells it.
    static std::optional<QString> open(VideoSink &sink, const std::string &fileName, double fps,
                                       cv::Size frameSize);
};
