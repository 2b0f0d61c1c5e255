#include "CameraSources.h"

#include "TestCamera.h"
#include "VideoCaptureSource.h"

#include <utility>

CameraSources::CameraSources(QVector<PlatformCamera> platformCameras, QStringList sourceTexts)
    : platformCameras(std::move(platformCameras)), sourceTexts(std::move(sourceTexts))
{
}

std::unique_ptr<FrameSource> CameraSources::open(int cameraNumber) const
{
    const int sourceIndex = cameraNumber - platformCameras.size();
    if (sourceIndex < 0 || sourceIndex >= sourceTexts.size())
        return std::make_unique<VideoCaptureSource>(cameraNumber);
    const QString &text = sourceTexts.at(sourceIndex);
    if (const auto settings = TestCamera::Settings::parse(text))
        return std::make_unique<TestCamera>(*settings);
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
