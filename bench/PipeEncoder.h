#pragma once

#include "encode/FfmpegVideoSink.h"

#include <QProcess>
#include <QStringList>

#include <opencv2/core/mat.hpp>

// A reference encoder in a process of its own: raw frames on its standard input, H.264 with
// the given settings under the FOURCC X264, 30 fps declared, in an AVI file. Either the ffmpeg
// command line or a GStreamer pipeline (x264enc into avimux).
class PipeEncoder
{
public:
    struct Input
    {
        cv::Size frameSize;
        bool gray = false;
    };

    static PipeEncoder ffmpeg(const H264Settings &settings, Input input, const QString &fileName);
    static PipeEncoder gstreamer(const H264Settings &settings, Input input,
                                 const QString &fileName);
    PipeEncoder(PipeEncoder &&) = default;

    bool start();
    // Hands one frame over, waiting until the pipe took it.
    bool write(const cv::Mat &frame);
    // Ends the input and waits for the file to be complete; false when the encoder failed.
    bool finish();

private:
    PipeEncoder(QString program, QStringList arguments);

    QString program;
    QStringList arguments;
    std::unique_ptr<QProcess> process;
};
