#include "encode/EncoderCalibration.h"
#include "encode/EncoderChoice.h"

#include <QElapsedTimer>
#include <QTest>

#include <chrono>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(EncoderCalibration::Budget)

using namespace std::chrono_literals;

namespace {

QString textOf(const H264Settings &settings)
{
    return QString("%1 x%2").arg(QString::fromStdString(settings.preset)).arg(settings.threads);
}

QStringList textsOf(const QVector<MeasuredSpeed> &speeds)
{
    QStringList texts;
    for (const MeasuredSpeed &speed : speeds)
        texts << textOf(speed.settings);
    return texts;
}

QStringList textsOf(const QVector<H264Settings> &candidates)
{
    QStringList texts;
    for (const H264Settings &settings : candidates)
        texts << textOf(settings);
    return texts;
}

// A quick budget, for tests that need speeds but not precise ones.
EncoderCalibration::Budget quick()
{
    return {10, 50ms, 10s};
}

} // namespace

// Speeds measured on this machine through the real encoder. The machine may be busy with
// other work, so speeds and times are checked against lower bounds only.
class EncoderCalibrationTest : public QObject
{
    Q_OBJECT
private slots:
    void candidates_data();
    void candidates();
    void measuresEveryCandidate_data();
    void measuresEveryCandidate();
    void stopsOnceFastEnough_data();
    void stopsOnceFastEnough();
    void keepsToItsBudget_data();
    void keepsToItsBudget();
    void refusedFrameSizeMeasuresNothing();
};

void EncoderCalibrationTest::candidates_data()
{
    QTest::addColumn<int>("cores");
    QTest::addColumn<QStringList>("settings");

    const QStringList oneThread = {"veryfast x1", "ultrafast x1"};
    QTest::newRow("one core") << 1 << oneThread;
    QTest::newRow("unknown cores") << 0 << oneThread;
    QTest::newRow("two cores") << 2 << oneThread + QStringList{"ultrafast x2"};
    QTest::newRow("eight cores") << 8 << oneThread + QStringList{"ultrafast x8"};
}

void EncoderCalibrationTest::candidates()
{
    QFETCH(int, cores);
    QFETCH(QStringList, settings);
    QCOMPARE(textsOf(EncoderCalibration::candidates(cores)), settings);
}

void EncoderCalibrationTest::measuresEveryCandidate_data()
{
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<bool>("gray");

    QTest::newRow("colour") << cv::Size(320, 240) << false;
    QTest::newRow("grey") << cv::Size(320, 240) << true;
    QTest::newRow("odd sides, 4:4:4") << cv::Size(161, 121) << false;
}

void EncoderCalibrationTest::measuresEveryCandidate()
{
    QFETCH(cv::Size, size);
    QFETCH(bool, gray);
    EncoderCalibration calibration(size, gray);
    calibration.setCores(2);
    const QVector<MeasuredSpeed> speeds = calibration.measure();
    QCOMPARE(textsOf(speeds), textsOf(EncoderCalibration::candidates(2)));
    for (const MeasuredSpeed &speed : speeds)
        QVERIFY2(speed.fps > 0, qPrintable(textOf(speed.settings)));
    // ultrafast does less work per frame; even a busy machine leaves it within a wide margin.
    QVERIFY2(
        speeds[1].fps > speeds[0].fps / 3,
        qPrintable(QString("veryfast %1 fps, ultrafast %2").arg(speeds[0].fps).arg(speeds[1].fps)));
}

void EncoderCalibrationTest::stopsOnceFastEnough_data()
{
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<double>("cameraFps");
    QTest::addColumn<int>("measured");

    QTest::newRow("a slow camera: the first candidate") << cv::Size(160, 120) << 5.0 << 1;
    QTest::newRow("a camera beyond every candidate: all") << cv::Size(1920, 1080) << 1000.0 << 3;
}

// The measuring stops where the choice would: what it measured chooses its last candidate.
void EncoderCalibrationTest::stopsOnceFastEnough()
{
    QFETCH(cv::Size, size);
    QFETCH(double, cameraFps);
    QFETCH(int, measured);
    EncoderCalibration calibration(size, false);
    calibration.setCores(2);
    calibration.setBudget(quick());
    const QVector<MeasuredSpeed> speeds = calibration.measureUntilFastEnough(cameraFps);
    QCOMPARE(speeds.size(), measured);
    const EncoderChoice choice = EncoderChoice::fromMeasured(speeds, cameraFps, size, false);
    QCOMPARE(choice.keepsUp, measured < 3);
    if (choice.keepsUp)
        QCOMPARE(textOf(choice.settings), textOf(speeds.last().settings));
}

void EncoderCalibrationTest::keepsToItsBudget_data()
{
    QTest::addColumn<EncoderCalibration::Budget>("budget");

    QTest::newRow("least time, few frames") << EncoderCalibration::Budget{5, 250ms, 10s};
    // Without the cap this would encode for hours; CTest's timeout tells.
    QTest::newRow("most time caps the frames")
        << EncoderCalibration::Budget{1000000000, 0ms, 250ms};
}

void EncoderCalibrationTest::keepsToItsBudget()
{
    QFETCH(EncoderCalibration::Budget, budget);
    EncoderCalibration calibration(cv::Size(160, 120), true);
    calibration.setBudget(budget);
    QElapsedTimer timer;
    timer.start();
    const QVector<MeasuredSpeed> speeds = calibration.measureUntilFastEnough(1.0);
    QVERIFY(timer.elapsed() >= 250);
    QCOMPARE(speeds.size(), 1);
    QVERIFY(speeds[0].fps > 0);
}

void EncoderCalibrationTest::refusedFrameSizeMeasuresNothing()
{
    // Wider than any H.264 level allows.
    EncoderCalibration calibration(cv::Size(16400, 16), false);
    calibration.setCores(2);
    for (const H264Settings &settings : EncoderCalibration::candidates(2)) {
        QTest::ignoreMessage(QtDebugMsg, "Video encoder open failed");
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(QString("Encoder calibration failed for %1 "
                                                "in %2 thread(s)")
                                            .arg(QString::fromStdString(settings.preset))
                                            .arg(settings.threads)));
    }
    const QVector<MeasuredSpeed> speeds = calibration.measure();
    QCOMPARE(textsOf(speeds), textsOf(EncoderCalibration::candidates(2)));
    for (const MeasuredSpeed &speed : speeds)
        QCOMPARE(speed.fps, 0.0);
    QVERIFY(!EncoderChoice::fromMeasured(speeds, 30, cv::Size(16400, 16), false).keepsUp);
}

QTEST_GUILESS_MAIN(EncoderCalibrationTest)
#include "tst_EncoderCalibration.moc"
