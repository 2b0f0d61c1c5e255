#include "ui/AudioOutputs.h"

#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QAudioDevice>
#include <QMediaDevices>
#else
#include <QAudioDeviceInfo>
#endif

bool AudioOutputs::exists()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return !QMediaDevices::defaultAudioOutput().isNull();
#else
    return !QAudioDeviceInfo::defaultOutputDevice().isNull();
#endif
}
