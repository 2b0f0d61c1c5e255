#include "runrecord/SessionTable.h"

#include "runrecord/RecordingNames.h"

#include <QDir>

#include <utility>

namespace {

constexpr char separator = ',';
constexpr char serialSeparator = ';';
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
constexpr int columns = 9;

QString eyeText(SessionTable::Eye eye)
{
    switch (eye) {
    case SessionTable::Eye::Open:
        return QStringLiteral("open");
    case SessionTable::Eye::GaveUp:
        return QStringLiteral("gave up");
    case SessionTable::Eye::NotAsked:
        break;
    }
    return QString();
}

std::optional<SessionTable::Eye> eyeNamed(const QString &text)
{
    for (SessionTable::Eye eye :
         {SessionTable::Eye::NotAsked, SessionTable::Eye::Open, SessionTable::Eye::GaveUp}) {
        if (eyeText(eye) == text)
            return eye;
    }
    return std::nullopt;
}

QString quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(separator)) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// The fields of one line, quotes undone; nothing when a quote is left open.
std::optional<QStringList> fields(const QString &line)
{
    QStringList found;
    QString field;
    bool inQuotes = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes && c == QLatin1Char('"')) {
            if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                field += line[++i];
            else
                inQuotes = false;
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            inQuotes = true;
        } else if (!inQuotes && c == QLatin1Char(separator)) {
            found << std::exchange(field, QString());
        } else {
            field += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    found << field;
    return found;
}

std::optional<qint64> number(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value >= 0 ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace

bool SessionTable::Row::operator==(const Row &other) const
{
    return trial == other.trial && folder == other.folder && started == other.started &&
           result == other.result && frames == other.frames && framesLost == other.framesLost &&
           waitedMs == other.waitedMs && eye == other.eye && serialLines == other.serialLines;
}

QString SessionTable::fileName(const QDateTime &start)
{
    return start.toLocalTime().toString(QStringLiteral("'session_'ddMMyyyy_HHmmss'.csv'"));
}

SessionTable::Row SessionTable::rowOf(int trial, const QString &folder,
                                      const std::optional<RunRecord> &record)
{
    Row row;
    row.trial = trial;
    row.folder = folder;
    row.result = QLatin1String(cancelled);
    if (!record)
        return row;
    row.started = record->started;
    row.result = RunRecord::text(record->result);
    row.frames = record->frames;
    row.framesLost = record->framesLost;
    for (const RunRecord::Event &event : record->events) {
        if (event.name == QLatin1String(RunRecord::Event::serialLine))
            row.serialLines << event.detail;
    }
    return row;
}

std::optional<RunRecord> SessionTable::recordIn(const QString &folder)
{
    const QDir dir(folder);
    const QStringList records = dir.entryList(
        {QLatin1Char('*') + QLatin1String(RecordingNames::runRecordSuffix)}, QDir::Files);
    if (records.size() != 1)
        return std::nullopt;
    return RunRecord::read(dir.filePath(records.first()));
}

QString SessionTable::line(const Row &row)
{
    const QStringList values = {
        QString::number(row.trial),
        quoted(row.folder),
        row.started.isValid() ? row.started.toLocalTime().toString(timeFormat) : QString(),
        quoted(row.result),
        QString::number(row.frames),
        QString::number(row.framesLost),
        QString::number(row.waitedMs),
        eyeText(row.eye),
        quoted(row.serialLines.join(QLatin1Char(serialSeparator))),
    };
    return values.join(QLatin1Char(separator));
}

std::optional<SessionTable::Row> SessionTable::parse(const QString &line)
{
    const std::optional<QStringList> values = fields(line);
    if (!values || values->size() != columns)
        return std::nullopt;
    const std::optional<qint64> trial = number(values->at(0));
    const std::optional<qint64> frames = number(values->at(4));
    const std::optional<qint64> lost = number(values->at(5));
    const std::optional<qint64> waited = number(values->at(6));
    const std::optional<Eye> eye = eyeNamed(values->at(7));
    const QDateTime started = QDateTime::fromString(values->at(2), timeFormat);
    if (!trial || !frames || !lost || !waited || !eye ||
        (!values->at(2).isEmpty() && !started.isValid()))
        return std::nullopt;
    Row row;
    row.trial = int(*trial);
    row.folder = values->at(1);
    row.started = started;
    row.result = values->at(3);
    row.frames = int(*frames);
    row.framesLost = int(*lost);
    row.waitedMs = *waited;
    row.eye = *eye;
    if (!values->at(8).isEmpty())
        row.serialLines = values->at(8).split(QLatin1Char(serialSeparator));
    return row;
}

std::optional<QVector<SessionTable::Row>> SessionTable::read(const QString &fileName, QString *why)
{
    QFile table(fileName);
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (why)
            *why = table.errorString();
        return std::nullopt;
    }
    if (QString::fromUtf8(table.readLine()).trimmed() != QLatin1String(header)) {
        if (why)
            *why = QStringLiteral("no session table header");
        return std::nullopt;
    }
    QVector<Row> rows;
    for (int number = 2; !table.atEnd(); ++number) {
        QString text = QString::fromUtf8(table.readLine());
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        const std::optional<Row> row = parse(text);
        if (!row) {
            if (why)
                *why = QStringLiteral("line %1 is not a trial's row").arg(number);
            return std::nullopt;
        }
        rows << *row;
    }
    return rows;
}

bool SessionTable::create(const QString &fileName, QString *why)
{
    file.close();
    file.setFileName(fileName);
    const QByteArray first = QByteArray(header) + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(first) != first.size() || !file.flush()) {
        if (why)
            *why = file.errorString();
        file.close();
        return false;
    }
    return true;
}

bool SessionTable::append(const Row &row)
{
    const QByteArray text = line(row).toUtf8() + '\n';
    return file.isOpen() && file.write(text) == text.size() && file.flush();
}
