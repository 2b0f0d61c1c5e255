#include "encode/EncoderCalibration.h"

#include "common/FrameMemory.h"
#include "encode/EncoderChoice.h"
#include "encode/FfmpegVideoSink.h"
#include "encode/SyntheticFrames.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <limits>

namespace {

// Distinct frames cycled through while measuring. Making one takes longer than encoding it
// (its noise above all), and the encoder compares a frame with its predecessor only, so a few
// differing ones do; the largest frames take no more memory than a recording's read-ahead.
constexpr qint64 framesBytes = 32 * FrameMemory::mebibyte;
constexpr int leastDistinctFrames = 2;
constexpr int mostDistinctFrames = 8;

H264Settings settingsOf(const char *preset, int threads)
{
    H264Settings settings;
    settings.preset = preset;
    settings.threads = threads;
    return settings;
}

} // namespace

EncoderCalibration::EncoderCalibration(cv::Size frameSize, bool gray)
    : frameSize(frameSize), gray(gray), coreCount(QThread::idealThreadCount())
{
}

QVector<H264Settings> EncoderCalibration::candidates(int cores)
{
    QVector<H264Settings> settings = {settingsOf("veryfast", 1), settingsOf("ultrafast", 1)};
    if (cores > 1)
        settings << settingsOf("ultrafast", cores);
    return settings;
}

QVector<MeasuredSpeed> EncoderCalibration::measure() const
{
    return measureUntil(std::numeric_limits<double>::infinity());
}

QVector<MeasuredSpeed> EncoderCalibration::measureUntilFastEnough(double cameraFps) const
{
    return measureUntil(FrameMemory::believableFps(cameraFps) * EncoderChoice::headroom);
}

QVector<MeasuredSpeed> EncoderCalibration::measureUntil(double neededFps) const
{
    QTemporaryDir directory;
    if (!directory.isValid()) {
        qDebug("Encoder calibration failed: no temporary folder");
        return {};
    }
    const qint64 frameBytes = qint64(frameSize.area()) * (gray ? 1 : 3);
    const int distinct =
        FrameMemory::framesWithin(framesBytes, frameBytes, leastDistinctFrames, mostDistinctFrames);
    const std::vector<cv::Mat> frames = SyntheticFrames::make(frameSize, distinct, gray);
    const QString fileName = directory.filePath(QStringLiteral("calibration.avi"));
    QVector<MeasuredSpeed> speeds;
    for (const H264Settings &settings : candidates(coreCount)) {
        speeds << measureOne(settings, frames, fileName);
        if (speeds.last().fps >= neededFps || interruption())
            break;
    }
    return speeds;
}

MeasuredSpeed EncoderCalibration::measureOne(const H264Settings &settings,
                                             const std::vector<cv::Mat> &frames,
                                             const QString &fileName) const
{
    MeasuredSpeed speed{settings, 0};
    FfmpegVideoSink sink(settings);
    bool written =
        sink.open(fileName.toStdString(), VideoCodes::h264.front(), 30.0, frameSize, !gray) &&
        sink.write(frames.front());
    QElapsedTimer timer;
    timer.start();
    int timed = 0;
    while (written && !budgetSpent(timed, std::chrono::nanoseconds(timer.nsecsElapsed())))
        written = sink.write(frames[++timed % frames.size()]);
    written = sink.release() && written;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!written || timed == 0) {
        qDebug("Encoder calibration failed for %s in %d thread(s)", settings.preset.c_str(),
               settings.threads);
        return speed;
    }
    speed.fps = timed / seconds;
    return speed;
}

bool EncoderCalibration::budgetSpent(int frames, std::chrono::nanoseconds elapsed) const
{
    if (frames == 0)
        return false;
    return interruption() || (frames >= spent.leastFrames && elapsed >= spent.leastTime) ||
           elapsed >= spent.mostTime;
}
