#include "common/SystemMemory.h"

#if defined(Q_OS_WIN)
// Keeps windows.h from defining min and max as macros, which would break std::min and std::max.
#define NOMINMAX
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

qint64 SystemMemory::physicalBytes()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? qint64(status.ullTotalPhys) : 0;
#elif defined(Q_OS_UNIX)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
#else
    return 0;
#endif
}
