#pragma once

#include <QString>

// A camera as the platform lists it: the text the operator chooses, and the device it names.
struct PlatformCamera
{
    QString description;
    // The platform's own name of the device, such as /dev/video2 on Linux.
    QString deviceName;
};
