#include "runrecord/RunRecord.h"

#include "generated/ProgramVersion.h"
#include "runrecord/FileSync.h"
#include "runrecord/JsonReader.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace {

// NotEnded has no name: a run record written while recording holds null there.
const Names<RunRecord::EndedBy> endedByNames = {
    {RunRecord::EndedBy::Timer, "timer"},
    {RunRecord::EndedBy::Button, "button"},
    {RunRecord::EndedBy::WindowClosed, "window closed"},
    {RunRecord::EndedBy::Signal, "signal"},
    {RunRecord::EndedBy::CameraEnded, "camera ended"},
    {RunRecord::EndedBy::CameraFailed, "camera failed"},
    {RunRecord::EndedBy::WriteFailed, "write failed"},
    {RunRecord::EndedBy::FramesLost, "frames lost"},
    {RunRecord::EndedBy::DiskLow, "disk low"},
};
const Names<RunRecord::Result> resultNames = {
    {RunRecord::Result::Unfinished, "unfinished"},
    {RunRecord::Result::Successful, "successful"},
    {RunRecord::Result::Failed, "failed"},
};
const Names<RunRecord::TimeSource> timeSourceNames = {
    {RunRecord::TimeSource::Camera, "camera"},
    {RunRecord::TimeSource::Arrival, "arrival"},
};

// ISO 8601 with the offset from UTC always spelled out as +HH:MM, also for UTC itself, which
// the toolkit writes as Z, and for local time, which it writes without an offset.
QString isoText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const int offsetMinutes = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           (offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(std::abs(offsetMinutes) / 60, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offsetMinutes) % 60, 2, 10, QLatin1Char('0'));
}

QSize frameSizeFrom(JsonReader &reader, const QJsonArray &size)
{
    if (size.size() != 2) {
        reader.fail(QStringLiteral("frameSize not [width, height]"));
        return {};
    }
    const int maximum = std::numeric_limits<int>::max();
    return QSize(int(reader.whole(size[0], QLatin1String("frameSize"), 0, maximum)),
                 int(reader.whole(size[1], QLatin1String("frameSize"), 0, maximum)));
}

QVector<RunRecord::Event> eventsFrom(JsonReader &reader, const QJsonArray &list)
{
    QVector<RunRecord::Event> events;
    for (const QJsonValue &item : list) {
        const QString path = QStringLiteral("events[%1]").arg(events.size());
        if (!item.isObject()) {
            reader.fail(path + QStringLiteral(" not an object"));
            break;
        }
        const QJsonObject fields = item.toObject();
        JsonReader event = reader.inside(fields, path + QLatin1Char('.'));
        const QString name = event.string("event");
        const qint64 ms = event.whole("ms", std::numeric_limits<qint64>::min() / 2,
                                      std::numeric_limits<qint64>::max() / 2);
        // Records written before events had details hold none.
        const QString detail =
            fields.contains(QLatin1String("detail")) ? event.string("detail") : QString();
        events.append({name, ms, detail});
    }
    return events;
}

QJsonObject eyelidJson(const RunRecord::Eyelid &eyelid)
{
    QJsonObject json{{QStringLiteral("region"), eyelid.region},
                     {QStringLiteral("table"), eyelid.table}};
    // The threshold is chosen on the first frame: a record written before it has none.
    if (eyelid.threshold >= 0) {
        json.insert(QStringLiteral("threshold"), eyelid.threshold);
        json.insert(QStringLiteral("chosenBy"), eyelid.chosenBy);
    }
    return json;
}

RunRecord::Eyelid eyelidFrom(JsonReader &reader, const QJsonObject &fields)
{
    JsonReader json = reader.inside(fields, QStringLiteral("eyelid."));
    RunRecord::Eyelid eyelid;
    eyelid.region = json.string("region");
    eyelid.table = json.string("table");
    if (fields.contains(QLatin1String("threshold"))) {
        eyelid.threshold = int(json.whole("threshold", 0, 255));
        eyelid.chosenBy = json.string("chosenBy");
        if (eyelid.chosenBy != QLatin1String("otsu") && eyelid.chosenBy != QLatin1String("given"))
            json.fail(QStringLiteral("eyelid.chosenBy \"%1\" unknown").arg(eyelid.chosenBy));
    }
    return eyelid;
}

} // namespace

