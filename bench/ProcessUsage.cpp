#include "bench/ProcessUsage.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

double cpuSecondsOf(int who)
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval &time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#else
    Q_UNUSED(who)
    return -1;
#endif
}

} // namespace

double ProcessUsage::cpuSeconds()
{
#ifdef Q_OS_UNIX
    return cpuSecondsOf(RUSAGE_SELF);
#else
    return -1;
#endif
}

double ProcessUsage::childCpuSeconds()
{
#ifdef Q_OS_UNIX
    return cpuSecondsOf(RUSAGE_CHILDREN);
#else
    return -1;
#endif
}

qint64 ProcessUsage::peakResidentBytes()
{
#if defined(Q_OS_MACOS)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss);
#elif defined(Q_OS_UNIX)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
#else
    return -1;
#endif
}
