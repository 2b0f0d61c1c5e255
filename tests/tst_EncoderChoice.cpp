#include "encode/EncoderChoice.h"

#include <QTest>

Q_DECLARE_METATYPE(cv::Size)
Q_DECLARE_METATYPE(MeasuredSpeed)

namespace {

MeasuredSpeed measured(const char *preset, int threads, double fps)
{
    MeasuredSpeed speed;
    speed.settings.preset = preset;
    speed.settings.threads = threads;
    speed.fps = fps;
    return speed;
}

// Speeds of 1280x1024 grey frames on a slow processor.
QVector<MeasuredSpeed> slowMachine()
{
    return {measured("veryfast", 1, 48.0), measured("ultrafast", 1, 143.8),
            measured("ultrafast", 2, 260.1)};
}

} // namespace

// The settings chosen for a camera's pixel rate, or from the speeds measured on this machine:
// the best compression that keeps 1.3 times ahead of the camera, the fastest settings where
// none does.
class EncoderChoiceTest : public QObject
{
    Q_OBJECT
private slots:
    void forCamera_data();
    void forCamera();
    void fromMeasured_data();
    void fromMeasured();
    void fromMeasuredNamesTheSpeeds_data();
    void fromMeasuredNamesTheSpeeds();
};

void EncoderChoiceTest::forCamera_data()
{
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<double>("fps");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<int>("cores");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("keepsUp");

    const cv::Size vga(640, 480), hd(1280, 720), fullHd(1920, 1080), sxga(1280, 1024);
    // clang-format off
    QTest::newRow("640x480@30") << vga << 30.0 << false << 2 << "veryfast" << 1 << true;
    QTest::newRow("640x480@250, as before") << vga << 250.0 << false << 2 << "veryfast" << 1 << true;
    QTest::newRow("1280x720@60, as before") << hd << 60.0 << false << 2 << "veryfast" << 1 << true;
    QTest::newRow("640x480@300 colour") << vga << 300.0 << false << 2 << "ultrafast" << 1 << true;
    QTest::newRow("640x480@300 grey: better compression") << vga << 300.0 << true << 2 << "veryfast" << 1 << true;
    QTest::newRow("640x480@500 grey") << vga << 500.0 << true << 2 << "ultrafast" << 1 << true;
    QTest::newRow("1920x1080@60") << fullHd << 60.0 << false << 2 << "ultrafast" << 1 << true;
    QTest::newRow("1280x1024@200 grey") << sxga << 200.0 << true << 2 << "ultrafast" << 1 << true;
    QTest::newRow("1280x1024@200 colour") << sxga << 200.0 << false << 2 << "ultrafast" << 2 << true;
    QTest::newRow("1280x1024@200 colour, one core") << sxga << 200.0 << false << 1 << "ultrafast" << 1 << false;
    QTest::newRow("beyond the machine") << cv::Size(2048, 2048) << 200.0 << false << 2 << "ultrafast" << 2 << false;
    QTest::newRow("unknown rate, taken as 30 fps") << fullHd << 0.0 << false << 2 << "veryfast" << 1 << true;
    QTest::newRow("a stream's 90000 fps, taken as 1000") << vga << 90000.0 << true << 2 << "ultrafast" << 2 << true;
    QTest::newRow("no core count") << fullHd << 60.0 << false << 0 << "ultrafast" << 1 << true;
    // clang-format on
}

void EncoderChoiceTest::forCamera()
{
    QFETCH(cv::Size, size);
    QFETCH(double, fps);
    QFETCH(bool, gray);
    QFETCH(int, cores);
    QFETCH(QString, preset);
    QFETCH(int, threads);
    QFETCH(bool, keepsUp);
    const EncoderChoice choice = EncoderChoice::forCamera(size, fps, gray, cores);
    QCOMPARE(QString::fromStdString(choice.settings.preset), preset);
    QCOMPARE(choice.settings.threads, threads);
    QCOMPARE(choice.keepsUp, keepsUp);
    // What a camera may need beside the speed stays as it is.
    QCOMPARE(QString::fromStdString(choice.settings.tune), QString("zerolatency"));
    QCOMPARE(choice.settings.crf, 23);
    QVERIFY2(choice.reason.startsWith(QString("%1 in %2 thread(s) for %3x%4")
                                          .arg(preset)
                                          .arg(threads)
                                          .arg(size.width)
                                          .arg(size.height)),
             qPrintable(choice.reason));
    QCOMPARE(choice.reason.contains("frames may be lost"), !keepsUp);
}

