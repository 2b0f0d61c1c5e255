#include "checker/ConditionedResponses.h"

#include <algorithm>
#include <optional>

namespace {

// The mean closure of the frames from fromMs up to (not including) toMs; nothing without one.
std::optional<double> meanBetween(const QVector<QPointF> &closures, double fromMs, double toMs)
{
    double sum = 0;
    int count = 0;
    for (const QPointF &point : closures) {
        if (point.x() >= fromMs && point.x() < toMs) {
            sum += point.y();
            ++count;
        }
    }
    return count > 0 ? std::optional<double>(sum / count) : std::nullopt;
}

std::optional<double> highestBetween(const QVector<QPointF> &closures, double fromMs, double toMs)
{
    std::optional<double> highest;
    for (const QPointF &point : closures) {
        if (point.x() >= fromMs && point.x() < toMs)
            highest = std::max(highest.value_or(point.y()), point.y());
    }
    return highest;
}

std::optional<double> baseline(const SessionTrials::Trial &trial)
{
    return meanBetween(trial.closures, -ConditionedResponses::baselineMs, 0);
}

} // namespace

ConditionedResponses::Scale
ConditionedResponses::scaleOf(const QVector<SessionTrials::Trial> &trials)
{
    QVector<double> baselines;
    std::optional<double> full;
    for (const SessionTrials::Trial &trial : trials) {
        if (const std::optional<double> rest = baseline(trial))
            baselines << *rest;
        if (trial.usMs) {
            if (const std::optional<double> reached =
                    highestBetween(trial.closures, *trial.usMs, *trial.usMs + fullClosureMs))
                full = std::max(full.value_or(*reached), *reached);
        }
    }
    if (baselines.isEmpty() || !full)
        return {};
    std::sort(baselines.begin(), baselines.end());
    const double open = baselines[baselines.size() / 2];
    if (*full <= open)
        return {};
    return {open, *full};
}

ConditionedResponses::Outcome ConditionedResponses::outcome(const SessionTrials::Trial &trial,
                                                            const Scale &scale)
{
    const std::optional<double> rest = baseline(trial);
    if (!rest || !trial.usMs)
        return Outcome::NoData;
    if (scale.fec(*rest) > baselineLimit)
        return Outcome::LeftOut;
    const std::optional<double> highest =
        highestBetween(trial.closures, *trial.usMs - windowMs, *trial.usMs);
    if (!highest)
        return Outcome::NoData;
    return scale.fec(*highest) >= responseLevel ? Outcome::Response : Outcome::NoResponse;
}

QString ConditionedResponses::blockTable(const QVector<SessionTrials::Trial> &trials,
                                         const QVector<Outcome> &outcomes)
{
    QString text = QStringLiteral("trials   CR  no CR  left out  no data  CR share\n");
    for (int first = 0; first < trials.size(); first += blockTrials) {
        const int last = std::min(first + blockTrials, int(trials.size())) - 1;
        const auto count = [&](Outcome wanted) {
            return int(std::count(outcomes.begin() + first, outcomes.begin() + last + 1, wanted));
        };
        const int responses = count(Outcome::Response);
        const int counted = responses + count(Outcome::NoResponse);
        const QString share =
            counted > 0 ? QStringLiteral("%1%").arg(100.0 * responses / counted, 0, 'f', 0)
                        : QStringLiteral("-");
        text +=
            QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                .arg(QStringLiteral("%1-%2").arg(trials[first].number).arg(trials[last].number), -6)
                .arg(responses, 4)
                .arg(count(Outcome::NoResponse), 6)
                .arg(count(Outcome::LeftOut), 9)
                .arg(count(Outcome::NoData), 8)
                .arg(share, 9);
    }
    return text;
}
