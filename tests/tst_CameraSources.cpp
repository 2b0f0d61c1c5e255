#include "capture/CameraSources.h"
#include "capture/DeviceMapping.h"
#include "capture/FrameSource.h"
#include "capture/TestCamera.h"
#include "capture/VideoCaptureSource.h"
#include "encode/CvVideoSink.h"
#include "tests/support/RecordingFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <opencv2/videoio.hpp>

// Cameras as the platform lists them on a machine whose devices are all missing.
QVector<PlatformCamera> listedCameras(int count)
{
    QVector<PlatformCamera> cameras;
    for (int i = 0; i < count; ++i)
        cameras.push_back(
            {QStringLiteral("Camera %1").arg(i), QStringLiteral("/dev/video%1").arg(2 * i)});
    return cameras;
}

class CameraSourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cameraNumbers_data();
    void cameraNumbers();
    void platformCameraDevices();
    void emptyList();
    void cameraModeReadBack();
    void videoFileIsReadOnDemand();
    void backendBySourceText_data();
    void backendBySourceText();
    void displayNames();

private:
    QTemporaryDir folder;
    QString videoFile;
};

void CameraSourcesTest::initTestCase()
{
    QVERIFY(folder.isValid());
    videoFile = folder.filePath("clip.avi");
    TestCamera camera(*TestCamera::Settings::parse("test:320x240@0:frames=6"));
    CvVideoSink sink;
    QVERIFY(sink.open(videoFile.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0,
                      {320, 240}, true));
    cv::Mat frame;
    while (camera.read(frame))
        QVERIFY(sink.write(frame));
    QVERIFY(sink.release());
}

Q_DECLARE_METATYPE(FrameSource::TimeSource)

enum class Opens { Source, UnopenedDevice, Nothing };
Q_DECLARE_METATYPE(Opens)

// This machine has no camera: a listed device opens nothing, a named source opens, and a
// number outside the list names nothing at all.
void CameraSourcesTest::cameraNumbers_data()
{
    QTest::addColumn<int>("platformCameras");
    QTest::addColumn<int>("cameraNumber");
    QTest::addColumn<Opens>("opens");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("why");
    QTest::newRow("no platform camera: first source") << 0 << 0 << Opens::Source << 800 << "";
    QTest::newRow("no platform camera: second source") << 0 << 1 << Opens::Source << 320 << "";
    QTest::newRow("platform camera: its own device") << 2 << 1 << Opens::UnopenedDevice << 0 << "";
    QTest::newRow("sources follow the platform cameras") << 2 << 2 << Opens::Source << 800 << "";
    QTest::newRow("beyond the list")
        << 0 << 4 << Opens::Nothing << 0 << "camera 4 is not in the list";
    QTest::newRow("negative: no camera at all")
        << 0 << -1 << Opens::Nothing << 0 << "camera -1 is not in the list";
    QTest::newRow("malformed test camera opens nothing")
        << 0 << 2 << Opens::UnopenedDevice << 0 << "";
    QTest::newRow("a device node named as a source") << 0 << 3 << Opens::UnopenedDevice << 0 << "";
}

void CameraSourcesTest::cameraNumbers()
{
    QFETCH(int, platformCameras);
    QFETCH(int, cameraNumber);
    QFETCH(Opens, opens);
    QFETCH(int, width);
    QFETCH(QString, why);
    if (!why.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(why));
    const CameraSources sources(listedCameras(platformCameras),
                                {"test:800x600@30", videoFile, "test:1x1@30", "/dev/video63"});
    const std::unique_ptr<FrameSource> source = sources.open(cameraNumber);
    QCOMPARE(bool(source), opens != Opens::Nothing);
    if (!source)
        return;
    QCOMPARE(source->isOpened(), opens == Opens::Source);
    if (opens == Opens::Source)
        QCOMPARE(source->frameSize().width, width);
}

// Cameras are opened as the list names them, through V4L2 on Linux; a listed camera whose
// device cannot be told opens nothing.
void CameraSourcesTest::platformCameraDevices()
{
    const CameraSources sources({{"Webcam", "/dev/video62"}, {"Odd camera", "usb-camera"}}, {});
    const std::unique_ptr<FrameSource> webcam = sources.open(0);
    QVERIFY(webcam);
    const FrameSource::Description facts = webcam->description();
    QCOMPARE(facts.listText, QString("Webcam"));
    if (DeviceMapping::native() == DeviceMapping::Naming::DeviceNodes) {
        QCOMPARE(facts.device, QString("/dev/video62"));
        QTest::ignoreMessage(QtDebugMsg, "camera 1 names no device node: \"usb-camera\"");
        QVERIFY(!sources.open(1));
    } else {
        QCOMPARE(facts.device, QString("camera index 0"));
    }
}

