#include "engine/FreeSpace.h"

#include <QDebug>

namespace {

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(bytes / (1024 * 1024));
}

} // namespace

void FreeSpace::restart(const QString &folder)
{
    volume.setPath(folder);
    diskMargin.restart();
}

std::optional<QString> FreeSpace::low()
{
    volume.refresh();
    const qint64 needed = diskMargin.needed();
    if (!volume.isValid() || volume.bytesAvailable() >= needed)
        return std::nullopt;
    qDebug("Disk space low: %lld bytes free, %lld bytes needed", qlonglong(volume.bytesAvailable()),
           qlonglong(needed));
    return QStringLiteral("disk low: %1 free, %2 needed")
        .arg(megabytes(volume.bytesAvailable()), megabytes(needed));
}
