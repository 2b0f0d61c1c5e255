#include "capture/BlinkingEye.h"
#include "capture/CameraSources.h"
#include "checker/EyelidCheck.h"
#include "checker/RecordingFinder.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/PreviewFrame.h"
#include "engine/Recorder.h"
#include "eyelid/EyelidTable.h"
#include "ffmpeg/DecodedVideo.h"
#include "runrecord/RunRecord.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScriptedSink.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <memory>

namespace {

enum Camera { Eye, Plain, PlainShort };
// Five seconds of the blinking eye: blinks start at 1 s and 3 s.
const QStringList cameraTexts = {"test:640x480@250:gray:eye:frames=1250", "test:320x240@100:gray",
                                 "test:320x240@100:gray:frames=40"};
constexpr double eyePeriodMs = 1000.0 / 250;
constexpr double blinkStartsMs[] = {1000, 3000};
// The lid covers half the eye this long after a blink starts.
constexpr double halfClosedAfterMs = 20;

QRect toQRect(const cv::Rect &box)
{
    return QRect(box.x, box.y, box.width, box.height);
}

// The times at which the closure first reaches 0.5 after lying below it.
QVector<double> onsets(const QVector<EyelidTable::Row> &rows)
{
    QVector<double> found;
    for (int i = 1; i < rows.size(); ++i) {
        if (rows[i - 1].closure && rows[i].closure && *rows[i - 1].closure < 0.5 &&
            *rows[i].closure >= 0.5)
            found.append(rows[i].ms);
    }
    return found;
}

} // namespace

// The Recorder's signals, queued into the test's thread, where the spies read them.
class RecorderSignals : public QObject
{
    Q_OBJECT
signals:
    void recorded(bool successful);
    void closureMeasured(double ms, double closure);
    void eyelidThresholdChosen(int level);
};

// The eyelid measured on every recorded frame: its table beside the text file, row for line,
// what the run record tells of it, the live signals, and the checker's measure of the same
// video afterwards.
class EyelidRecordingTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void blinkingEyeMeasuredOnEveryFrame();
    void rowsOnlyForFramesTheVideoHolds_data();
    void rowsOnlyForFramesTheVideoHolds();
    void noRowBeforeTheVideoHoldsTheFrame();
    void refusedRegionLeavesNoTable();
    void regionPartlyOutsideIsClipped();
    void givenThresholdIsUsed();
    void noRegionNoTable();

private:
    void makeRecorder(Recorder::SinkFactory sinks);
    void configure(const std::function<void(Recorder &)> &change);
    void recordAndWait(int camera, const std::function<void()> &whileRecording = {});
    QString base() const;
    std::optional<QVector<EyelidTable::Row>> table() const;

    std::unique_ptr<QTemporaryDir> temporary;
    QThread thread;
    Recorder *recorder = nullptr;
    RecorderSignals relayed;
    std::unique_ptr<QSignalSpy> results;
};

void EyelidRecordingTest::init()
{
    temporary = std::make_unique<QTemporaryDir>();
    QVERIFY(temporary->isValid());
}

