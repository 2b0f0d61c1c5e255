#include "ui/CountdownText.h"

qint64 CountdownText::remainingSeconds(int postponeSeconds, qint64 elapsedMs)
{
    return postponeSeconds - elapsedMs / 1000;
}

QString CountdownText::of(qint64 remainingSeconds)
{
    const qint64 withinHour = remainingSeconds % 3600;
    return QStringLiteral("%1:%2").arg(withinHour / 60).arg(withinHour % 60);
}
