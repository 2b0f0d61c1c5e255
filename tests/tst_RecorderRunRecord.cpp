#include "capture/CameraSources.h"
#include "checker/FrameLines.h"
#include "checker/RecordingFinder.h"
#include "checker/RecordingVerdict.h"
#include "encode/EncoderChoice.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/PreviewFrame.h"
#include "engine/Recorder.h"
#include "ffmpeg/DecodedVideo.h"
#include "runrecord/RecordingNames.h"
#include "runrecord/RunRecord.h"
#include "tests/support/MessageLog.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScriptedSink.h"
#include "tests/support/ScriptedSource.h"
#include "tests/support/SmallVolume.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <opencv2/imgproc.hpp>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(RunRecord::Result)
Q_DECLARE_METATYPE(RunRecord::EndedBy)

namespace {

enum Camera { Vga30, Small30, FiveFrames, FastGray, Unopenable, Missing };
// Unopenable: no test camera (":stall" lacks its count), so the video library is asked to open
// it by name, and cannot.
const QStringList cameraTexts = {"test:640x480@30", "test:320x240@30", "test:320x240@30:frames=5",
                                 "test:640x480@300:gray", "test:640x480@30:stall"};

// The test camera's frames with a fourth channel, as some capture devices deliver them.
class FourChannelSource : public FrameSource
{
public:
    explicit FourChannelSource(std::unique_ptr<FrameSource> source) : source(std::move(source)) {}
    bool isOpened() const override { return source->isOpened(); }
    Result readFrame(Frame &frame) override
    {
        const Result result = source->readFrame(frame);
        if (result == Result::Frame)
            cv::cvtColor(frame.pixels, frame.pixels, cv::COLOR_BGR2BGRA);
        return result;
    }
    void release() override { source->release(); }
    cv::Size frameSize() override { return source->frameSize(); }
    double frameRate() const override { return source->frameRate(); }
    bool deliversOnDemand() const override { return source->deliversOnDemand(); }
    Description description() const override { return source->description(); }

private:
    std::unique_ptr<FrameSource> source;
};

// A reading of the monotonic clock as the window takes its events' times.
qint64 monotonicMs()
{
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

} // namespace

// What a recording tells beside its two files: the run record written when it starts and when
// it ends, the run's events on the recording clock, and the reason given with every result.
// Also what it keeps when things go wrong: a volume that fills, a frame of another size, a
// frame with four channels.
class RecorderRunRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void recordWrittenAtStartAndEnd();
    void checkerReadsWhatTheRecorderWrites();
    void eventsBelongToTheirRecording();
    void resultExplained_data();
    void resultExplained();
    void linesWaitForTheFile();
    void sizeChangeEndsTheRecording();
    void grayEncodingInRecord();
    void fourChannelFramesRecorded();
    void smallVolumeWithRoomRecords();
    void volumeThatFills_data();
    void volumeThatFills();
    void spillThatFillsTheDisk_data();
    void spillThatFillsTheDisk();

private:
    void useFolder(const QString &path);
    void configure(const std::function<void(Recorder &)> &change);
    void run(const std::function<void(Recorder &)> &action);
    void recordUntil(int camera, const std::function<bool()> &done);
    bool waitForResult(int count = 1);
    QString lastBase() const;
    std::optional<RunRecord> lastRunRecord() const;
    qsizetype lastLineCount() const;

    std::unique_ptr<QTemporaryDir> temporary;
    QString folder;
    QThread thread;
    Recorder *recorder = nullptr;
    // Filled in the recorder's thread, read here once it has answered.
    QMutex mutex;
    QStringList answers;
    std::atomic<int> results{0};
    std::atomic<int> seconds{0};
    std::atomic<int> previews{0};
};

void RecorderRunRecordTest::initTestCase()
{
    // Before the recorder's threads start, so that they see the volumes.
    SmallVolume::prepare();
}

