#include "runrecord/FileSync.h"

#include <QFileDevice>
#include <QString>

#include <cerrno>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

namespace {

// 0 when the system has the file's data on the disk; otherwise -1, with the reason in errno.
int syncHandle(int handle)
{
#if defined(Q_OS_UNIX)
    int result;
    do {
        result = ::fsync(handle);
    } while (result != 0 && errno == EINTR);
    return result;
#elif defined(Q_OS_WIN)
    return ::_commit(handle);
#else
    Q_UNUSED(handle);
    return 0;
#endif
}

} // namespace

bool FileSync::toDisk(QFileDevice &file, QString *why)
{
    if (!file.flush()) {
        *why = file.errorString();
        return false;
    }
    if (syncHandle(file.handle()) == 0)
        return true;
    *why = qt_error_string(errno);
    return false;
}