// What the window asks for when it lists no camera.
void CameraSourcesTest::emptyList()
{
    QTest::ignoreMessage(QtDebugMsg, "no camera chosen: the camera list is empty");
    QVERIFY(!CameraSources({}, {}).open(-1));
    QVERIFY(!CameraSources({}, {}).open(0));
}

void CameraSourcesTest::videoFileIsReadOnDemand()
{
    const std::unique_ptr<FrameSource> source = CameraSources({}, {videoFile}).open(0);
    QVERIFY(source->isOpened());
    QVERIFY(source->deliversOnDemand());
    QCOMPARE(source->frameSize(), cv::Size(320, 240));
    QCOMPARE(source->description().timeSource, FrameSource::TimeSource::Camera);
    QCOMPARE(source->description().backend, QString("FFMPEG"));
    cv::Mat first;
    cv::Mat second;
    QVERIFY(source->read(first));
    QVERIFY(source->read(second));
    // Each read has pixels of its own: the first frame is not refilled by the second read.
    QCOMPARE(FramePattern::read(first)->index, 0u);
    QCOMPARE(FramePattern::read(second)->index, 1u);
    int more = 0;
    while (source->read(second))
        ++more;
    QCOMPARE(more, 4);
    QVERIFY(second.empty());
}

void CameraSourcesTest::backendBySourceText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("backend");
    QTest::addColumn<FrameSource::TimeSource>("timeSource");
#ifdef EYEBLINK_GSTREAMER_PIPELINES
    // Pipelines keep their buffers' capture times.
    QTest::newRow("pipeline") << "videotestsrc is-live=true ! video/x-raw,width=320,height=240,"
                                 "framerate=30/1 ! videoconvert ! appsink"
                              << "GStreamer appsink" << FrameSource::TimeSource::Camera;
#endif
    QTest::newRow("video file") << videoFile << "FFMPEG" << FrameSource::TimeSource::Camera;
    QTest::newRow("test camera") << "test:320x240@30"
                                 << "test camera" << FrameSource::TimeSource::Camera;
}

// Each source text goes to the backend that reads it best.
void CameraSourcesTest::backendBySourceText()
{
    QFETCH(QString, text);
    QFETCH(QString, backend);
    QFETCH(FrameSource::TimeSource, timeSource);
    const std::unique_ptr<FrameSource> source = CameraSources({}, {text}).open(0);
    QVERIFY(source);
    QVERIFY(source->isOpened());
    QCOMPARE(source->frameSize(), cv::Size(320, 240));
    const FrameSource::Description facts = source->description();
    QCOMPARE(facts.backend, backend);
    QCOMPARE(facts.timeSource, timeSource);
    QCOMPARE(facts.device, text);
}

void CameraSourcesTest::displayNames()
{
    const CameraSources sources(listedCameras(1), {"test", "test:1280x720@60:frames=10",
                                                   "rtsp://camera/stream", "test:bad"});
    QCOMPARE(sources.displayNames(), QStringList({"Camera 0", "Test camera 640x480 @ 30 fps",
                                                  "Test camera 1280x720 @ 60 fps, 10 frames",
                                                  "rtsp://camera/stream", "test:bad"}));
}

// A video file stands in for a camera: its backend takes no mode, and says what it gives.
void CameraSourcesTest::cameraModeReadBack()
{
    CaptureDevice device;
    device.path = videoFile.toStdString();
    device.backend = cv::CAP_FFMPEG;
    QTest::ignoreMessage(QtDebugMsg,
                         "camera mode refused: asked 1280x720@60:YUYV, given 320x240@30:MJPG");
    VideoCaptureSource camera(device, "Stand-in camera", CameraMode::parse("1280x720@60:YUYV"));
    QVERIFY(camera.isOpened());
    QCOMPARE(camera.frameSize(), cv::Size(320, 240));
    const FrameSource::Description facts = camera.description();
    QCOMPARE(facts.listText, QString("Stand-in camera"));
    QCOMPARE(facts.device, videoFile);
    QCOMPARE(facts.backend, QString("FFMPEG"));
    QCOMPARE(facts.pixelFormat, QString("MJPG"));
    QCOMPARE(facts.timeSource, FrameSource::TimeSource::Arrival);
}

QTEST_APPLESS_MAIN(CameraSourcesTest)
#include "tst_CameraSources.moc"