void RecorderRunRecordTest::init()
{
    temporary = std::make_unique<QTemporaryDir>();
    QVERIFY(temporary->isValid());
    folder = temporary->path();
    answers.clear();
    results = 0;
    seconds = 0;
    previews = 0;
    recorder = new Recorder;
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory(
        [](int camera) { return CameraSources({}, cameraTexts).open(camera); });
    recorder->setFolderAddress(folder);
    recorder->moveToThread(&thread);
    const auto note = [this](const QString &answer) {
        QMutexLocker locker(&mutex);
        answers << answer;
    };
    connect(
        recorder, &Recorder::resultExplained, recorder,
        [note](const QString &reason) { note("explained " + reason); }, Qt::DirectConnection);
    connect(
        recorder, &Recorder::recorded, recorder,
        [this, note](bool successful) {
            note(QString("recorded %1").arg(successful));
            ++results;
        },
        Qt::DirectConnection);
    connect(
        recorder, &Recorder::frameAvailable, recorder,
        [this](IplImage *image) {
            ++previews;
            PreviewFrame::giveBack(image);
        },
        Qt::DirectConnection);
    connect(
        recorder, &Recorder::timeChanged, recorder, [this] { ++seconds; }, Qt::DirectConnection);
    thread.start();
}

void RecorderRunRecordTest::cleanup()
{
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    temporary.reset();
}

void RecorderRunRecordTest::useFolder(const QString &path)
{
    folder = path;
    configure([path](Recorder &r) { r.setFolderAddress(path); });
}

void RecorderRunRecordTest::configure(const std::function<void(Recorder &)> &change)
{
    QMetaObject::invokeMethod(
        recorder, [this, change] { change(*recorder); }, Qt::BlockingQueuedConnection);
}

void RecorderRunRecordTest::run(const std::function<void(Recorder &)> &action)
{
    Recorder *target = recorder;
    QMetaObject::invokeMethod(
        recorder, [target, action] { action(*target); }, Qt::QueuedConnection);
}

void RecorderRunRecordTest::recordUntil(int camera, const std::function<bool()> &done)
{
    run([camera](Recorder &r) { r.record(camera); });
    QTRY_VERIFY_WITH_TIMEOUT(done() || results > 0, 30000);
    run([](Recorder &r) { r.stop(); });
}

bool RecorderRunRecordTest::waitForResult(int count)
{
    return QTest::qWaitFor([&] { return results >= count; }, 30000);
}

QString RecorderRunRecordTest::lastBase() const
{
    const QStringList texts = QDir(folder).entryList({"*.txt"}, QDir::Files, QDir::Name);
    return texts.isEmpty() ? QString() : QDir(folder).filePath(texts.last().chopped(4));
}

std::optional<RunRecord> RecorderRunRecordTest::lastRunRecord() const
{
    QString why;
    const std::optional<RunRecord> record = RunRecord::read(lastBase() + ".json", &why);
    if (!record)
        qWarning("%s", qPrintable(why));
    return record;
}

qsizetype RecorderRunRecordTest::lastLineCount() const
{
    QFile text(lastBase() + ".txt");
    return text.open(QIODevice::ReadOnly) ? text.readAll().count('\n') : 0;
}

