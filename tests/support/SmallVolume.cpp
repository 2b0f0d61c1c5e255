#include "tests/support/SmallVolume.h"

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

namespace {

// Mounts made after this belong to this process and its children alone, and vanish with them.
bool mountsOfOurOwn()
{
    static const bool own = unshare(CLONE_NEWNS) == 0 &&
                            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own;
}

} // namespace

void SmallVolume::prepare()
{
    mountsOfOurOwn();
}

SmallVolume::SmallVolume(qint64 bytes)
{
    const QByteArray where = folder.path().toLocal8Bit();
    const QByteArray options = "size=" + QByteArray::number(bytes);
    mounted = folder.isValid() && mountsOfOurOwn() &&
              mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) == 0;
    if (!mounted)
        reason = QString::fromLocal8Bit(std::strerror(errno));
}

SmallVolume::~SmallVolume()
{
    if (mounted)
        umount2(folder.path().toLocal8Bit().constData(), MNT_DETACH);
}
#else
void SmallVolume::prepare() {}

SmallVolume::SmallVolume(qint64) : reason(QStringLiteral("no memory file system to mount here")) {}

SmallVolume::~SmallVolume() = default;
#endif
