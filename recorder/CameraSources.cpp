#include "CameraSources.h"

#include "TestCamera.h"
#include "VideoCaptureSource.h"

#include <utility>

CameraSources::CameraSources(int platformCameraCount, QStringList sourceTexts)
    : platformCameraCount(platformCameraCount), sourceTexts(std::move(sourceTexts))
{
}

std::unique_ptr<FrameSource> CameraSources::open(int cameraNumber) const
{
    const int sourceIndex = cameraNumber - platformCameraCount;
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
    for (const QString &text : sourceTexts) {
        const auto settings = TestCamera::Settings::parse(text);
        names << (settings ? settings->displayName() : text);
    }
    return names;
}
