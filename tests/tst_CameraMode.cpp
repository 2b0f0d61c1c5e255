#include "capture/CameraMode.h"

#include <QTest>

#include <opencv2/videoio.hpp>

class CameraModeTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void rejects_data();
    void rejects();
    void optionNotUnderstood();
    void grantedBy_data();
    void grantedBy();
    void fourccCodes();
};

void CameraModeTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("fps");
    QTest::addColumn<QString>("fourcc");
    QTest::addColumn<QString>("written");
    QTest::newRow("size and rate") << "1280x720@60" << 1280 << 720 << 60.0 << ""
                                   << "1280x720@60";
    QTest::newRow("with a pixel format") << "1280x720@60:MJPG" << 1280 << 720 << 60.0 << "MJPG"
                                         << "1280x720@60:MJPG";
    QTest::newRow("fractional rate") << "640x480@29.97:YUYV" << 640 << 480 << 29.97 << "YUYV"
                                     << "640x480@29.97:YUYV";
    QTest::newRow("grey sensor") << "1280x1024@200:GREY" << 1280 << 1024 << 200.0 << "GREY"
                                 << "1280x1024@200:GREY";
}

void CameraModeTest::parse()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, fps);
    QFETCH(QString, fourcc);
    QFETCH(QString, written);
    const auto mode = CameraMode::parse(text);
    QVERIFY(mode);
    QCOMPARE(mode->width, width);
    QCOMPARE(mode->height, height);
    QCOMPARE(mode->fps, fps);
    QCOMPARE(mode->fourcc, fourcc);
    QCOMPARE(mode->text(), written);
}

void CameraModeTest::rejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("no rate") << "1280x720";
    QTest::newRow("no size") << "@60";
    QTest::newRow("zero rate") << "1280x720@0";
    QTest::newRow("zero width") << "0x720@30";
    QTest::newRow("short FOURCC") << "1280x720@30:MJP";
    QTest::newRow("long FOURCC") << "1280x720@30:MJPEG";
    QTest::newRow("empty FOURCC") << "1280x720@30:";
    QTest::newRow("too large") << "99999x720@30";
    QTest::newRow("trailing text") << "1280x720@30 fps";
}

void CameraModeTest::rejects()
{
    QFETCH(QString, text);
    QVERIFY(!CameraMode::parse(text));
}

void CameraModeTest::optionNotUnderstood()
{
    QVERIFY(!CameraMode::fromOption(QString()));
    QTest::ignoreMessage(QtDebugMsg, "camera mode not understood, none set: \"1280x720\"");
    QVERIFY(!CameraMode::fromOption("1280x720"));
    QCOMPARE(CameraMode::fromOption("320x240@15")->text(), QString("320x240@15"));
}

void CameraModeTest::grantedBy_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("granted");
    QTest::newRow("exactly") << "1280x720@60:MJPG"
                             << "1280x720@60:MJPG" << true;
    QTest::newRow("any pixel format") << "1280x720@60"
                                      << "1280x720@60:YUYV" << true;
    QTest::newRow("interval rounded") << "640x480@29.97"
                                      << "640x480@30" << true;
    QTest::newRow("smaller size") << "1920x1080@30"
                                  << "1280x720@30" << false;
    QTest::newRow("lower rate") << "1280x720@60"
                                << "1280x720@30" << false;
    QTest::newRow("other pixel format") << "1280x720@60:MJPG"
                                        << "1280x720@60:YUYV" << false;
}

void CameraModeTest::grantedBy()
{
    QFETCH(QString, asked);
    QFETCH(QString, given);
    QFETCH(bool, granted);
    QCOMPARE(CameraMode::parse(asked)->grantedBy(*CameraMode::parse(given)), granted);
}

void CameraModeTest::fourccCodes()
{
    QCOMPARE(CameraMode::fourccCode("MJPG"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    QCOMPARE(CameraMode::fourccText(cv::VideoWriter::fourcc('Y', 'U', 'Y', 'V')), QString("YUYV"));
    // Backends without one report 0.
    QCOMPARE(CameraMode::fourccText(0), QString());
}

QTEST_APPLESS_MAIN(CameraModeTest)
#include "tst_CameraMode.moc"
