#include "ui/TrialInterval.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// Seconds as whole milliseconds; nothing for a text that is not a number of seconds in range.
std::optional<qint64> milliseconds(const QString &seconds)
{
    bool ok = false;
    const double value = seconds.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value * 1000 > TrialInterval::longestMs)
        return std::nullopt;
    return qint64(std::llround(value * 1000));
}

} // namespace

std::optional<TrialInterval> TrialInterval::parse(const QString &text, QString &reason)
{
    const QStringList bounds = text.split(QLatin1Char('-'));
    std::optional<qint64> low;
    std::optional<qint64> high;
    if (bounds.size() == 1 || bounds.size() == 2) {
        low = milliseconds(bounds.first());
        high = milliseconds(bounds.last());
    }
    if (!low || !high) {
        reason = QStringLiteral("'%1' is not MIN-MAX in seconds from 0 to %2")
                     .arg(text)
                     .arg(longestMs / 1000);
        return std::nullopt;
    }
    if (*low > *high) {
        reason = QStringLiteral("'%1' has its shortest wait above its longest").arg(text);
        return std::nullopt;
    }
    return TrialInterval{*low, *high};
}

qint64 TrialInterval::draw(double uniform) const
{
    const double share = std::clamp(uniform, 0.0, 1.0);
    return minMs + qint64(std::llround(share * double(maxMs - minMs)));
}

QString TrialInterval::text() const
{
    return QStringLiteral("%1-%2 s").arg(double(minMs) / 1000).arg(double(maxMs) / 1000);
}
