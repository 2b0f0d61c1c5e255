#pragma once

#include "FfmpegVideoSink.h"

#include <QProcess>
#include <QStringList>

#include <opencv2/core/mat.hpp>

// The ffmpeg command line as the reference encoder: raw BGR frames on its standard input,
// H.264 with the given settings under the FOURCC X264, 30 fps declared, in an AVI file.
class FfmpegCommandLine
{
public:
    FfmpegCommandLine(const FfmpegVideoSink::H264Settings &settings, cv::Size frameSize,
                      const QString &fileName);

    bool start();
    // Hands one frame over, waiting until the pipe took it.
    bool write(const cv::Mat &frame);
    // Ends the input and waits for the file to be complete; false when ffmpeg failed.
    bool finish();

private:
    QStringList arguments;
    QProcess ffmpeg;
};