// Written when the recording starts, so that a kill leaves one, and again when it ends, with
// every key filled; the checker then finds the recording sound.
void RecorderRunRecordTest::recordWrittenAtStartAndEnd()
{
    const qint64 pressed = monotonicMs();
    run([pressed](Recorder &r) { r.noteRunEvent("new record pressed", pressed, {}); });
    run([](Recorder &r) { r.record(Vga30); });
    QTRY_VERIFY_WITH_TIMEOUT(seconds >= 2, 30000);
    const std::optional<RunRecord> started = lastRunRecord();
    QVERIFY(started);
    QCOMPARE(started->result, RunRecord::Result::Unfinished);
    QCOMPARE(started->endedBy, RunRecord::EndedBy::NotEnded);
    QCOMPARE(started->frameSize, QSize(640, 480));
    QCOMPARE(started->events.last().name, QString("recording started"));
    QCOMPARE(started->events.last().ms, qint64(0));
    QTRY_VERIFY_WITH_TIMEOUT(seconds >= 3, 30000);
    run([](Recorder &r) {
        r.noteRunEvent("stop asked", monotonicMs(), "timer");
        r.stop();
    });
    QVERIFY(waitForResult());

    const std::optional<RunRecord> record = lastRunRecord();
    QVERIFY(record);
    const auto lines = RecordingFiles::readLines(lastBase() + ".txt");
    QVERIFY(lines);
    const RecordingFiles::Video video = RecordingFiles::readVideo(lastBase() + ".avi");
    QCOMPARE(record->result, RunRecord::Result::Successful);
    QCOMPARE(record->endedBy, RunRecord::EndedBy::Timer);
    QCOMPARE(record->frames, video.frameCount);
    QCOMPARE(record->lines, int(lines->size()));
    QVERIFY(record->lines >= 55);
    QCOMPARE(record->framesLost, 0);
    QCOMPARE(record->declaredFps, 30.0);
    QVERIFY2(record->measuredFps > 27 && record->measuredFps < 33,
             qPrintable(QString::number(record->measuredFps)));
    QVERIFY(record->largestIntervalMs >= 30);
    QCOMPARE(record->timeSource, RunRecord::TimeSource::Camera);
    QCOMPARE(record->source.entry, started->source.entry);
    QVERIFY(!record->source.entry.isEmpty());
    QVERIFY(!record->source.backend.isEmpty());
    QVERIFY(!record->pixelFormat.isEmpty());
    QCOMPARE(record->video.fourcc, QString("X264"));
    QVERIFY(!record->video.settings.isEmpty());
    QVERIFY(record->started.isValid());

    QStringList names;
    for (const RunRecord::Event &event : record->events)
        names << event.name;
    QCOMPARE(names, QStringList({"new record pressed", "recording started", "stop asked",
                                 "recording ended"}));
    QVERIFY(record->events[0].ms <= 0);
    QCOMPARE(record->events[1].ms, qint64(0));
    QCOMPARE(record->events[2].detail, QString("timer"));
    QVERIFY(record->events[2].ms >= 2000);
    QCOMPARE(record->events[3].detail, QString("timer"));
    QVERIFY(record->events[3].ms >= record->events[2].ms);
    QVERIFY(lines->last().ms <= record->events[3].ms);

    const QVector<RecordingFinder::Recording> found = RecordingFinder::find({folder});
    QCOMPARE(found.size(), 1);
    const RecordingVerdict verdict = RecordingVerdict::of(found.first());
    QVERIFY2(verdict.passed(), qPrintable(verdict.problems.join("; ")));
}

// The checker finds a recording by the names the recorder gives it, also the second one of a
// second, parses every line it wrote back to the same bytes, and reads the rate the run record
// declares from the video itself.
void RecorderRunRecordTest::checkerReadsWhatTheRecorderWrites()
{
    const std::time_t sameSecond = std::time(nullptr);
    configure([sameSecond](Recorder &r) { r.setNow([sameSecond] { return sameSecond; }); });
    for (int recording = 1; recording <= 2; ++recording) {
        seconds = 0;
        run([](Recorder &r) { r.record(Small30); });
        QTRY_VERIFY_WITH_TIMEOUT(seconds >= 2 || results >= recording, 30000);
        run([](Recorder &r) { r.stop(); });
        QVERIFY(waitForResult(recording));
    }

    const QString base = QString::fromStdString(RecordingNames::stamp(sameSecond)).mid(1);
    const QVector<RecordingFinder::Recording> found = RecordingFinder::find({folder});
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].baseName, base);
    QCOMPARE(found[1].baseName, base + "_2");
    for (const RecordingFinder::Recording &recording : found) {
        const FrameLines text = FrameLines::read(recording.text());
        QVERIFY(text.malformed.isEmpty());
        QCOMPARE(text.count, int(text.lines.size()));
        std::string rewritten;
        for (const FrameLine &line : text.lines)
            rewritten += line.text();
        QFile file(recording.text());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QByteArray::fromStdString(rewritten), file.readAll());

        const std::optional<RunRecord> record = RunRecord::read(recording.runRecord());
        QVERIFY(record);
        QCOMPARE(record->lines, text.count);
        QVERIFY(record->lines >= 10);
        QCOMPARE(DecodedVideo::of(recording.video()).declaredFps, record->declaredFps);
    }
}

