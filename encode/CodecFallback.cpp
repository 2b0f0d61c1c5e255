#include "encode/CodecFallback.h"

#include <QDebug>

#include <algorithm>

std::optional<QString> CodecFallback::open(VideoSink &sink, const std::string &fileName, double fps,
                                           cv::Size frameSize)
{
    const auto openWith = [&](int code) { return sink.open(fileName, code, fps, frameSize, true); };
    // A file that cannot be created is no fault of the codec: no other code is tried for it.
    const auto codecRefused = [&](int code) {
        return !openWith(code) && sink.openFailure() == VideoSink::OpenFailure::Codec;
    };
    if (std::all_of(VideoCodes::h264.begin(), VideoCodes::h264.end(), codecRefused)) {
        qDebug("Cannot find chosen codec");
        // The platform's choice fails where there is no codec dialog; MJPG is always built
        // in, and tried once, also by a sink whose platform choice it is.
        if (codecRefused(VideoCodes::platformChoice) &&
            sink.platformChoiceCode() != VideoCodes::mjpg)
            openWith(VideoCodes::mjpg);
    }
    if (sink.isOpened())
        return std::nullopt;
    qDebug("Video file open failed");
    return sink.openFailure() == VideoSink::OpenFailure::File
               ? QStringLiteral("the video file could not be created")
               : QStringLiteral("no video codec could be opened");
}
