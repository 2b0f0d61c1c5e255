#include "capture/CameraSources.h"

#include "capture/DeviceMapping.h"
#ifdef EYEBLINK_GSTREAMER_PIPELINES
#include "capture/GstPipelineSource.h"
#endif
#include "capture/TestCamera.h"
#include "capture/VideoCaptureSource.h"

#include <QDebug>

#include <utility>

CameraSources::CameraSources(QVector<PlatformCamera> platformCameras, QStringList sourceTexts,
                             std::optional<CameraMode> cameraMode)
    : platformCameras(std::move(platformCameras)), sourceTexts(std::move(sourceTexts)),
      cameraMode(std::move(cameraMode))
{
}

std::unique_ptr<FrameSource> CameraSources::open(int cameraNumber) const
{
    // -1 is what the window sends when it lists no camera: never "any camera".
    if (cameraNumber < 0 && platformCameras.isEmpty() && sourceTexts.isEmpty()) {
        qDebug("no camera chosen: the camera list is empty");
        return nullptr;
    }
    const int sourceIndex = cameraNumber - platformCameras.size();
    if (cameraNumber < 0 || sourceIndex >= sourceTexts.size()) {
        qDebug("camera %d is not in the list", cameraNumber);
        return nullptr;
    }
    if (cameraNumber < platformCameras.size())
        return openPlatformCamera(cameraNumber);
    return openSourceText(sourceTexts.at(sourceIndex));
}

std::unique_ptr<FrameSource> CameraSources::openPlatformCamera(int cameraNumber) const
{
    const CaptureDevice device = DeviceMapping::forCamera(platformCameras, cameraNumber);
    if (!device.unavailable.isEmpty()) {
        qDebug("%s", qPrintable(device.unavailable));
        return nullptr;
    }
    return std::make_unique<VideoCaptureSource>(
        device, platformCameras.at(cameraNumber).description, cameraMode);
}

std::unique_ptr<FrameSource> CameraSources::openSourceText(const QString &text) const
{
    if (const auto settings = TestCamera::Settings::parse(text))
        return std::make_unique<TestCamera>(*settings);
#ifdef EYEBLINK_GSTREAMER_PIPELINES
    // Read through GStreamer itself, for each buffer's capture time.
    if (GstPipelineSource::isPipeline(text))
        return std::make_unique<GstPipelineSource>(text);
#endif
    // A device node named on the command line is opened as a camera of the list would be.
    const CaptureDevice device = DeviceMapping::forCamera({{text, text}}, 0);
    if (device.unavailable.isEmpty() && !device.path.empty())
        return std::make_unique<VideoCaptureSource>(device, text, cameraMode);
    return std::make_unique<VideoCaptureSource>(text.toStdString());
}

QStringList CameraSources::displayNames() const
{
    QStringList names;
    for (const PlatformCamera &camera : platformCameras)
        names << camera.description;
    for (const QString &text : sourceTexts) {
        const auto settings = TestCamera::Settings::parse(text);
        names << (settings ? settings->displayName() : text);
    }
    return names;
}