void EncoderChoiceTest::fromMeasured_data()
{
    QTest::addColumn<QVector<MeasuredSpeed>>("speeds");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("keepsUp");

    // Beside the slow processor a fast one, and one where a second thread only slows the
    // encoder down.
    const QVector<MeasuredSpeed> slow = slowMachine();
    const QVector<MeasuredSpeed> fast = {measured("veryfast", 1, 420.0),
                                         measured("ultrafast", 1, 900.0),
                                         measured("ultrafast", 2, 1500.0)};
    const QVector<MeasuredSpeed> secondThreadSlower = {measured("veryfast", 1, 85.0),
                                                       measured("ultrafast", 1, 262.0),
                                                       measured("ultrafast", 2, 226.0)};
    const QVector<MeasuredSpeed> shuffled = {slow[2], slow[1], slow[0]};
    // clang-format off
    QTest::newRow("fast machine: veryfast in one thread") << fast << 250.0 << "veryfast" << 1 << true;
    QTest::newRow("fast machine, 500 fps: ultrafast in one thread") << fast << 500.0 << "ultrafast" << 1 << true;
    QTest::newRow("slow machine, 30 fps: veryfast in one thread") << slow << 30.0 << "veryfast" << 1 << true;
    QTest::newRow("slow machine, 100 fps: only ultrafast in one thread") << slow << 100.0 << "ultrafast" << 1 << true;
    QTest::newRow("slow machine, 200 fps: only all cores") << slow << 200.0 << "ultrafast" << 2 << true;
    QTest::newRow("speeds in any order") << shuffled << 100.0 << "ultrafast" << 1 << true;
    QTest::newRow("nothing keeps up: the fastest") << slow << 250.0 << "ultrafast" << 2 << false;
    QTest::newRow("nothing keeps up, one thread fastest") << secondThreadSlower << 250.0 << "ultrafast" << 1 << false;
    QTest::newRow("a second thread slower, one enough") << secondThreadSlower << 200.0 << "ultrafast" << 1 << true;
    QTest::newRow("a failed measurement is no candidate") << QVector<MeasuredSpeed>{measured("veryfast", 1, 0), measured("ultrafast", 1, 100)} << 30.0 << "ultrafast" << 1 << true;
    QTest::newRow("all threads before a better preset in one") << QVector<MeasuredSpeed>{measured("veryfast", 4, 400), measured("ultrafast", 1, 300)} << 200.0 << "ultrafast" << 1 << true;
    QTest::newRow("nothing measured") << QVector<MeasuredSpeed>{} << 30.0 << "veryfast" << 1 << false;
    QTest::newRow("unknown rate, taken as 30 fps") << slow << 0.0 << "veryfast" << 1 << true;
    QTest::newRow("a stream's 90000 fps, taken as 1000") << fast << 90000.0 << "ultrafast" << 2 << true;
    // clang-format on
}

void EncoderChoiceTest::fromMeasured()
{
    QFETCH(QVector<MeasuredSpeed>, speeds);
    QFETCH(double, fps);
    QFETCH(QString, preset);
    QFETCH(int, threads);
    QFETCH(bool, keepsUp);
    const cv::Size size(1280, 1024);
    const EncoderChoice grey = EncoderChoice::fromMeasured(speeds, fps, size, true);
    QCOMPARE(QString::fromStdString(grey.settings.preset), preset);
    QCOMPARE(grey.settings.threads, threads);
    QCOMPARE(grey.keepsUp, keepsUp);
    QCOMPARE(QString::fromStdString(grey.settings.tune), QString("zerolatency"));
    QCOMPARE(grey.settings.crf, 23);
    QVERIFY2(grey.reason.startsWith(
                 QString("%1 in %2 thread(s) for 1280x1024 grey").arg(preset).arg(threads)),
             qPrintable(grey.reason));
    QCOMPARE(grey.reason.contains("frames may be lost"), !keepsUp);
    // The speeds were measured for the frames' format already: colour changes nothing else.
    const EncoderChoice colour = EncoderChoice::fromMeasured(speeds, fps, size, false);
    QCOMPARE(colour.settings.preset, grey.settings.preset);
    QCOMPARE(colour.settings.threads, grey.settings.threads);
    QCOMPARE(colour.keepsUp, grey.keepsUp);
    QCOMPARE(QString(colour.reason).replace("colour", "grey"), grey.reason);
}

void EncoderChoiceTest::fromMeasuredNamesTheSpeeds_data()
{
    QTest::addColumn<QVector<MeasuredSpeed>>("speeds");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("reason");

    QTest::newRow("one thread") << slowMachine() << 30.0
                                << "veryfast in 1 thread(s) for 1280x1024 grey at 30 fps: "
                                   "measured here 48.0 fps in 1 thread; needs 39";
    QTest::newRow("all cores") << slowMachine() << 200.0
                               << "ultrafast in 2 thread(s) for 1280x1024 grey at 200 fps: "
                                  "measured here 143.8 fps in 1 thread, 260.1 in 2; needs 260";
    QTest::newRow("nothing keeps up")
        << slowMachine() << 250.0
        << "ultrafast in 2 thread(s) for 1280x1024 grey at 250 fps: measured here 143.8 fps in 1 "
           "thread, 260.1 in 2; needs 325, the fastest measured: frames may be lost";
    QTest::newRow("only more threads measured")
        << QVector<MeasuredSpeed>{measured("ultrafast", 4, 612.3)} << 400.0
        << "ultrafast in 4 thread(s) for 1280x1024 grey at 400 fps: measured here 612.3 fps in 4 "
           "threads; needs 520";
    QTest::newRow("nothing measured") << QVector<MeasuredSpeed>{} << 30.0
                                      << "veryfast in 1 thread(s) for 1280x1024 grey at 30 fps: "
                                         "no speed measured here, frames may be lost";
}

// The debug line says what was measured and what the camera needs.
void EncoderChoiceTest::fromMeasuredNamesTheSpeeds()
{
    QFETCH(QVector<MeasuredSpeed>, speeds);
    QFETCH(double, fps);
    QFETCH(QString, reason);
    QCOMPARE(EncoderChoice::fromMeasured(speeds, fps, cv::Size(1280, 1024), true).reason, reason);
}

QTEST_GUILESS_MAIN(EncoderChoiceTest)
#include "tst_EncoderChoice.moc"
