#pragma once

#include "PlatformCamera.h"

#include <QStringList>
#include <QVector>

#include <memory>

class FrameSource;

// The camera list as the operator sees it and as the recorder opens it: first the platform's
// cameras, then the sources named on the command line, in order. An entry's position is its
// camera number.
class CameraSources
{
public:
    CameraSources(QVector<PlatformCamera> platformCameras, QStringList sourceTexts);

    // The source behind a camera number; check isOpened() on it.
    std::unique_ptr<FrameSource> open(int cameraNumber) const;
    // The list's entries, in order.
    QStringList displayNames() const;

private:
    QVector<PlatformCamera> platformCameras;
    QStringList sourceTexts;
};
