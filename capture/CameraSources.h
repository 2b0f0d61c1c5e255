#pragma once

#include "capture/CameraMode.h"
#include "capture/PlatformCamera.h"

#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

class FrameSource;

// The camera list as the operator sees it and as the recorder opens it: first the platform's
// cameras, then the sources named on the command line, in order. An entry's position is its
// camera number. Cameras get the camera mode, where one was asked for.
class CameraSources
{
public:
    CameraSources(QVector<PlatformCamera> platformCameras, QStringList sourceTexts,
                  std::optional<CameraMode> cameraMode = std::nullopt);

    // The source behind a camera number, to be checked with isOpened(); nothing, with a debug
    // line that says why, when no entry can be opened under it.
    std::unique_ptr<FrameSource> open(int cameraNumber) const;
    // The list's entries, in order.
    QStringList displayNames() const;

private:
    std::unique_ptr<FrameSource> openPlatformCamera(int cameraNumber) const;
    std::unique_ptr<FrameSource> openSourceText(const QString &text) const;

    QVector<PlatformCamera> platformCameras;
    QStringList sourceTexts;
    std::optional<CameraMode> cameraMode;
};
