#include "PlatformCameras.h"

#include <QCameraInfo>

QVector<PlatformCamera> PlatformCameras::available()
{
    QVector<PlatformCamera> cameras;
    const auto listed = QCameraInfo::availableCameras();
    for (const QCameraInfo &camera : listed)
        cameras.push_back({camera.description(), camera.deviceName()});
    return cameras;
}
