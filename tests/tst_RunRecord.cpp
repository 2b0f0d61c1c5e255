#include "runrecord/RecordingNames.h"
#include "runrecord/RunRecord.h"
#include "tests/support/SmallVolume.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(RunRecord)
Q_DECLARE_METATYPE(RunRecord::EndedBy)

using JsonEdit = std::function<void(QJsonObject &)>;
Q_DECLARE_METATYPE(JsonEdit)

class RunRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void everyKeyWritten_data();
    void everyKeyWritten();
    void noOtherKeys();
    void roundTrip_data();
    void roundTrip();
    void recordsBeforeSpillingRead_data();
    void recordsBeforeSpillingRead();
    void eventsWithoutDetailRead();
    void recordsWithoutClockZeroRead();
    void endedBy_data();
    void endedBy();
    void startedWithOffset_data();
    void startedWithOffset();
    void startedInLocalTime();
    void textIsUtf8();
    void rejects_data();
    void rejects();
    void unreadableFiles_data();
    void unreadableFiles();
    void missingFile();
    void writeReplacesWholeFile();
    void writeFailureReported();
    void fullVolumeKeepsThePreviousRecord_data();
    void fullVolumeKeepsThePreviousRecord();
    void measuredFps_data();
    void measuredFps();
    void largestInterval_data();
    void largestInterval();
    void nameBesideRecording();
    void sameSecondKeepsEarlierRunRecord_data();
    void sameSecondKeepsEarlierRunRecord();

private:
    static RunRecord fullRecord();
    QJsonObject writtenJson(const RunRecord &record);

    std::unique_ptr<QTemporaryDir> folder;
};

// Every field away from its default, each value different, so that a swapped or dropped
// field shows.
RunRecord RunRecordTest::fullRecord()
{
    RunRecord record;
    record.program = "eyeblink recorder";
    record.version = "0.1";
    record.started = QDateTime(QDate(2026, 12, 6), QTime(6, 19, 47, 250), Qt::OffsetFromUTC, 3600);
    record.source = {"Test camera 640x480 @ 120 fps", "test:640x480@120", "test camera"};
    record.frameSize = QSize(640, 480);
    record.pixelFormat = "BGR24";
    record.declaredFps = 30.0;
    // Ten days after boot, in nanoseconds: beyond 32 bits, within a double's exact integers.
    record.recordingClockZeroNs = 864012345678901;
    record.measuredFps = 119.87;
    record.frames = 1199;
    record.lines = 1198;
    record.framesLost = 3;
    record.spillFile = "06122026_061947_cam_spill.raw";
    record.framesSpilled = 412;
    record.savingMs = 2750;
    record.largestIntervalMs = 25.5;
    record.timeSource = RunRecord::TimeSource::Camera;
    record.video = {"h264", "X264",
                    QJsonObject{{"preset", "veryfast"}, {"crf", 23}, {"threads", 1}}};
    record.result = RunRecord::Result::Failed;
    record.endedBy = RunRecord::EndedBy::FramesLost;
    record.events = {{"new record pressed", -5012},
                     {"program started", -3004, "/opt/lab/stimulus --blocks 3"},
                     {"beep", -3000},
                     {"beep", -2000},
                     {"beep", -1000},
                     {"recording started", 0},
                     {"stop asked", 10003, "timer"}};
    return record;
}

void RunRecordTest::initTestCase()
{
    SmallVolume::prepare();
}

void RunRecordTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

