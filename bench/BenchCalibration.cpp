#include "bench/BenchCalibration.h"

#include "encode/EncoderCalibration.h"

#include <QThread>

#include <algorithm>

BenchCalibration BenchCalibration::of(cv::Size frameSize, double cameraFps, bool gray)
{
    BenchCalibration calibration;
    const QVector<MeasuredSpeed> speeds = EncoderCalibration(frameSize, gray).measure();
    calibration.speeds->store(frameSize, gray, speeds);
    calibration.choice = calibration.speeds->choose(frameSize, cameraFps, gray, true);
    const int cores = QThread::idealThreadCount();
    for (const MeasuredSpeed &speed : speeds) {
        if (speed.settings.preset == calibration.choice.settings.preset &&
            speed.settings.threads == calibration.choice.settings.threads)
            calibration.chosenFps = speed.fps;
        if (speed.settings.preset == "ultrafast" && speed.settings.threads == cores)
            calibration.fastestFps = std::max(calibration.fastestFps, speed.fps);
    }
    return calibration;
}

BenchTable::Values BenchCalibration::values() const
{
    return {{"chosen", QStringLiteral("%1/%2")
                           .arg(QString::fromStdString(choice.settings.preset))
                           .arg(choice.settings.threads)},
            {"chosenFps", QString::number(chosenFps, 'f', 0)},
            {"fastestFps", QString::number(fastestFps, 'f', 0)}};
}