bool RunRecord::Source::operator==(const Source &other) const
{
    return entry == other.entry && device == other.device && backend == other.backend;
}

bool RunRecord::Video::operator==(const Video &other) const
{
    return codec == other.codec && fourcc == other.fourcc && settings == other.settings;
}

bool RunRecord::Event::operator==(const Event &other) const
{
    return name == other.name && ms == other.ms && detail == other.detail;
}

bool RunRecord::operator==(const RunRecord &other) const
{
    return program == other.program && version == other.version && started == other.started &&
           source == other.source && frameSize == other.frameSize &&
           pixelFormat == other.pixelFormat && declaredFps == other.declaredFps &&
           measuredFps == other.measuredFps && frames == other.frames && lines == other.lines &&
           framesLost == other.framesLost && spillFile == other.spillFile &&
           framesSpilled == other.framesSpilled && savingMs == other.savingMs &&
           largestIntervalMs == other.largestIntervalMs && timeSource == other.timeSource &&
           video == other.video && result == other.result && endedBy == other.endedBy &&
           events == other.events && eyelid == other.eyelid &&
           recordingClockZeroNs == other.recordingClockZeroNs;
}

bool RunRecord::Eyelid::operator==(const Eyelid &other) const
{
    return region == other.region && threshold == other.threshold && chosenBy == other.chosenBy &&
           table == other.table;
}

QJsonObject RunRecord::toJson() const
{
    QJsonArray eventList;
    for (const Event &event : events) {
        QJsonObject item{{QStringLiteral("event"), event.name}, {QStringLiteral("ms"), event.ms}};
        if (!event.detail.isEmpty())
            item.insert(QStringLiteral("detail"), event.detail);
        eventList.append(item);
    }
    const QString endedByName = text(endedBy);
    QJsonObject json{
        {QStringLiteral("program"), program},
        {QStringLiteral("version"), version},
        {QStringLiteral("started"), isoText(started)},
        {QStringLiteral("source"), QJsonObject{{QStringLiteral("entry"), source.entry},
                                               {QStringLiteral("device"), source.device},
                                               {QStringLiteral("backend"), source.backend}}},
        {QStringLiteral("frameSize"), QJsonArray{frameSize.width(), frameSize.height()}},
        {QStringLiteral("pixelFormat"), pixelFormat},
        {QStringLiteral("declaredFps"), declaredFps},
        {QStringLiteral("recordingClockZeroNs"), recordingClockZeroNs},
        {QStringLiteral("measuredFps"), measuredFps},
        {QStringLiteral("frames"), frames},
        {QStringLiteral("lines"), lines},
        {QStringLiteral("framesLost"), framesLost},
        {QStringLiteral("spillFile"), spillFile},
        {QStringLiteral("framesSpilled"), framesSpilled},
        {QStringLiteral("savingMs"), savingMs},
        {QStringLiteral("largestIntervalMs"), largestIntervalMs},
        {QStringLiteral("timeSource"), text(timeSource)},
        {QStringLiteral("video"), QJsonObject{{QStringLiteral("codec"), video.codec},
                                              {QStringLiteral("fourcc"), video.fourcc},
                                              {QStringLiteral("settings"), video.settings}}},
        {QStringLiteral("result"), text(result)},
        {QStringLiteral("endedBy"), endedByName.isNull() ? QJsonValue() : endedByName},
        {QStringLiteral("events"), eventList},
    };
    if (eyelid)
        json.insert(QStringLiteral("eyelid"), eyelidJson(*eyelid));
    return json;
}