QJsonObject RunRecordTest::writtenJson(const RunRecord &record)
{
    const QString fileName = folder->filePath("run.json");
    if (!record.write(fileName))
        return {};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void RunRecordTest::everyKeyWritten_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("program") << "program" << QJsonValue("eyeblink recorder");
    QTest::newRow("version") << "version" << QJsonValue("0.1");
    QTest::newRow("started") << "started" << QJsonValue("2026-12-06T06:19:47.250+01:00");
    QTest::newRow("source") << "source"
                            << QJsonValue(QJsonObject{{"entry", "Test camera 640x480 @ 120 fps"},
                                                      {"device", "test:640x480@120"},
                                                      {"backend", "test camera"}});
    QTest::newRow("frameSize") << "frameSize" << QJsonValue(QJsonArray{640, 480});
    QTest::newRow("pixelFormat") << "pixelFormat" << QJsonValue("BGR24");
    QTest::newRow("declaredFps") << "declaredFps" << QJsonValue(30);
    QTest::newRow("recordingClockZeroNs")
        << "recordingClockZeroNs" << QJsonValue(qint64(864012345678901));
    QTest::newRow("measuredFps") << "measuredFps" << QJsonValue(119.87);
    QTest::newRow("frames") << "frames" << QJsonValue(1199);
    QTest::newRow("lines") << "lines" << QJsonValue(1198);
    QTest::newRow("framesLost") << "framesLost" << QJsonValue(3);
    QTest::newRow("spillFile") << "spillFile" << QJsonValue("06122026_061947_cam_spill.raw");
    QTest::newRow("framesSpilled") << "framesSpilled" << QJsonValue(412);
    QTest::newRow("savingMs") << "savingMs" << QJsonValue(2750);
    QTest::newRow("largestIntervalMs") << "largestIntervalMs" << QJsonValue(25.5);
    QTest::newRow("timeSource") << "timeSource" << QJsonValue("camera");
    QTest::newRow("video")
        << "video"
        << QJsonValue(QJsonObject{
               {"codec", "h264"},
               {"fourcc", "X264"},
               {"settings", QJsonObject{{"preset", "veryfast"}, {"crf", 23}, {"threads", 1}}}});
    QTest::newRow("result") << "result" << QJsonValue("failed");
    QTest::newRow("endedBy") << "endedBy" << QJsonValue("frames lost");
    QTest::newRow("events")
        << "events"
        << QJsonValue(QJsonArray{
               QJsonObject{{"event", "new record pressed"}, {"ms", -5012}},
               QJsonObject{{"event", "program started"},
                           {"ms", -3004},
                           {"detail", "/opt/lab/stimulus --blocks 3"}},
               QJsonObject{{"event", "beep"}, {"ms", -3000}},
               QJsonObject{{"event", "beep"}, {"ms", -2000}},
               QJsonObject{{"event", "beep"}, {"ms", -1000}},
               QJsonObject{{"event", "recording started"}, {"ms", 0}},
               QJsonObject{{"event", "stop asked"}, {"ms", 10003}, {"detail", "timer"}}});
}

void RunRecordTest::everyKeyWritten()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);
    const QJsonObject written = writtenJson(fullRecord());
    QCOMPARE(written.value(key), expected);
}

void RunRecordTest::noOtherKeys()
{
    QStringList keys = writtenJson(fullRecord()).keys();
    keys.sort();
    QStringList expected{"program",    "version",     "started",       "source",
                         "frameSize",  "pixelFormat", "declaredFps",   "measuredFps",
                         "frames",     "lines",       "framesLost",    "largestIntervalMs",
                         "timeSource", "video",       "result",        "endedBy",
                         "events",     "spillFile",   "framesSpilled", "savingMs"};
    expected << "recordingClockZeroNs";
    expected.sort();
    QCOMPARE(keys, expected);
}

