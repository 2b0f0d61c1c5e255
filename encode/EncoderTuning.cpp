#include "encode/EncoderTuning.h"

#include <QDebug>
#include <QStringList>

#include <utility>

namespace {

// "veryfast in 1 thread(s) 312.4 fps, ultrafast in 1 thread(s) 650.0 fps"
QString speedsText(const QVector<MeasuredSpeed> &speeds)
{
    QStringList texts;
    for (const MeasuredSpeed &speed : speeds)
        texts << QStringLiteral("%1 in %2 thread(s) %3 fps")
                     .arg(QString::fromStdString(speed.settings.preset))
                     .arg(speed.settings.threads)
                     .arg(speed.fps, 0, 'f', 1);
    return texts.join(QStringLiteral(", "));
}

} // namespace

EncoderTuning::EncoderTuning(std::shared_ptr<EncoderSpeeds> speeds, QObject *parent)
    : QObject(parent), speeds(std::move(speeds))
{
}

void EncoderTuning::measureWanted()
{
    while (const std::optional<std::pair<cv::Size, bool>> format = speeds->nextWanted()) {
        if (!measure(format->first, format->second))
            return;
    }
}

bool EncoderTuning::measure(cv::Size frameSize, bool gray)
{
    if (stopped || speeds->recordingOpen())
        return false;
    const int recordingsBefore = speeds->recordingsOpened();
    EncoderCalibration calibration(frameSize, gray);
    calibration.setBudget(budget);
    calibration.setInterruption([this] { return stopped || speeds->recordingOpen(); });
    const QVector<MeasuredSpeed> measuredSpeeds = calibration.measure();
    if (stopped)
        return false;
    if (speeds->recordingsOpened() != recordingsBefore) {
        qDebug("Encoder speeds for %dx%d not measured: a recording started", frameSize.width,
               frameSize.height);
        return false;
    }
    speeds->store(frameSize, gray, measuredSpeeds);
    qDebug("Encoder speeds measured for %dx%d %s: %s", frameSize.width, frameSize.height,
           gray ? "grey" : "colour", qPrintable(speedsText(measuredSpeeds)));
    emit measured(QSize(frameSize.width, frameSize.height), gray);
    return true;
}