// A new folder begins the next run: what came before it was another run's, and what comes after
// it, while the running recording ends, belongs to the next recording.
void RecorderRunRecordTest::eventsBelongToTheirRecording()
{
    QDir(folder).mkdir("1");
    QDir(folder).mkdir("2");
    const QString first = QDir(folder).filePath("1");
    const QString second = QDir(folder).filePath("2");
    const qint64 now = monotonicMs();
    run([=](Recorder &r) {
        r.noteRunEvent("program started", now, "dropped with its folder");
        r.setFolderAddress(first);
        r.noteRunEvent("new record pressed", now, {});
        r.record(Small30);
    });
    QTRY_VERIFY_WITH_TIMEOUT(previews >= 5, 30000);
    run([=](Recorder &r) {
        r.noteRunEvent("stop asked", monotonicMs(), "button");
        r.stop();
        r.setFolderAddress(second);
        r.noteRunEvent("new record pressed", monotonicMs(), {});
        r.record(Small30);
    });
    // The second recording starts once the first has ended.
    QVERIFY(waitForResult());
    const int previewsOfFirst = previews;
    QTRY_VERIFY_WITH_TIMEOUT(previews >= previewsOfFirst + 5, 30000);
    run([](Recorder &r) {
        r.noteRunEvent("stop asked", monotonicMs(), "window closed");
        r.quit();
    });
    QVERIFY(waitForResult(2));
    folder = first;
    std::optional<RunRecord> record = lastRunRecord();
    QVERIFY(record);
    QStringList names;
    for (const RunRecord::Event &event : record->events)
        names << event.name;
    QCOMPARE(names, QStringList({"new record pressed", "recording started", "stop asked",
                                 "recording ended"}));
    QCOMPARE(record->endedBy, RunRecord::EndedBy::Button);
    folder = second;
    record = lastRunRecord();
    QVERIFY(record);
    names.clear();
    for (const RunRecord::Event &event : record->events)
        names << event.name;
    QCOMPARE(names, QStringList({"new record pressed", "recording started", "stop asked",
                                 "recording ended"}));
    QCOMPARE(record->endedBy, RunRecord::EndedBy::WindowClosed);
    QVERIFY(record->events[0].ms < 0);
}

void RecorderRunRecordTest::resultExplained_data()
{
    QTest::addColumn<int>("camera");
    QTest::addColumn<int>("failingWrite");
    QTest::addColumn<qint64>("minimumFreeSpace");
    QTest::addColumn<bool>("successful");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("endedBy");
    const qint64 usual = DiskMargin::defaultFloor;
    QTest::newRow("success") << int(Small30) << -1 << usual << true
                             << "^\\d+ frames, \\d+\\.\\d fps$"
                             << "button";
    QTest::newRow("camera missing")
        << int(Missing) << -1 << usual << false << "^camera 5 did not open$"
        << "";
    QTest::newRow("source does not open")
        << int(Unopenable) << -1 << usual << false << "^camera test:640x480@30:stall did not open$"
        << "";
    QTest::newRow("camera fails") << int(FiveFrames) << -1 << usual << false
                                  << "^the camera stopped delivering$"
                                  << "camera failed";
    QTest::newRow("video write fails")
        << int(Small30) << 3 << usual << false << "^the video file could not be written$"
        << "write failed";
    QTest::newRow("disk low at the start")
        << int(Small30) << -1 << std::numeric_limits<qint64>::max() << false
        << "^disk low: \\d+ MB free, \\d+ MB needed$"
        << "";
}

