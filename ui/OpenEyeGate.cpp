#include "ui/OpenEyeGate.h"

#include <QStringList>

#include <algorithm>

OpenEyeGate::OpenEyeGate(double level, qint64 holdMs) : closureLevel(level), hold(holdMs) {}

std::optional<OpenEyeGate> OpenEyeGate::parse(const QString &text, QString &reason)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    bool levelOk = false;
    bool holdOk = false;
    const double level = parts.size() == 2 ? parts[0].toDouble(&levelOk) : 0;
    const int hold = parts.size() == 2 ? parts[1].toInt(&holdOk) : 0;
    if (!levelOk || !holdOk || level <= 0 || level > 1 || hold < 0) {
        reason = QStringLiteral("'%1' is not CLOSURE:MS, a closure above 0 up to 1 and whole "
                                "milliseconds")
                     .arg(text);
        return std::nullopt;
    }
    return OpenEyeGate(level, hold);
}

qint64 OpenEyeGate::giveUpMs() const
{
    return std::max(shortestGiveUpMs, giveUpHolds * hold);
}

QString OpenEyeGate::text() const
{
    return QStringLiteral("closure below %1 for %2 ms").arg(closureLevel).arg(hold);
}

void OpenEyeGate::reset()
{
    openSince.reset();
    lastMs.reset();
}

bool OpenEyeGate::feed(double ms, double closure)
{
    // A camera watched anew counts from 0 again.
    const bool seenThrough = lastMs && ms >= *lastMs && ms - *lastMs <= unseenGapMs;
    lastMs = ms;
    if (closure >= closureLevel || !seenThrough)
        openSince.reset();
    if (closure >= closureLevel)
        return false;
    if (!openSince)
        openSince = ms;
    return ms - *openSince >= hold;
}
