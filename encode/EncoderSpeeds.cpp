#include "encode/EncoderSpeeds.h"

#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <cmath>

EncoderSpeeds::Format EncoderSpeeds::formatOf(cv::Size frameSize, bool gray)
{
    return {{frameSize.width, frameSize.height}, gray};
}

EncoderChoice EncoderSpeeds::choose(cv::Size frameSize, double cameraFps, bool gray,
                                    bool firstFrameSeen)
{
    const std::optional<QVector<MeasuredSpeed>> speeds = find(frameSize, gray);
    const bool anyMeasured =
        speeds && std::any_of(speeds->begin(), speeds->end(),
                              [](const MeasuredSpeed &speed) { return speed.fps > 0; });
    if (anyMeasured)
        return EncoderChoice::fromMeasured(*speeds, cameraFps, frameSize, gray);
    EncoderChoice choice =
        EncoderChoice::forCamera(frameSize, cameraFps, gray, QThread::idealThreadCount());
    // Where measuring failed, the table is all there is; it is not measured again.
    if (firstFrameSeen && !speeds) {
        want(frameSize, gray);
        choice.reason += QStringLiteral(" (from the table: not measured on this machine yet)");
    }
    return choice;
}

QVariantList EncoderSpeeds::toVariant(const QVector<MeasuredSpeed> &speeds)
{
    QVariantList list;
    for (const MeasuredSpeed &speed : speeds)
        list.append(
            QVariantMap{{QStringLiteral("preset"), QString::fromStdString(speed.settings.preset)},
                        {QStringLiteral("threads"), speed.settings.threads},
                        {QStringLiteral("fps"), std::round(speed.fps * 10) / 10}});
    return list;
}

void EncoderSpeeds::want(cv::Size frameSize, bool gray)
{
    QMutexLocker lock(&mutex);
    if (measured.count(formatOf(frameSize, gray)) == 0)
        wanted.insert(formatOf(frameSize, gray));
}

std::optional<QVector<MeasuredSpeed>> EncoderSpeeds::find(cv::Size frameSize, bool gray) const
{
    QMutexLocker lock(&mutex);
    const auto found = measured.find(formatOf(frameSize, gray));
    if (found == measured.end())
        return std::nullopt;
    return found->second;
}

void EncoderSpeeds::store(cv::Size frameSize, bool gray, const QVector<MeasuredSpeed> &speeds)
{
    QMutexLocker lock(&mutex);
    measured[formatOf(frameSize, gray)] = speeds;
    wanted.erase(formatOf(frameSize, gray));
}

std::optional<std::pair<cv::Size, bool>> EncoderSpeeds::nextWanted() const
{
    QMutexLocker lock(&mutex);
    if (wanted.empty())
        return std::nullopt;
    const Format &format = *wanted.begin();
    return std::make_pair(cv::Size(format.first.first, format.first.second), format.second);
}
