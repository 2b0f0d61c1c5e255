#pragma once

#include "engine/DiskMargin.h"

#include <QStorageInfo>
#include <QString>

#include <optional>

// Whether the volume a recording writes to still has the room that its DiskMargin asks for.
class FreeSpace
{
public:
    // A recording into folder begins: its margin starts from empty files.
    void restart(const QString &folder);
    DiskMargin &margin() { return diskMargin; }
    // Why the recording cannot go on, with a debug line of its own; nothing while there is room
    // enough, or the volume cannot be told.
    std::optional<QString> low();

private:
    QStorageInfo volume;
    DiskMargin diskMargin;
};
