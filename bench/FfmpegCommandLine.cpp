#include "FfmpegCommandLine.h"

FfmpegCommandLine::FfmpegCommandLine(const FfmpegVideoSink::H264Settings &settings,
                                     cv::Size frameSize, const QString &fileName)
{
    arguments = QString("-v error -y -f rawvideo -pix_fmt bgr24 -s %1x%2 -r 30 -i - "
                        "-c:v libx264 -preset %3 -crf %4 -threads %5")
                    .arg(frameSize.width)
                    .arg(frameSize.height)
                    .arg(QString::fromStdString(settings.preset))
                    .arg(settings.crf)
                    .arg(settings.threads)
                    .split(' ');
    if (!settings.tune.empty())
        arguments << "-tune" << QString::fromStdString(settings.tune);
    // Without -pix_fmt the command line would pick 4:4:4 for BGR input: a different encoding.
    arguments << QString("-pix_fmt yuv420p -vtag X264 -f avi").split(' ') << fileName;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

bool FfmpegCommandLine::start()
{
    ffmpeg.start("ffmpeg", arguments);
    return ffmpeg.waitForStarted();
}

bool FfmpegCommandLine::write(const cv::Mat &frame)
{
    const cv::Mat continuous = frame.isContinuous() ? frame : frame.clone();
    ffmpeg.write(reinterpret_cast<const char *>(continuous.data),
                 qint64(continuous.total() * continuous.elemSize()));
    while (ffmpeg.bytesToWrite() > 0)
        if (!ffmpeg.waitForBytesWritten(-1))
            return false;
    return true;
}

bool FfmpegCommandLine::finish()
{
    ffmpeg.closeWriteChannel();
    return ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}
