#include "encode/EncoderSpeeds.h"
#include "encode/EncoderTuning.h"
#include "encode/FfmpegVideoSink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

Q_DECLARE_METATYPE(cv::Size)

using namespace std::chrono_literals;

namespace {

const cv::Size frameSize(320, 240);

H264Settings settingsOf(const char *preset, int threads)
{
    H264Settings settings;
    settings.preset = preset;
    settings.threads = threads;
    return settings;
}

// A machine on which only ultrafast in two threads keeps 1.3 times ahead of 250 fps.
QVector<MeasuredSpeed> slowMachine()
{
    return {{settingsOf("veryfast", 1), 120},
            {settingsOf("ultrafast", 1), 240},
            {settingsOf("ultrafast", 2), 400}};
}

// Long enough that only an interruption ends a measurement in a test's time.
EncoderCalibration::Budget endless()
{
    return {1000000, 60s, 120s};
}

EncoderCalibration::Budget quick()
{
    return {10, 50ms, 10s};
}

} // namespace

// The encoder's settings come from speeds measured on this machine once there are any; the
// tuning measures between recordings and never while one runs.
class EncoderTuningTest : public QObject
{
    Q_OBJECT
private slots:
    void tableUntilMeasured_data();
    void tableUntilMeasured();
    void choosesFromMeasuredSpeeds();
    void failedMeasurementKeepsTheTable();
    void measuresWantedFormats();
    void waitsWhileARecordingRuns();
    void watchedFormatWantedOnce();
    void endsWhen_data();
    void endsWhen();
    void sinkChoosesFromMeasuredSpeeds();
    void sinkWantsItsFormatMeasured();
};

void EncoderTuningTest::tableUntilMeasured_data()
{
    QTest::addColumn<bool>("firstFrameSeen");
    QTest::addColumn<bool>("wanted");
    // Before the first frame, whether the camera is grey is not known yet.
    QTest::newRow("opened") << false << false;
    QTest::newRow("first frame") << true << true;
}

void EncoderTuningTest::tableUntilMeasured()
{
    QFETCH(bool, firstFrameSeen);
    QFETCH(bool, wanted);
    EncoderSpeeds speeds;
    const EncoderChoice choice = speeds.choose(frameSize, 250, true, firstFrameSeen);
    const EncoderChoice table =
        EncoderChoice::forCamera(frameSize, 250, true, QThread::idealThreadCount());
    QCOMPARE(choice.settings.preset, table.settings.preset);
    QCOMPARE(choice.settings.threads, table.settings.threads);
    QVERIFY(choice.measured.isEmpty());
    QCOMPARE(speeds.nextWanted().has_value(), wanted);
    if (wanted) {
        QCOMPARE(speeds.nextWanted()->first, frameSize);
        QCOMPARE(speeds.nextWanted()->second, true);
        QVERIFY(choice.reason.contains("not measured on this machine yet"));
    }
}

void EncoderTuningTest::choosesFromMeasuredSpeeds()
{
    EncoderSpeeds speeds;
    speeds.choose(frameSize, 250, true, true);
    speeds.store(frameSize, true, slowMachine());
    QVERIFY(!speeds.nextWanted());
    const EncoderChoice choice = speeds.choose(frameSize, 250, true, true);
    QCOMPARE(choice.settings.preset, std::string("ultrafast"));
    QCOMPARE(choice.settings.threads, 2);
    QVERIFY(choice.keepsUp);
    QCOMPARE(choice.measured.size(), 3);
    // Colour frames of the same size are another format, not measured yet.
    QVERIFY(speeds.choose(frameSize, 250, false, true).measured.isEmpty());
}

void EncoderTuningTest::failedMeasurementKeepsTheTable()
{
    EncoderSpeeds speeds;
    speeds.store(frameSize, false,
                 {{settingsOf("veryfast", 1), 0}, {settingsOf("ultrafast", 1), 0}});
    const EncoderChoice choice = speeds.choose(frameSize, 30, false, true);
    QVERIFY(choice.measured.isEmpty());
    QVERIFY(!speeds.nextWanted());
}

void EncoderTuningTest::measuresWantedFormats()
{
    auto speeds = std::make_shared<EncoderSpeeds>();
    speeds->choose(frameSize, 30, true, true);
    speeds->choose(cv::Size(160, 120), 30, false, true);
    EncoderTuning tuning(speeds);
    tuning.setBudget(quick());
    QSignalSpy measured(&tuning, &EncoderTuning::measured);
    tuning.measureWanted();
    QCOMPARE(measured.count(), 2);
    QVERIFY(!speeds->nextWanted());
    for (const auto &[size, gray] :
         {std::make_pair(frameSize, true), std::make_pair(cv::Size(160, 120), false)}) {
        const std::optional<QVector<MeasuredSpeed>> found = speeds->find(size, gray);
        QVERIFY(found);
        QCOMPARE(found->size(), EncoderCalibration::candidates(QThread::idealThreadCount()).size());
        for (const MeasuredSpeed &speed : *found)
            QVERIFY(speed.fps > 0);
    }
}

