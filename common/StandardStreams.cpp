#include "common/StandardStreams.h"

#include "common/BoundedOutput.h"

#include <QByteArray>

#include <cerrno>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int outputHandle = 1;
constexpr int errorHandle = 2;

// Waits as long as the stream takes; a write that a signal interrupts goes on.
bool writeAll(int handle, const QByteArray &bytes)
{
    const char *next = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
#if defined(Q_OS_WIN)
        const int written = ::_write(handle, next, unsigned(qMin<qint64>(left, 1 << 30)));
#else
        const ssize_t written = ::write(handle, next, size_t(left));
#endif
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= written;
    }
    return true;
}

} // namespace

BoundedOutput &StandardStreams::output()
{
    static BoundedOutput stream(
        [](const QByteArray &bytes) { return writeAll(outputHandle, bytes); });
    return stream;
}

BoundedOutput &StandardStreams::error()
{
    static BoundedOutput stream(
        [](const QByteArray &bytes) { return writeAll(errorHandle, bytes); });
    return stream;
}