// Every result comes with its reason, just before it; the run record names the same cause.
void RecorderRunRecordTest::resultExplained()
{
    QFETCH(int, camera);
    QFETCH(int, failingWrite);
    QFETCH(qint64, minimumFreeSpace);
    QFETCH(bool, successful);
    QFETCH(QString, reason);
    QFETCH(QString, endedBy);
    configure([=](Recorder &r) {
        r.setMinimumFreeSpace(minimumFreeSpace);
        if (failingWrite >= 0) {
            r.setSinkFactory([failingWrite] {
                ScriptedSink::Script script;
                script.firstFailingWrite = failingWrite;
                return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>());
            });
        }
    });
    MessageLog log;
    recordUntil(camera, [this] { return previews >= 10; });
    QVERIFY(waitForResult());
    QMutexLocker locker(&mutex);
    QCOMPARE(answers.size(), 2);
    QVERIFY2(answers[0].startsWith("explained ") &&
                 QRegularExpression(reason).match(answers[0].mid(10)).hasMatch(),
             qPrintable(answers[0]));
    QCOMPARE(answers[1], QString("recorded %1").arg(successful));
    if (endedBy.isEmpty()) {
        QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        return;
    }
    const std::optional<RunRecord> record = lastRunRecord();
    QVERIFY(record);
    QCOMPARE(RunRecord::text(record->endedBy), endedBy);
    QCOMPARE(record->result,
             successful ? RunRecord::Result::Successful : RunRecord::Result::Failed);
}

// Lines follow the frames that the writer says are in the file: never ahead of them while
// recording, all of them after an orderly end.
void RecorderRunRecordTest::linesWaitForTheFile()
{
    std::atomic<int> writes{0};
    configure([&writes](Recorder &r) {
        r.setSinkFactory([&writes] {
            ScriptedSink::Script script;
            script.flushEvery = 20;
            script.writesCompleted = &writes;
            return std::make_unique<ScriptedSink>(script, std::make_shared<QVector<int>>());
        });
    });
    run([](Recorder &r) { r.record(Small30); });
    QVector<qsizetype> seen;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const qsizetype lines = lastLineCount();
            if (seen.isEmpty() || seen.last() != lines)
                seen << lines;
            return lines >= 40;
        }(),
        30000);
    run([](Recorder &r) { r.stop(); });
    QVERIFY(waitForResult());
    for (const qsizetype lines : qAsConst(seen))
        QVERIFY2(lines % 20 == 0, qPrintable(QString("%1 lines while recording").arg(lines)));
    const auto lines = RecordingFiles::readLines(lastBase() + ".txt");
    QVERIFY(lines);
    QCOMPARE(int(lines->size()), writes.load());
    const std::optional<RunRecord> record = lastRunRecord();
    QVERIFY(record);
    QCOMPARE(record->lines, writes.load());
    QCOMPARE(record->frames, writes.load());
}

// One line names both sizes; every frame before the change is kept, each with its line.
void RecorderRunRecordTest::sizeChangeEndsTheRecording()
{
    ScriptedSource::Script script;
    script.steps.fill({}, 30);
    script.resizedFrom = 20;
    configure([script](Recorder &r) {
        r.setSourceFactory([script](int) { return std::make_unique<ScriptedSource>(script); });
    });
    MessageLog log;
    run([](Recorder &r) { r.record(0); });
    QVERIFY(waitForResult());
    QCOMPARE(log.all().filter("size"), QStringList{"frame size changed from 320x240 to 480x360"});
    QMutexLocker locker(&mutex);
    QCOMPARE(answers,
             QStringList({"explained frame size changed from 320x240 to 480x360", "recorded 0"}));
    const auto lines = RecordingFiles::readLines(lastBase() + ".txt");
    QVERIFY(lines);
    const RecordingFiles::Video video = RecordingFiles::readVideo(lastBase() + ".avi");
    QCOMPARE(int(lines->size()), 20);
    QCOMPARE(video.frameCount, 20);
    for (int i = 0; i < video.frameCount; ++i)
        QCOMPARE(video.stamps[i] ? int(video.stamps[i]->index) : -1, i);
}

void RecorderRunRecordTest::fourChannelFramesRecorded()
{
    configure([](Recorder &r) {
        r.setSourceFactory([](int camera) {
            return std::make_unique<FourChannelSource>(CameraSources({}, cameraTexts).open(camera));
        });
    });
    recordUntil(Small30, [this] { return seconds >= 2; });
    QVERIFY(waitForResult());
    QCOMPARE(answers.last(), QString("recorded 1"));
    const auto lines = RecordingFiles::readLines(lastBase() + ".txt");
    QVERIFY(lines);
    const RecordingFiles::Video video = RecordingFiles::readVideo(lastBase() + ".avi");
    QVERIFY(video.frameCount >= 25);
    QCOMPARE(int(lines->size()), video.frameCount);
    QCOMPARE(video.frameSize, cv::Size(320, 240));
    for (int i = 0; i < video.frameCount; ++i)
        QCOMPARE(video.stamps[i] ? int(video.stamps[i]->index) : -1, i);
}

