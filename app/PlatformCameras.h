#pragma once

#include "capture/PlatformCamera.h"

#include <QVector>

// The cameras that the platform's multimedia layer lists, in its order.
class PlatformCameras
{
public:
    static QVector<PlatformCamera> available();
};
