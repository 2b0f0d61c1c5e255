#pragma once

#include <QtGlobal>

// What this process has used so far; -1 where the platform does not tell.
class ProcessUsage
{
public:
    // User and system time of all threads.
    static double cpuSeconds();
    // User and system time of the child processes that have ended and were waited for.
    static double childCpuSeconds();
    // The most resident memory the process has had at any moment.
    static qint64 peakResidentBytes();
};