void EncoderTuningTest::waitsWhileARecordingRuns()
{
    auto speeds = std::make_shared<EncoderSpeeds>();
    speeds->choose(frameSize, 30, true, true);
    EncoderTuning tuning(speeds);
    tuning.setBudget(quick());
    QSignalSpy measured(&tuning, &EncoderTuning::measured);
    speeds->recordingOpened();
    tuning.measureWanted();
    QCOMPARE(measured.count(), 0);
    QVERIFY(speeds->nextWanted());
    speeds->recordingClosed();
    tuning.measureWanted();
    QCOMPARE(measured.count(), 1);
    QVERIFY(speeds->find(frameSize, true));
}

// A camera watched before any recording is measured then; a measured one is not again.
void EncoderTuningTest::watchedFormatWantedOnce()
{
    auto speeds = std::make_shared<EncoderSpeeds>();
    speeds->want(frameSize, true);
    QVERIFY(speeds->nextWanted());
    EncoderTuning tuning(speeds);
    tuning.setBudget(quick());
    tuning.measureWanted();
    QVERIFY(speeds->find(frameSize, true));
    speeds->want(frameSize, true);
    QVERIFY(!speeds->nextWanted());
    QVERIFY(!speeds->choose(frameSize, 30, true, true).measured.isEmpty());
}

void EncoderTuningTest::endsWhen_data()
{
    QTest::addColumn<bool>("recordingStarts");
    QTest::newRow("a recording starts") << true;
    QTest::newRow("the program ends") << false;
}

// A measurement under way ends at its next frame and keeps nothing of what it measured.
void EncoderTuningTest::endsWhen()
{
    QFETCH(bool, recordingStarts);
    auto speeds = std::make_shared<EncoderSpeeds>();
    speeds->choose(frameSize, 30, false, true);
    EncoderTuning tuning(speeds);
    tuning.setBudget(endless());
    QSignalSpy measured(&tuning, &EncoderTuning::measured);
    std::thread interrupter([&] {
        std::this_thread::sleep_for(300ms);
        if (recordingStarts)
            speeds->recordingOpened();
        else
            tuning.stop();
    });
    QElapsedTimer timer;
    timer.start();
    tuning.measureWanted();
    interrupter.join();
    // Only a hang would come near the budget's minute.
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(measured.count(), 0);
    QVERIFY(!speeds->find(frameSize, false));
}

void EncoderTuningTest::sinkChoosesFromMeasuredSpeeds()
{
    QTemporaryDir directory;
    auto speeds = std::make_shared<EncoderSpeeds>();
    speeds->store(frameSize, true, slowMachine());
    FfmpegVideoSink sink;
    sink.chooseFrom(speeds);
    sink.setCameraRate(250);
    QVERIFY(sink.open(directory.filePath("grey.avi").toStdString(), VideoCodes::h264.front(), 30,
                      frameSize, false));
    QVERIFY(speeds->recordingOpen());
    QVERIFY(sink.write(cv::Mat(frameSize, CV_8UC1, cv::Scalar(90))));
    const QVariantMap settings = sink.description().settings;
    QCOMPARE(settings.value("preset").toString(), QString("ultrafast"));
    QCOMPARE(settings.value("threads").toInt(), 2);
    const QVariantList measuredFps = settings.value("measuredFps").toList();
    QCOMPARE(measuredFps.size(), 3);
    QCOMPARE(measuredFps.at(0).toMap().value("fps").toDouble(), 120.0);
    QCOMPARE(measuredFps.at(2).toMap().value("threads").toInt(), 2);
    QVERIFY(sink.release());
    QVERIFY(!speeds->recordingOpen());
}

void EncoderTuningTest::sinkWantsItsFormatMeasured()
{
    QTemporaryDir directory;
    auto speeds = std::make_shared<EncoderSpeeds>();
    FfmpegVideoSink sink;
    sink.chooseFrom(speeds);
    QVERIFY(sink.open(directory.filePath("colour.avi").toStdString(), VideoCodes::h264.front(), 30,
                      frameSize, true));
    QVERIFY(!speeds->nextWanted());
    QVERIFY(sink.write(cv::Mat(frameSize, CV_8UC3, cv::Scalar(90, 60, 30))));
    QVERIFY(!sink.description().settings.contains("measuredFps"));
    QVERIFY(speeds->nextWanted());
    QCOMPARE(speeds->nextWanted()->first, frameSize);
    QCOMPARE(speeds->nextWanted()->second, false);
    QVERIFY(sink.release());
}

QTEST_GUILESS_MAIN(EncoderTuningTest)
#include "tst_EncoderTuning.moc"