// A few megabytes hold a few seconds of a small picture: the recording is not refused for
// want of room it does not need.
void RecorderRunRecordTest::smallVolumeWithRoomRecords()
{
    SmallVolume volume(3 * 1024 * 1024);
    if (!volume.isValid())
        QSKIP(qPrintable("no small volume: " + volume.error()));
    useFolder(volume.path());
    recordUntil(Small30, [this] { return seconds >= 3; });
    QVERIFY(waitForResult());
    QMutexLocker locker(&mutex);
    QCOMPARE(answers.last(), QString("recorded 1"));
}

void RecorderRunRecordTest::volumeThatFills_data()
{
    QTest::addColumn<qint64>("leftFree");
    QTest::addColumn<RunRecord::Result>("recordResult");
    // No room for the last run record: the one written at the start stays.
    QTest::newRow("to the last byte") << qint64(0) << RunRecord::Result::Unfinished;
    QTest::newRow("all but a little") << qint64(256 * 1024) << RunRecord::Result::Failed;
}

// Another program fills the volume while the recording runs: the recording ends as failed,
// the video keeps the frames it held before, no line tells of a frame it lacks, and the run
// record is a whole one.
void RecorderRunRecordTest::volumeThatFills()
{
    QFETCH(qint64, leftFree);
    QFETCH(RunRecord::Result, recordResult);
    SmallVolume volume(24 * 1024 * 1024);
    if (!volume.isValid())
        QSKIP(qPrintable("no small volume: " + volume.error()));
    useFolder(volume.path());
    MessageLog log;
    run([](Recorder &r) { r.record(Vga30); });
    // A second of frames in the file, with their lines.
    QTRY_VERIFY_WITH_TIMEOUT(lastLineCount() >= 30, 30000);
    {
        QFile filler(QDir(volume.path()).filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'x');
        while (QStorageInfo(volume.path()).bytesAvailable() > leftFree + block.size() &&
               filler.write(block) == block.size() && filler.flush()) {
        }
        while (leftFree == 0 && filler.write(block.left(512)) > 0 && filler.flush()) {
        }
    }
    QVERIFY(waitForResult());
    {
        QMutexLocker locker(&mutex);
        QCOMPARE(answers.last(), QString("recorded 0"));
    }
    // Only whole lines count: the last may have been cut short when the volume filled.
    QFile text(lastBase() + ".txt");
    QVERIFY(text.open(QIODevice::ReadOnly));
    QList<QByteArray> whole = text.readAll().split('\n');
    whole.removeLast();
    const RecordingFiles::Video video = RecordingFiles::readVideo(lastBase() + ".avi");
    QVERIFY2(whole.size() >= 30 && whole.size() <= video.frameCount,
             qPrintable(QString("%1 lines, %2 frames").arg(whole.size()).arg(video.frameCount)));
    for (int i = 0; i < whole.size(); ++i) {
        QCOMPARE(whole[i].split(' ').first().toInt(), i);
        QCOMPARE(video.stamps[i] ? int(video.stamps[i]->index) : -1, i);
    }
    QString why;
    const std::optional<RunRecord> record = RunRecord::read(lastBase() + ".json", &why);
    QVERIFY2(record, qPrintable("run record unreadable: " + why));
    QCOMPARE(record->result, recordResult);
    QCOMPARE(log.all().filter("Run record write failed").size(),
             recordResult == RunRecord::Result::Unfinished ? 1 : 0);
}

void RecorderRunRecordTest::spillThatFillsTheDisk_data()
{
    QTest::addColumn<bool>("smallVolume");
    QTest::addColumn<RunRecord::EndedBy>("endedBy");
    // The spill file counts in the room the recording needs: it ends before the volume is full.
    QTest::newRow("the margin sees it coming") << true << RunRecord::EndedBy::DiskLow;
#ifdef Q_OS_UNIX
    // A file size limit fills the disk at once, before the margin looks again.
    QTest::newRow("a spill write fails") << false << RunRecord::EndedBy::FramesLost;
#endif
}