void RunRecordTest::roundTrip_data()
{
    QTest::addColumn<RunRecord>("record");
    QTest::newRow("every field set") << fullRecord();
    RunRecord whileRecording = fullRecord();
    whileRecording.result = RunRecord::Result::Unfinished;
    whileRecording.endedBy = RunRecord::EndedBy::NotEnded;
    whileRecording.frames = whileRecording.lines = whileRecording.framesLost = 0;
    whileRecording.framesSpilled = 0;
    whileRecording.savingMs = 0;
    whileRecording.measuredFps = whileRecording.largestIntervalMs = 0;
    whileRecording.events.resize(6);
    QTest::newRow("written when recording started") << whileRecording;
    RunRecord successful = fullRecord();
    successful.result = RunRecord::Result::Successful;
    successful.endedBy = RunRecord::EndedBy::Timer;
    successful.timeSource = RunRecord::TimeSource::Arrival;
    successful.events.clear();
    successful.video.settings = {};
    QTest::newRow("successful, no events, no encoder settings") << successful;
    RunRecord withEyelid = fullRecord();
    withEyelid.eyelid = RunRecord::Eyelid{"240,200,160,80", 87, "otsu", "x_eyelid.csv"};
    QTest::newRow("eyelid measured") << withEyelid;
    withEyelid.eyelid = RunRecord::Eyelid{"0,0,40,30", 120, "given", "x_eyelid.csv"};
    QTest::newRow("eyelid with a given threshold") << withEyelid;
    withEyelid.eyelid = RunRecord::Eyelid{"0,0,40,30", -1, {}, "x_eyelid.csv"};
    QTest::newRow("eyelid before its threshold was chosen") << withEyelid;
}

void RunRecordTest::roundTrip()
{
    QFETCH(RunRecord, record);
    const QString fileName = folder->filePath("run.json");
    QVERIFY(record.write(fileName));
    QString why;
    const std::optional<RunRecord> read = RunRecord::read(fileName, &why);
    QVERIFY2(read, qPrintable(why));
    QCOMPARE(read->started.offsetFromUtc(), record.started.offsetFromUtc());
    QVERIFY(*read == record);
}

// Records written before frames could spill are still read, as of recordings that spilled none;
// a record that holds the keys must hold them right.
void RunRecordTest::recordsBeforeSpillingRead_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("wrong");
    QTest::newRow("spillFile") << "spillFile" << QJsonValue(3);
    QTest::newRow("framesSpilled") << "framesSpilled" << QJsonValue(-1);
    QTest::newRow("savingMs") << "savingMs" << QJsonValue(2.5);
}

void RunRecordTest::recordsBeforeSpillingRead()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, wrong);
    QJsonObject json = fullRecord().toJson();
    json.remove(key);
    const std::optional<RunRecord> read = RunRecord::fromJson(json);
    QVERIFY(read);
    RunRecord expected = fullRecord();
    if (key == "spillFile")
        expected.spillFile.clear();
    if (key == "framesSpilled")
        expected.framesSpilled = 0;
    if (key == "savingMs")
        expected.savingMs = 0;
    QVERIFY(*read == expected);
    json[key] = wrong;
    QString why;
    QVERIFY(!RunRecord::fromJson(json, &why));
    QVERIFY2(why.startsWith(key + " "), qPrintable(why));
}

// Records written before events had details are still read, their events without one.
void RunRecordTest::eventsWithoutDetailRead()
{
    QJsonObject json = fullRecord().toJson();
    json["events"] = QJsonArray{QJsonObject{{"event", "recording started"}, {"ms", 0}}};
    const std::optional<RunRecord> read = RunRecord::fromJson(json);
    QVERIFY(read);
    QCOMPARE(read->events, (QVector<RunRecord::Event>{{"recording started", 0, {}}}));
    QVERIFY(!RunRecord::endedByNamed("asleep"));
}

// Records written before the recording clock's zero was kept are still read, without one.
void RunRecordTest::recordsWithoutClockZeroRead()
{
    QJsonObject json = fullRecord().toJson();
    json.remove("recordingClockZeroNs");
    const std::optional<RunRecord> read = RunRecord::fromJson(json);
    QVERIFY(read);
    QCOMPARE(read->recordingClockZeroNs, qint64(0));
}

