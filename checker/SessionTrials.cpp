#include "checker/SessionTrials.h"

#include "eyelid/EyelidTable.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

bool SessionTrials::matches(const QString &line, const QString &text)
{
    return line.startsWith(text);
}

std::optional<double> SessionTrials::firstLine(const QVector<RunRecord::Event> &events,
                                               const QString &text, double notBeforeMs)
{
    for (const RunRecord::Event &event : events) {
        if (event.name == QLatin1String(RunRecord::Event::serialLine) &&
            double(event.ms) >= notBeforeMs && matches(event.detail, text))
            return double(event.ms);
    }
    return std::nullopt;
}

SessionTrials::Trial SessionTrials::read(const SessionTable::Row &row, const QString &tableFolder,
                                         const QString &align, const Us &us)
{
    Trial trial;
    trial.number = row.trial;
    trial.folder = QDir(tableFolder).filePath(row.folder);
    const std::optional<RunRecord> record = SessionTable::recordIn(trial.folder);
    if (!record) {
        trial.missing = QStringLiteral("no run record");
        return trial;
    }
    const std::optional<double> alignMs =
        firstLine(record->events, align, std::numeric_limits<double>::lowest());
    if (!alignMs) {
        trial.missing = QStringLiteral("no stimulus line '%1'").arg(align);
        return trial;
    }
    if (!record->eyelid) {
        trial.missing = QStringLiteral("no eyelid table");
        return trial;
    }
    const std::optional<QVector<EyelidTable::Row>> rows =
        EyelidTable::read(QDir(trial.folder).filePath(record->eyelid->table));
    if (!rows) {
        trial.missing = QStringLiteral("eyelid table %1 not readable").arg(record->eyelid->table);
        return trial;
    }
    if (us.afterMs) {
        trial.usMs = us.afterMs;
    } else if (!us.text.isEmpty()) {
        if (const std::optional<double> usAt = firstLine(record->events, us.text, *alignMs))
            trial.usMs = *usAt - *alignMs;
    }
    for (const EyelidTable::Row &frame : *rows) {
        if (frame.closure)
            trial.closures.append({frame.ms - *alignMs, *frame.closure});
    }
    return trial;
}