void EyelidRecordingTest::cleanup()
{
    if (recorder) {
        Recorder *doomed = recorder;
        QMetaObject::invokeMethod(
            recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
        recorder = nullptr;
    }
    results.reset();
    thread.quit();
    thread.wait();
    temporary.reset();
}

void EyelidRecordingTest::makeRecorder(Recorder::SinkFactory sinks)
{
    recorder = new Recorder;
    recorder->setSinkFactory(std::move(sinks));
    recorder->setSourceFactory(
        [](int camera) { return CameraSources({}, cameraTexts).open(camera); });
    recorder->setFolderAddress(temporary->path());
    connect(
        recorder, &Recorder::frameAvailable, recorder,
        [](IplImage *image) { PreviewFrame::giveBack(image); }, Qt::DirectConnection);
    connect(recorder, &Recorder::recorded, &relayed, &RecorderSignals::recorded,
            Qt::QueuedConnection);
    connect(recorder, &Recorder::closureMeasured, &relayed, &RecorderSignals::closureMeasured,
            Qt::QueuedConnection);
    connect(recorder, &Recorder::eyelidThresholdChosen, &relayed,
            &RecorderSignals::eyelidThresholdChosen, Qt::QueuedConnection);
    results = std::make_unique<QSignalSpy>(&relayed, &RecorderSignals::recorded);
    recorder->moveToThread(&thread);
    thread.start();
}

void EyelidRecordingTest::configure(const std::function<void(Recorder &)> &change)
{
    Recorder *target = recorder;
    QMetaObject::invokeMethod(
        recorder, [target, change] { change(*target); }, Qt::BlockingQueuedConnection);
}

// Records camera until it ends or, for one that does not, until whileRecording has run.
void EyelidRecordingTest::recordAndWait(int camera, const std::function<void()> &whileRecording)
{
    Recorder *target = recorder;
    QMetaObject::invokeMethod(recorder, [target, camera] { target->record(camera); });
    if (whileRecording) {
        whileRecording();
        QMetaObject::invokeMethod(recorder, [target] { target->stop(); });
    }
    QVERIFY(results->count() > 0 || results->wait(60000));
}

QString EyelidRecordingTest::base() const
{
    const QStringList texts = QDir(temporary->path()).entryList({"*.txt"}, QDir::Files, QDir::Name);
    return texts.isEmpty() ? QString() : QDir(temporary->path()).filePath(texts.last().chopped(4));
}

std::optional<QVector<EyelidTable::Row>> EyelidRecordingTest::table() const
{
    return EyelidTable::read(base() + "_eyelid.csv");
}

// The test camera's eye, region on its box and Otsu's threshold: a row for every line with the
// line's frame and time, blinks where the camera drew them, and the checker's measure of the
// encoded video close to the live one.
void EyelidRecordingTest::blinkingEyeMeasuredOnEveryFrame()
{
    makeRecorder([] { return std::make_unique<FfmpegVideoSink>(); });
    const cv::Rect eyeBox = BlinkingEye::eyeBox({640, 480});
    QSignalSpy thresholds(&relayed, &RecorderSignals::eyelidThresholdChosen);
    QSignalSpy closures(&relayed, &RecorderSignals::closureMeasured);
    configure([eyeBox](Recorder &r) { r.setEyelidRegion(toQRect(eyeBox)); });
    // The camera stops after its frames, which ends the recording as failed: every frame up to
    // there is kept all the same.
    recordAndWait(Eye);

    const std::optional<QVector<FrameLine>> lines = RecordingFiles::readLines(base() + ".txt");
    const std::optional<QVector<EyelidTable::Row>> rows = table();
    QVERIFY(lines && rows);
    const DecodedVideo video = DecodedVideo::of(base() + ".avi");
    QVERIFY(lines->size() > 1000);
    QCOMPARE(rows->size(), lines->size());
    QCOMPARE(video.frames, lines->size());
    for (int i = 0; i < rows->size(); ++i) {
        QCOMPARE(rows->at(i).frame, lines->at(i).index);
        QCOMPARE(rows->at(i).ms, double(lines->at(i).ms));
        QVERIFY(rows->at(i).closure);
    }

    // Frame 0 is the eye's zero; a line's time is in whole milliseconds.
    const QVector<double> found = onsets(*rows);
    QCOMPARE(found.size(), int(std::size(blinkStartsMs)));
    for (int k = 0; k < found.size(); ++k) {
        const double expected = rows->first().ms + blinkStartsMs[k] + halfClosedAfterMs;
        QVERIFY2(std::abs(found[k] - expected) <= eyePeriodMs + 1,
                 qPrintable(
                     QString("blink %1 at %2 ms, expected %3").arg(k).arg(found[k]).arg(expected)));
    }
    double open = 1;
    double closed = 0;
    for (const EyelidTable::Row &row : *rows) {
        open = std::min(open, *row.closure);
        closed = std::max(closed, *row.closure);
    }
    QVERIFY2(closed - open >= 0.8, qPrintable(QString("open %1, closed %2").arg(open).arg(closed)));

    const std::optional<RunRecord> record = RunRecord::read(base() + ".json");
    QVERIFY(record && record->eyelid);
    QCOMPARE(
        record->eyelid->region,
        QString("%1,%2,%3,%4").arg(eyeBox.x).arg(eyeBox.y).arg(eyeBox.width).arg(eyeBox.height));
    QCOMPARE(record->eyelid->chosenBy, QString("otsu"));
    QVERIFY(record->eyelid->threshold > BlinkingEye::eyeLevel);
    QVERIFY(record->eyelid->threshold < BlinkingEye::skinLevel);
    QCOMPARE(record->eyelid->table, QFileInfo(base() + "_eyelid.csv").fileName());
    QCOMPARE(thresholds.count(), 1);
    QCOMPARE(thresholds.first().at(0).toInt(), record->eyelid->threshold);

    // Thinned out for a trace: never two within a sixtieth of a second.
    QVERIFY(closures.count() > 10);
    for (int i = 1; i < closures.count(); ++i)
        QVERIFY(closures[i].at(0).toDouble() - closures[i - 1].at(0).toDouble() >= 1000.0 / 60);
    QVERIFY(closures.count() <= int(rows->last().ms / (1000.0 / 60)) + 1);

    // Afterwards, from the encoded video: the same rows, closures that agree on average.
    RecordingFinder::Recording recording{temporary->path(), QFileInfo(base()).fileName(), false};
    QString why;
    const auto checked = EyelidCheck::measure(recording, {EyelidRegion{eyeBox}, {}, false}, why);
    QVERIFY2(checked, qPrintable(why));
    QCOMPARE(checked->size(), rows->size());
    double difference = 0;
    for (int i = 0; i < rows->size(); ++i) {
        QCOMPARE(checked->at(i).frame, rows->at(i).frame);
        QCOMPARE(checked->at(i).ms, rows->at(i).ms);
        difference += std::abs(*checked->at(i).closure - *rows->at(i).closure);
    }
    QVERIFY2(difference / rows->size() < 0.02,
             qPrintable(QString("mean difference %1").arg(difference / rows->size())));
}

void EyelidRecordingTest::rowsOnlyForFramesTheVideoHolds_data()
{
    QTest::addColumn<int>("firstFailingWrite");
    QTest::addColumn<int>("flushEvery");
    QTest::addColumn<bool>("releaseSucceeds");
    QTest::addColumn<int>("framesInFile");

    QTest::newRow("writes fail from the 12th") << 11 << 1 << true << 11;
    QTest::newRow("flushed every 7th, writes fail from the 17th, completed")
        << 16 << 7 << true << 16;
    QTest::newRow("flushed every 7th, writes fail from the 17th, never completed")
        << 16 << 7 << false << 14;
    QTest::newRow("nothing flushed, file never completed") << -1 << 0 << false << 0;
}

// The table follows the video as the text file does: rows = lines = frames the sink holds.
void EyelidRecordingTest::rowsOnlyForFramesTheVideoHolds()
{
    QFETCH(int, firstFailingWrite);
    QFETCH(int, flushEvery);
    QFETCH(bool, releaseSucceeds);
    QFETCH(int, framesInFile);
    ScriptedSink::Script script;
    script.firstFailingWrite = firstFailingWrite;
    script.flushEvery = flushEvery;
    script.releaseSucceeds = releaseSucceeds;
    const auto written = std::make_shared<QVector<int>>();
    makeRecorder([script, written] { return std::make_unique<ScriptedSink>(script, written); });
    configure([](Recorder &r) { r.setEyelidRegion(QRect(100, 80, 120, 60)); });
    recordAndWait(PlainShort);

    const std::optional<QVector<FrameLine>> lines = RecordingFiles::readLines(base() + ".txt");
    const std::optional<QVector<EyelidTable::Row>> rows = table();
    QVERIFY(lines && rows);
    QCOMPARE(lines->size(), framesInFile);
    QCOMPARE(rows->size(), framesInFile);
    for (int i = 0; i < rows->size(); ++i)
        QCOMPARE(rows->at(i).ms, double(lines->at(i).ms));
}

// While the video holds no frame yet, measured frames get no row; once it holds them they do.
void EyelidRecordingTest::noRowBeforeTheVideoHoldsTheFrame()
{
    QSemaphore gate;
    ScriptedSink::Script script;
    script.gate = &gate;
    const auto written = std::make_shared<QVector<int>>();
    makeRecorder([script, written] { return std::make_unique<ScriptedSink>(script, written); });
    QSignalSpy closures(&relayed, &RecorderSignals::closureMeasured);
    configure([](Recorder &r) { r.setEyelidRegion(QRect(100, 80, 120, 60)); });
    recordAndWait(Plain, [&] {
        // Opened whatever the checks find, so that a failing one does not hold the writer.
        const auto openGate = qScopeGuard([&gate] { gate.release(1000000); });
        QVERIFY(closures.count() >= 3 ||
                QTest::qWaitFor([&] { return closures.count() >= 3; }, 30000));
        const std::optional<QVector<EyelidTable::Row>> whileHeld = table();
        QVERIFY(whileHeld);
        QCOMPARE(whileHeld->size(), 0);
    });
    const std::optional<QVector<FrameLine>> lines = RecordingFiles::readLines(base() + ".txt");
    const std::optional<QVector<EyelidTable::Row>> rows = table();
    QVERIFY(lines && rows);
    QVERIFY(rows->size() >= 3);
    QCOMPARE(rows->size(), lines->size());
}

void EyelidRecordingTest::refusedRegionLeavesNoTable()
{
    makeRecorder([] { return std::make_unique<FfmpegVideoSink>(); });
    QSignalSpy thresholds(&relayed, &RecorderSignals::eyelidThresholdChosen);
    configure([](Recorder &r) { r.setEyelidRegion(QRect(400, 10, 30, 20)); });
    QTest::ignoreMessage(QtDebugMsg,
                         "Eyelid region 400,10,30,20: eyelid region 400,10,30,20 lies outside "
                         "the 320x240 frame");
    recordAndWait(PlainShort);
    QVERIFY(QFile::exists(base() + ".txt"));
    QVERIFY(!QFile::exists(base() + "_eyelid.csv"));
    const std::optional<RunRecord> record = RunRecord::read(base() + ".json");
    QVERIFY(record);
    QVERIFY(!record->eyelid);
    QCOMPARE(thresholds.count(), 0);
}

void EyelidRecordingTest::regionPartlyOutsideIsClipped()
{
    makeRecorder([] { return std::make_unique<FfmpegVideoSink>(); });
    configure([](Recorder &r) { r.setEyelidRegion(QRect(-10, 200, 50, 60)); });
    QTest::ignoreMessage(QtDebugMsg, "Eyelid region -10,200,50,60: eyelid region -10,200,50,60 "
                                     "reaches beyond the 320x240 frame: measured on its 40x40 "
                                     "inside");
    recordAndWait(PlainShort);
    const std::optional<RunRecord> record = RunRecord::read(base() + ".json");
    QVERIFY(record && record->eyelid);
    QCOMPARE(record->eyelid->region, QString("0,200,40,40"));
    const std::optional<QVector<EyelidTable::Row>> rows = table();
    QVERIFY(rows);
    QCOMPARE(rows->size(), record->lines);
}

// A given threshold is the one used, and told as given.
void EyelidRecordingTest::givenThresholdIsUsed()
{
    makeRecorder([] { return std::make_unique<FfmpegVideoSink>(); });
    QSignalSpy thresholds(&relayed, &RecorderSignals::eyelidThresholdChosen);
    configure([](Recorder &r) {
        r.setEyelidThreshold(EyelidThreshold{255, EyelidThreshold::ChosenBy::Given});
        r.setEyelidRegion(QRect(100, 80, 120, 60));
    });
    recordAndWait(PlainShort);
    const std::optional<RunRecord> record = RunRecord::read(base() + ".json");
    QVERIFY(record && record->eyelid);
    QCOMPARE(record->eyelid->threshold, 255);
    QCOMPARE(record->eyelid->chosenBy, QString("given"));
    QCOMPARE(thresholds.count(), 1);
    QCOMPARE(thresholds.first().at(0).toInt(), 255);
    // Nothing is brighter than 255.
    const std::optional<QVector<EyelidTable::Row>> rows = table();
    QVERIFY(rows && !rows->isEmpty());
    for (const EyelidTable::Row &row : *rows)
        QCOMPARE(*row.closure, 0.0);
}

void EyelidRecordingTest::noRegionNoTable()
{
    makeRecorder([] { return std::make_unique<FfmpegVideoSink>(); });
    configure([](Recorder &r) { r.setEyelidRegion(QRect(100, 80, 120, 60)); });
    configure([](Recorder &r) { r.setEyelidRegion(QRect()); });
    recordAndWait(PlainShort);
    QVERIFY(QFile::exists(base() + ".txt"));
    QVERIFY(!QFile::exists(base() + "_eyelid.csv"));
    const std::optional<RunRecord> record = RunRecord::read(base() + ".json");
    QVERIFY(record);
    QVERIFY(!record->eyelid);
}

QTEST_GUILESS_MAIN(EyelidRecordingTest)
#include "tst_EyelidRecording.moc"