void RunRecordTest::endedBy_data()
{
    QTest::addColumn<RunRecord::EndedBy>("endedBy");
    QTest::addColumn<QString>("text");
    QTest::newRow("timer") << RunRecord::EndedBy::Timer << "timer";
    QTest::newRow("button") << RunRecord::EndedBy::Button << "button";
    QTest::newRow("window closed") << RunRecord::EndedBy::WindowClosed << "window closed";
    QTest::newRow("signal") << RunRecord::EndedBy::Signal << "signal";
    QTest::newRow("camera ended") << RunRecord::EndedBy::CameraEnded << "camera ended";
    QTest::newRow("camera failed") << RunRecord::EndedBy::CameraFailed << "camera failed";
    QTest::newRow("write failed") << RunRecord::EndedBy::WriteFailed << "write failed";
    QTest::newRow("frames lost") << RunRecord::EndedBy::FramesLost << "frames lost";
    QTest::newRow("disk low") << RunRecord::EndedBy::DiskLow << "disk low";
}

void RunRecordTest::endedBy()
{
    QFETCH(RunRecord::EndedBy, endedBy);
    QFETCH(QString, text);
    RunRecord record = fullRecord();
    record.endedBy = endedBy;
    QCOMPARE(writtenJson(record).value("endedBy").toString(), text);
    const std::optional<RunRecord> read = RunRecord::read(folder->filePath("run.json"));
    QVERIFY(read);
    QCOMPARE(read->endedBy, endedBy);
    QCOMPARE(RunRecord::endedByNamed(text), std::optional<RunRecord::EndedBy>(endedBy));
}

void RunRecordTest::startedWithOffset_data()
{
    QTest::addColumn<QDateTime>("started");
    QTest::addColumn<QString>("text");
    const QDate date(2027, 2, 1);
    const QTime time(9, 5, 3, 7);
    QTest::newRow("UTC spelled as an offset")
        << QDateTime(date, time, Qt::UTC) << "2027-02-01T09:05:03.007+00:00";
    QTest::newRow("east of UTC") << QDateTime(date, time, Qt::OffsetFromUTC, 2 * 3600)
                                 << "2027-02-01T09:05:03.007+02:00";
    QTest::newRow("west of UTC, half hours")
        << QDateTime(date, time, Qt::OffsetFromUTC, -(3 * 3600 + 1800))
        << "2027-02-01T09:05:03.007-03:30";
    const QTimeZone berlin("Europe/Berlin");
    if (berlin.isValid()) {
        QTest::newRow("named zone, winter")
            << QDateTime(date, time, berlin) << "2027-02-01T09:05:03.007+01:00";
        QTest::newRow("named zone, summer")
            << QDateTime(QDate(2027, 7, 1), time, berlin) << "2027-07-01T09:05:03.007+02:00";
    }
}

void RunRecordTest::startedWithOffset()
{
    QFETCH(QDateTime, started);
    QFETCH(QString, text);
    RunRecord record = fullRecord();
    record.started = started;
    QCOMPARE(writtenJson(record).value("started").toString(), text);
}

void RunRecordTest::startedInLocalTime()
{
    // Local time, as the recorder takes it: its offset, whatever the zone, is written out, and
    // reading it back gives the same moment.
    RunRecord record = fullRecord();
    record.started = QDateTime::currentDateTime();
    const QString text = writtenJson(record).value("started").toString();
    const QRegularExpressionMatch match =
        QRegularExpression(
            "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3})([+-]\\d\\d:\\d\\d)$")
            .match(text);
    QVERIFY2(match.hasMatch(), qPrintable(text));
    QCOMPARE(match.captured(1), record.started.toString("yyyy-MM-dd'T'HH:mm:ss.zzz"));
    const std::optional<RunRecord> read = RunRecord::read(folder->filePath("run.json"));
    QVERIFY(read);
    QCOMPARE(read->started.toMSecsSinceEpoch(), record.started.toMSecsSinceEpoch());
    QCOMPARE(read->started.offsetFromUtc(), record.started.offsetFromUtc());
}

