#include "checker/SessionCheck.h"

#include "checker/ConditionedResponses.h"
#include "checker/SessionPlot.h"

#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

int SessionCheck::run(const QString &tableFileName, const QString &align,
                      const SessionTrials::Us &us, QTextStream &out, QTextStream &errors)
{
    QString why;
    const std::optional<QVector<SessionTable::Row>> rows = SessionTable::read(tableFileName, &why);
    if (!rows) {
        errors << "eyeblink-check: " << tableFileName << ": " << why << '\n';
        return 1;
    }
    const QString folder = QFileInfo(tableFileName).path();
    QVector<SessionTrials::Trial> trials;
    for (const SessionTable::Row &row : *rows) {
        trials << SessionTrials::read(row, folder, align, us);
        if (!trials.last().missing.isEmpty())
            errors << "trial " << row.trial << ": " << trials.last().missing << '\n';
    }
    if (std::none_of(trials.begin(), trials.end(),
                     [](const SessionTrials::Trial &t) { return t.missing.isEmpty(); })) {
        errors << "eyeblink-check: no trial of " << tableFileName << " has an eyelid trace\n";
        return 1;
    }
    const ConditionedResponses::Scale scale = ConditionedResponses::scaleOf(trials);
    QVector<ConditionedResponses::Outcome> outcomes;
    for (const SessionTrials::Trial &trial : trials)
        outcomes << ConditionedResponses::outcome(trial, scale);
    out << QStringLiteral("FEC: closure %1 is 0, %2 is 1\n")
               .arg(scale.open, 0, 'f', 4)
               .arg(scale.full, 0, 'f', 4);
    out << ConditionedResponses::blockTable(trials, outcomes);

    const QString picture = SessionPlot::fileNameFor(tableFileName);
    const QString title = QStringLiteral("%1: %2 trials aligned on '%3'")
                              .arg(QFileInfo(tableFileName).fileName())
                              .arg(trials.size())
                              .arg(align);
    if (!SessionPlot::draw(trials, outcomes, scale, title).save(picture, "PNG")) {
        errors << "eyeblink-check: plot not written: " << picture << '\n';
        return 1;
    }
    out << "session picture written: " << picture << '\n';
    return 0;
}
