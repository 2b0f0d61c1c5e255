#pragma once

#include "capture/PlatformCamera.h"

#include <QString>
#include <QVector>

#include <string>

// What the video library is asked to open for an entry of the platform's camera list.
struct CaptureDevice
{
    // The device node to open; empty: open deviceIndex.
    std::string path;
    int deviceIndex = -1;
    // The video library's capture backend (a cv::VideoCaptureAPIs value).
    int backend = 0;
    // Whether the backend's frame times (CAP_PROP_POS_MSEC) are readings of MonotonicClock.
    bool monotonicFrameTimes = false;
    // Why nothing can be opened for the entry; empty when something can.
    QString unavailable;

    // The device as a run record names it: its node, or its index.
    QString text() const;
};

// Maps the platform's camera list onto the video library's devices. The list comes from the
// toolkit's multimedia layer, whose order is not the video library's: on Linux it names each
// camera's own device node, which is opened by that name; elsewhere the position in the list
// is the device index.
class DeviceMapping
{
public:
    enum class Naming {
        // V4L2: every entry names its /dev/video node; metadata nodes are not listed.
        DeviceNodes,
        // The platform lists its cameras in the video library's index order.
        Indices,
    };

    // The naming of the platform this program was built for.
    static Naming native();
    static CaptureDevice forCamera(const QVector<PlatformCamera> &cameras, int cameraNumber,
                                   Naming naming = native());
};