void RunRecordTest::textIsUtf8()
{
    RunRecord record = fullRecord();
    record.source.entry = QString::fromUtf8("Kamera für das Auge – links");
    QVERIFY(record.write(folder->filePath("run.json")));
    QFile file(folder->filePath("run.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Kamera f\xc3\xbcr das Auge \xe2\x80\x93 links"));
    const std::optional<RunRecord> read = RunRecord::read(folder->filePath("run.json"));
    QVERIFY(read);
    QCOMPARE(read->source.entry, record.source.entry);
}

void RunRecordTest::rejects_data()
{
    QTest::addColumn<JsonEdit>("edit");
    QTest::addColumn<QString>("why");
    const auto remove = [](const char *key) {
        return JsonEdit([key](QJsonObject &json) { json.remove(key); });
    };
    const auto set = [](const char *key, const QJsonValue &value) {
        return JsonEdit([key, value](QJsonObject &json) { json[key] = value; });
    };
    const auto setInside = [](const char *outer, const char *key, const QJsonValue &value) {
        return JsonEdit([outer, key, value](QJsonObject &json) {
            QJsonObject inner = json[outer].toObject();
            inner[key] = value;
            json[outer] = inner;
        });
    };
    QTest::newRow("program missing") << remove("program") << "program missing or not a text";
    const auto eyelid = [](int threshold, const char *chosenBy) {
        return QJsonObject{{"region", "1,2,3,4"},
                           {"table", "x_eyelid.csv"},
                           {"threshold", threshold},
                           {"chosenBy", chosenBy}};
    };
    QTest::newRow("eyelid threshold above 255")
        << set("eyelid", eyelid(300, "otsu")) << "eyelid.threshold not a whole number in range";
    QTest::newRow("eyelid chosen by no known way")
        << set("eyelid", eyelid(87, "guessed")) << "eyelid.chosenBy \"guessed\" unknown";
    QTest::newRow("eyelid without its region")
        << set("eyelid", QJsonObject{{"table", "x_eyelid.csv"}})
        << "eyelid.region missing or not a text";
    QTest::newRow("frames missing") << remove("frames") << "frames missing or not a number";
    QTest::newRow("frames as text") << set("frames", "1199") << "frames missing or not a number";
    QTest::newRow("frames fractional")
        << set("frames", 11.5) << "frames not a whole number in range";
    QTest::newRow("frames negative") << set("frames", -1) << "frames not a whole number in range";
    QTest::newRow("lines beyond int") << set("lines", 4e9) << "lines not a whole number in range";
    QTest::newRow("clock zero negative")
        << set("recordingClockZeroNs", -1) << "recordingClockZeroNs not a whole number in range";
    QTest::newRow("clock zero as text")
        << set("recordingClockZeroNs", "12") << "recordingClockZeroNs missing or not a number";
    QTest::newRow("started not a date")
        << set("started", "yesterday") << "started \"yesterday\" not a date and time";
    QTest::newRow("frameSize one number")
        << set("frameSize", QJsonArray{640}) << "frameSize not [width, height]";
    QTest::newRow("frameSize of texts")
        << set("frameSize", QJsonArray{"640", "480"}) << "frameSize not a whole number in range";
    QTest::newRow("source missing") << remove("source") << "source missing or not an object";
    QTest::newRow("source without device")
        << setInside("source", "device", QJsonValue()) << "source.device missing or not a text";
    QTest::newRow("video settings a list") << setInside("video", "settings", QJsonArray{})
                                           << "video.settings missing or not an object";
    QTest::newRow("result unknown") << set("result", "maybe") << "result \"maybe\" unknown";
    QTest::newRow("endedBy missing") << remove("endedBy") << "endedBy missing or not a text";
    QTest::newRow("endedBy unknown") << set("endedBy", "tired") << "endedBy \"tired\" unknown";
    QTest::newRow("timeSource unknown")
        << set("timeSource", "sundial") << "timeSource \"sundial\" unknown";
    QTest::newRow("event not an object")
        << set("events", QJsonArray{QJsonObject{{"event", "beep"}, {"ms", 1}}, "beep"})
        << "events[1] not an object";
    QTest::newRow("event without time") << set("events", QJsonArray{QJsonObject{{"event", "beep"}}})
                                        << "events[0].ms missing or not a number";
    QTest::newRow("event detail not a text")
        << set("events", QJsonArray{QJsonObject{{"event", "stop asked"}, {"ms", 1}, {"detail", 2}}})
        << "events[0].detail missing or not a text";
    QTest::newRow("first fault named") << JsonEdit([](QJsonObject &json) {
        json.remove("version");
        json.remove("frames");
    }) << "version missing or not a text";
}

