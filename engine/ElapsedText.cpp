#include "engine/ElapsedText.h"

QString ElapsedText::of(qint64 milliseconds)
{
    const qint64 minutes = milliseconds / 1000 / 60;
    const qint64 seconds = milliseconds / 1000 - 60 * minutes;
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}
