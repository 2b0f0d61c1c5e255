#pragma once

#include <QStringList>

#include <memory>

class FrameSource;

// The camera list as the recorder sees it: first the platform's cameras by device index, then
// the sources named on the command line, in order.
class CameraSources
{
public:
    CameraSources(int platformCameraCount, QStringList sourceTexts);

    // The source behind a camera number; check isOpened() on it.
    std::unique_ptr<FrameSource> open(int cameraNumber) const;
    // The camera list's entries for the named sources, in order.
    QStringList displayNames() const;

private:
    int platformCameraCount;
    QStringList sourceTexts;
};
