#include "app/PlatformCameras.h"

#include <QtGlobal>

// The only place that knows how each toolkit lists cameras.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)

#include <QCameraDevice>
#include <QMediaDevices>

// Qt 6 has no device name of its own: the id is the backend's. Both Linux backends of Qt 6.4
// give the V4L2 device path (/dev/videoN): GStreamer's from its device's "device.path"
// property, FFmpeg's from its own scan of /dev.
QVector<PlatformCamera> PlatformCameras::available()
{
    QVector<PlatformCamera> cameras;
    const auto listed = QMediaDevices::videoInputs();
    for (const QCameraDevice &camera : listed)
        cameras.push_back({camera.description(), QString::fromUtf8(camera.id())});
    return cameras;
}

#else

#include <QCameraInfo>

QVector<PlatformCamera> PlatformCameras::available()
{
    QVector<PlatformCamera> cameras;
    const auto listed = QCameraInfo::availableCameras();
    for (const QCameraInfo &camera : listed)
        cameras.push_back({camera.description(), camera.deviceName()});
    return cameras;
}

#endif