// A writer slowed to 10 frames a second falls behind a 640x480 camera, and the frames beyond its
// queue fill the disk: the recording ends without hanging, what could not be kept is counted,
// and the files hold what they tell, each spilled frame in its place.
void RecorderRunRecordTest::spillThatFillsTheDisk()
{
    QFETCH(bool, smallVolume);
    QFETCH(RunRecord::EndedBy, endedBy);
    // Room for about three seconds of spilled frames: the margin looks once a second.
    SmallVolume volume(64 * 1024 * 1024);
    if (smallVolume && !volume.isValid())
        QSKIP(qPrintable("no small volume: " + volume.error()));
    if (smallVolume)
        useFolder(volume.path());
    configure([](Recorder &r) {
        r.setSinkFactory([] {
            ScriptedSink::Script slowed;
            slowed.stallEvery = 1;
            slowed.stallMilliseconds = 100;
            return std::make_unique<ScriptedSink>(slowed, std::make_shared<QVector<int>>(),
                                                  std::make_unique<FfmpegVideoSink>());
        });
    });
    MessageLog log;
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 4 * 1024 * 1024;
    if (!smallVolume)
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
#endif
    run([](Recorder &r) { r.record(Vga30); });
    const bool answered = waitForResult();
#ifdef Q_OS_UNIX
    setrlimit(RLIMIT_FSIZE, &previous);
#endif
    QVERIFY(answered);
    {
        QMutexLocker locker(&mutex);
        QCOMPARE(answers.last(), QString("recorded 0"));
    }
    QString why;
    const std::optional<RunRecord> record = RunRecord::read(lastBase() + ".json", &why);
    QVERIFY2(record, qPrintable("run record unreadable: " + why));
    QCOMPARE(record->result, RunRecord::Result::Failed);
    QCOMPARE(record->endedBy, endedBy);
    QVERIFY2(record->framesSpilled > 0, qPrintable(QString::number(record->framesSpilled)));
    const bool lost = endedBy == RunRecord::EndedBy::FramesLost;
    QCOMPARE(record->framesLost > 0, lost);
    QCOMPARE(
        log.all().filter(QRegularExpression("^Spill file write failed: File too large$")).size(),
        lost ? 1 : 0);
    // Every spilled frame was taken back, so the spill file gave its room back.
    QVERIFY(!QFile::exists(lastBase() + "_spill.raw"));
    const RecordingFiles::Video video = RecordingFiles::readVideo(lastBase() + ".avi");
    QCOMPARE(record->frames, video.frameCount);
    QCOMPARE(record->lines, video.frameCount);
    QVERIFY(video.frameCount > 60 + record->framesSpilled / 2);
    QCOMPARE(lastLineCount(), qsizetype(video.frameCount));
    for (int i = 0; i < video.frameCount; ++i)
        QCOMPARE(video.stamps[i] ? int(video.stamps[i]->index) : -1, i);
}

// A grey camera's encoder settings are chosen again with its first frame; the record that the
// recording's end writes must say what the file was really encoded with.
void RecorderRunRecordTest::grayEncodingInRecord()
{
    const cv::Size size(640, 480);
    const int cores = QThread::idealThreadCount();
    const H264Settings gray = EncoderChoice::forCamera(size, 300, true, cores).settings;
    const H264Settings colour = EncoderChoice::forCamera(size, 300, false, cores).settings;
    if (gray.preset == colour.preset && gray.threads == colour.threads)
        QSKIP("grey and colour frames get the same settings on this machine");

    recordUntil(FastGray, [this] { return lastLineCount() >= 30; });
    QVERIFY(waitForResult());
    const std::optional<RunRecord> record = lastRunRecord();
    QVERIFY(record);
    QCOMPARE(record->video.settings.value("preset").toString(),
             QString::fromStdString(gray.preset));
    QCOMPARE(record->video.settings.value("threads").toInt(), gray.threads);
}

QTEST_GUILESS_MAIN(RecorderRunRecordTest)
#include "tst_RecorderRunRecord.moc"
