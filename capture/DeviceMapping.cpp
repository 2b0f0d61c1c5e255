#include "capture/DeviceMapping.h"

#include <QRegularExpression>

#include <opencv2/videoio.hpp>

QString CaptureDevice::text() const
{
    return path.empty() ? QStringLiteral("camera index %1").arg(deviceIndex)
                        : QString::fromStdString(path);
}

DeviceMapping::Naming DeviceMapping::native()
{
#ifdef Q_OS_LINUX
    return Naming::DeviceNodes;
#else
    return Naming::Indices;
#endif
}

CaptureDevice DeviceMapping::forCamera(const QVector<PlatformCamera> &cameras, int cameraNumber,
                                       Naming naming)
{
    CaptureDevice device;
    if (cameraNumber < 0 || cameraNumber >= cameras.size()) {
        device.unavailable = QStringLiteral("camera %1 is not among the %2 cameras listed")
                                 .arg(cameraNumber)
                                 .arg(cameras.size());
        return device;
    }
    if (naming == Naming::Indices) {
        device.deviceIndex = cameraNumber;
        device.backend = cv::CAP_ANY;
        return device;
    }
    // A video node, or one of the links udev makes to it by id or by path.
    static const QRegularExpression videoNode(QStringLiteral("^/dev/(video\\d+|v4l/.+)$"));
    const QString &node = cameras.at(cameraNumber).deviceName;
    if (!videoNode.match(node).hasMatch()) {
        device.unavailable =
            QStringLiteral("camera %1 names no device node: \"%2\"").arg(cameraNumber).arg(node);
        return device;
    }
    device.path = node.toStdString();
    device.backend = cv::CAP_V4L2;
    // V4L2 buffer timestamps: CLOCK_MONOTONIC, in milliseconds.
    device.monotonicFrameTimes = true;
    return device;
}
