#pragma once

#include <QString>

// The countdown shown before a recording starts.
class CountdownText
{
public:
    // Whole seconds left of a postponement of postponeSeconds after elapsedMs have passed on a
    // monotonic clock; 0 or less once the postponement is over.
    static qint64 remainingSeconds(int postponeSeconds, qint64 elapsedMs);
    // "minutes:seconds", both without leading zeros. The display has room for minutes and
    // seconds only, so whole hours are dropped.
    static QString of(qint64 remainingSeconds);
};
