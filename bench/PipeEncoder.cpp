#include "bench/PipeEncoder.h"

namespace {

bool hasOddSide(cv::Size size)
{
    return size.width % 2 != 0 || size.height % 2 != 0;
}

} // namespace

PipeEncoder PipeEncoder::ffmpeg(const H264Settings &settings, Input input, const QString &fileName)
{
    QStringList arguments = QString("-v error -y -f rawvideo -pix_fmt %1 -s %2x%3 -r 30 -i - "
                                    "-c:v libx264 -preset %4 -crf %5 -threads %6")
                                .arg(input.gray ? "gray" : "bgr24")
                                .arg(input.frameSize.width)
                                .arg(input.frameSize.height)
                                .arg(QString::fromStdString(settings.preset))
                                .arg(settings.crf)
                                .arg(settings.threads)
                                .split(' ');
    if (!settings.tune.empty())
        arguments << "-tune" << QString::fromStdString(settings.tune);
    // Without -pix_fmt the command line would pick 4:4:4 for BGR input: a different encoding.
    // Odd sides need 4:4:4, as in the recorder.
    const QString stored = hasOddSide(input.frameSize) ? "yuv444p" : "yuv420p";
    arguments << "-pix_fmt" << stored << "-vtag"
              << "X264"
              << "-f"
              << "avi" << fileName;
    return PipeEncoder("ffmpeg", arguments);
}

PipeEncoder PipeEncoder::gstreamer(const H264Settings &settings, Input input,
                                   const QString &fileName)
{
    const qint64 frameBytes = qint64(input.frameSize.area()) * (input.gray ? 1 : 3);
    // pass=qual with a quantizer is x264's constant quality, as -crf.
    QString pipeline =
        QString("fdsrc fd=0 blocksize=%1 ! rawvideoparse width=%2 height=%3 format=%4 "
                "framerate=30/1 ! videoconvert ! video/x-raw,format=%5 ! x264enc speed-preset=%6 "
                "pass=qual quantizer=%7 threads=%8")
            .arg(frameBytes)
            .arg(input.frameSize.width)
            .arg(input.frameSize.height)
            .arg(input.gray ? "gray8" : "bgr")
            .arg(hasOddSide(input.frameSize) ? "Y444" : "I420")
            .arg(QString::fromStdString(settings.preset))
            .arg(settings.crf)
            .arg(settings.threads);
    if (!settings.tune.empty())
        pipeline += " tune=" + QString::fromStdString(settings.tune);
    pipeline += " ! avimux ! filesink location=" + fileName;
    return PipeEncoder("gst-launch-1.0", QStringList{"-q", "-e"} + pipeline.split(' '));
}

PipeEncoder::PipeEncoder(QString program, QStringList arguments)
    : program(std::move(program)), arguments(std::move(arguments)),
      process(std::make_unique<QProcess>())
{
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
}

bool PipeEncoder::start()
{
    process->start(program, arguments);
    return process->waitForStarted();
}

bool PipeEncoder::write(const cv::Mat &frame)
{
    const cv::Mat continuous = frame.isContinuous() ? frame : frame.clone();
    process->write(reinterpret_cast<const char *>(continuous.data),
                   qint64(continuous.total() * continuous.elemSize()));
    while (process->bytesToWrite() > 0)
        if (!process->waitForBytesWritten(-1))
            return false;
    return true;
}

bool PipeEncoder::finish()
{
    process->closeWriteChannel();
    return process->waitForFinished(-1) && process->exitStatus() == QProcess::NormalExit &&
           process->exitCode() == 0;
}