std::optional<RunRecord> RunRecord::fromJson(const QJsonObject &object, QString *why)
{
    JsonReader reader(object);
    RunRecord record;
    record.program = reader.string("program");
    record.version = reader.string("version");
    const QString started = reader.string("started");
    record.started = QDateTime::fromString(started, Qt::ISODateWithMs);
    if (!reader.hasFailed() && !record.started.isValid())
        reader.fail(QStringLiteral("started \"%1\" not a date and time").arg(started));

    JsonReader source = reader.inside(reader.object("source"), QStringLiteral("source."));
    record.source = {source.string("entry"), source.string("device"), source.string("backend")};
    record.frameSize = frameSizeFrom(reader, reader.array("frameSize"));
    record.pixelFormat = reader.string("pixelFormat");
    record.declaredFps = reader.number("declaredFps");
    // Records written before it was kept hold none.
    if (object.contains(QLatin1String("recordingClockZeroNs")))
        record.recordingClockZeroNs =
            reader.whole("recordingClockZeroNs", 0, std::numeric_limits<qint64>::max() / 2);
    record.measuredFps = reader.number("measuredFps");
    record.frames = int(reader.whole("frames", 0));
    record.lines = int(reader.whole("lines", 0));
    record.framesLost = int(reader.whole("framesLost", 0));
    // Records written before frames could spill hold none of these.
    const auto has = [&object](const char *key) { return object.contains(QLatin1String(key)); };
    record.spillFile = has("spillFile") ? reader.string("spillFile") : QString();
    record.framesSpilled = has("framesSpilled") ? int(reader.whole("framesSpilled", 0)) : 0;
    record.savingMs =
        has("savingMs") ? reader.whole("savingMs", 0, std::numeric_limits<qint64>::max() / 2) : 0;
    record.largestIntervalMs = reader.number("largestIntervalMs");
    record.timeSource = reader.named("timeSource", timeSourceNames);

    JsonReader video = reader.inside(reader.object("video"), QStringLiteral("video."));
    record.video = {video.string("codec"), video.string("fourcc"), video.object("settings")};
    record.result = reader.named("result", resultNames);
    // A run record written while recording holds null: the run has not ended yet.
    if (object.value(QLatin1String("endedBy")).isNull())
        record.endedBy = EndedBy::NotEnded;
    else
        record.endedBy = reader.named("endedBy", endedByNames);
    record.events = eventsFrom(reader, reader.array("events"));
    // Only a recording with an eyelid region has one.
    if (object.contains(QLatin1String("eyelid")))
        record.eyelid = eyelidFrom(reader, reader.object("eyelid"));

    if (reader.hasFailed()) {
        if (why)
            *why = reader.why();
        return std::nullopt;
    }
    return record;
}

// The toolkit's commit renames the new file over the old one even when writing out its buffer
// or syncing failed: both are checked here first, and the new file is dropped on any failure.
bool RunRecord::write(const QString &fileName) const
{
    QSaveFile file(fileName);
    const QByteArray json = QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
    QString why;
    const bool written = file.open(QIODevice::WriteOnly) && file.write(json) == json.size() &&
                         FileSync::toDisk(file, &why) && file.commit();
    if (written)
        return true;
    qDebug("Run record write failed (%s): %s left as it was",
           qPrintable(why.isEmpty() ? file.errorString() : why), qPrintable(fileName));
    return false;
}

std::optional<RunRecord> RunRecord::read(const QString &fileName, QString *why)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        if (why)
            *why = error.error != QJsonParseError::NoError ? error.errorString()
                                                           : QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    return fromJson(document.object(), why);
}

double RunRecord::measuredFpsOf(const QVector<qint64> &frameMs)
{
    if (frameMs.size() < 2 || frameMs.back() <= frameMs.front())
        return 0.0;
    return (frameMs.size() - 1) * 1000.0 / double(frameMs.back() - frameMs.front());
}

double RunRecord::largestIntervalMsOf(const QVector<qint64> &frameMs)
{
    if (frameMs.size() < 2)
        return 0.0;
    qint64 largest = std::numeric_limits<qint64>::min();
    for (auto later = std::next(frameMs.begin()); later != frameMs.end(); ++later)
        largest = std::max(largest, *later - *std::prev(later));
    return double(largest);
}

QString RunRecord::programVersion()
{
    return QStringLiteral(EYEBLINK_VERSION);
}

QString RunRecord::text(Result result)
{
    return nameOf(resultNames, result);
}

QString RunRecord::text(EndedBy endedBy)
{
    return nameOf(endedByNames, endedBy);
}

std::optional<RunRecord::EndedBy> RunRecord::endedByNamed(const QString &name)
{
    return valueOf(endedByNames, name);
}

QString RunRecord::text(TimeSource timeSource)
{
    return nameOf(timeSourceNames, timeSource);
}
