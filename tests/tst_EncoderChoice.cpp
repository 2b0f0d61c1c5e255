#include "encode/EncoderChoice.h"

#include <QTest>

Q_DECLARE_METATYPE(cv::Size)

// The settings chosen for a camera's pixel rate: the best compression that keeps 1.3 times
// ahead of the camera, the fastest settings where none does.
class EncoderChoiceTest : public QObject
{
    Q_OBJECT
private slots:
    void forCamera_data();
    void forCamera();
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

QTEST_GUILESS_MAIN(EncoderChoiceTest)
#include "tst_EncoderChoice.moc"