void RunRecordTest::rejects()
{
    QFETCH(JsonEdit, edit);
    QFETCH(QString, why);
    QJsonObject json = fullRecord().toJson();
    edit(json);
    QString reason;
    QVERIFY(!RunRecord::fromJson(json, &reason));
    QCOMPARE(reason, why);
}

void RunRecordTest::unreadableFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("why");
    // Empty: the JSON parser's own reason.
    QTest::newRow("not JSON") << QByteArray("frames: 12") << "";
    QTest::newRow("cut short") << QByteArray("{\"frames\": 12,") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("a list") << QByteArray("[1, 2]") << "not a JSON object";
}

void RunRecordTest::unreadableFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    QFile file(folder->filePath("run.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QString reason;
    QVERIFY(!RunRecord::read(file.fileName(), &reason));
    QVERIFY(!reason.isEmpty());
    if (!why.isEmpty())
        QCOMPARE(reason, why);
}

void RunRecordTest::missingFile()
{
    QString reason;
    QVERIFY(!RunRecord::read(folder->filePath("missing.json"), &reason));
    QVERIFY(!reason.isEmpty());
}

void RunRecordTest::writeReplacesWholeFile()
{
    // The record is written at the start and again at the end; the second, shorter one must
    // leave nothing of the first and no stray file beside it.
    const QString fileName = folder->filePath("run.json");
    RunRecord first = fullRecord();
    first.source.entry = QString(4000, 'x');
    QVERIFY(first.write(fileName));
    RunRecord second = fullRecord();
    second.events.clear();
    QVERIFY(second.write(fileName));
    const std::optional<RunRecord> read = RunRecord::read(fileName);
    QVERIFY(read);
    QVERIFY(*read == second);
    QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{"run.json"});
}

void RunRecordTest::writeFailureReported()
{
    const QString fileName = folder->filePath("missing folder/run.json");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Run record write failed \\(.+\\): " +
                                                        QRegularExpression::escape(fileName) +
                                                        " left as it was$"));
    QVERIFY(!fullRecord().write(fileName));
}

void RunRecordTest::fullVolumeKeepsThePreviousRecord_data()
{
    QTest::addColumn<qint64>("leftFree");
    QTest::newRow("full to the last byte") << qint64(0);
    // Room for the start of the new record, not for all of it.
    QTest::newRow("room for a part") << qint64(4096);
}

// The record written at the start stays whole when the volume has filled up by the end: the
// new one takes its place only once it is written in full.
void RunRecordTest::fullVolumeKeepsThePreviousRecord()
{
    QFETCH(qint64, leftFree);
    SmallVolume volume(256 * 1024);
    if (!volume.isValid())
        QSKIP(qPrintable("no small volume: " + volume.error()));
    const QString fileName = QDir(volume.path()).filePath("run.json");
    RunRecord previous = fullRecord();
    previous.result = RunRecord::Result::Unfinished;
    previous.endedBy = RunRecord::EndedBy::NotEnded;
    QVERIFY(previous.write(fileName));

    QFile filler(QDir(volume.path()).filePath("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(512, 'x');
    while (QStorageInfo(volume.path()).bytesAvailable() > leftFree && filler.write(block) > 0) {
    }
    filler.close();

    RunRecord last = fullRecord();
    // Larger than the room left, and than a page of the volume.
    last.source.entry = QString(3 * 4096, 'e');
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Run record write failed \\(.+\\): " +
                                                        QRegularExpression::escape(fileName) +
                                                        " left as it was$"));
    QVERIFY(!last.write(fileName));
    QString why;
    const std::optional<RunRecord> read = RunRecord::read(fileName, &why);
    QVERIFY2(read, qPrintable(why));
    QVERIFY(*read == previous);
    QCOMPARE(QDir(volume.path()).entryList(QDir::Files), QStringList({"filler", "run.json"}));
}

void RunRecordTest::measuredFps_data()
{
    QTest::addColumn<QVector<qint64>>("frameMs");
    QTest::addColumn<double>("fps");
    QTest::newRow("no frames") << QVector<qint64>{} << 0.0;
    QTest::newRow("one frame") << QVector<qint64>{40} << 0.0;
    QTest::newRow("two frames at once") << QVector<qint64>{40, 40} << 0.0;
    QTest::newRow("30 fps from a late start") << QVector<qint64>{500, 533, 567, 600} << 30.0;
    QTest::newRow("a gap counts in the span") << QVector<qint64>{0, 10, 20, 100} << 30.0;
    QVector<qint64> steady;
    for (int frame = 0; frame <= 1200; ++frame)
        steady.append(frame * 1000 / 120);
    QTest::newRow("120 fps for 10 s, times in whole ms") << steady << 120.0;
}

void RunRecordTest::measuredFps()
{
    QFETCH(QVector<qint64>, frameMs);
    QFETCH(double, fps);
    QCOMPARE(RunRecord::measuredFpsOf(frameMs), fps);
}

void RunRecordTest::largestInterval_data()
{
    QTest::addColumn<QVector<qint64>>("frameMs");
    QTest::addColumn<double>("largest");
    QTest::newRow("no frames") << QVector<qint64>{} << 0.0;
    QTest::newRow("one frame") << QVector<qint64>{7} << 0.0;
    QTest::newRow("steady") << QVector<qint64>{0, 8, 16, 24} << 8.0;
    QTest::newRow("gap in the middle") << QVector<qint64>{0, 8, 58, 66} << 50.0;
    QTest::newRow("gap at the end") << QVector<qint64>{0, 8, 16, 99} << 83.0;
    QTest::newRow("late start does not count") << QVector<qint64>{900, 908, 916} << 8.0;
}

void RunRecordTest::largestInterval()
{
    QFETCH(QVector<qint64>, frameMs);
    QFETCH(double, largest);
    QCOMPARE(RunRecord::largestIntervalMsOf(frameMs), largest);
}

void RunRecordTest::nameBesideRecording()
{
    const RecordingNames names("/nowhere/data/1", "/01022027_090503_cam");
    QCOMPARE(QString::fromStdString(names.runRecordFileName()),
             QString("/nowhere/data/1/01022027_090503_cam.json"));
}

void RunRecordTest::sameSecondKeepsEarlierRunRecord_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expectedBase");
    QTest::newRow("free") << QStringList{} << "s";
    QTest::newRow("earlier run record only") << QStringList{"s.json"} << "s_2";
    QTest::newRow("earlier recording with its record")
        << QStringList{"s.avi", "s.txt", "s.json"} << "s_2";
    QTest::newRow("second recording's record only")
        << QStringList{"s.avi", "s.txt", "s_2.json"} << "s_3";
}

void RunRecordTest::sameSecondKeepsEarlierRunRecord()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expectedBase);
    for (const QString &name : existing) {
        QFile file(folder->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const RecordingNames names(folder->path().toStdString(), "/s");
    QCOMPARE(QString::fromStdString(names.runRecordFileName()),
             folder->filePath(expectedBase + ".json"));
    QCOMPARE(QString::fromStdString(names.videoFileName()),
             folder->filePath(expectedBase + ".avi"));
    QCOMPARE(QString::fromStdString(names.textFileName()), folder->filePath(expectedBase + ".txt"));
}

QTEST_APPLESS_MAIN(RunRecordTest)
#include "tst_RunRecord.moc"
