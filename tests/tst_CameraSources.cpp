#include "CameraSources.h"
#include "CvVideoSink.h"
#include "FrameSource.h"
#include "RecordingFiles.h"
#include "TestCamera.h"

#include <QTemporaryDir>
#include <QTest>

#include <opencv2/videoio.hpp>

// Cameras as the platform lists them on a machine whose devices are all missing.
QVector<PlatformCamera> listedCameras(int count)
{
    QVector<PlatformCamera> cameras;
    for (int i = 0; i < count; ++i)
        cameras.push_back({QStringLiteral("Camera %1").arg(i), QStringLiteral("/dev/video%1").arg(2 * i)});
    return cameras;
}

class CameraSourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cameraNumbers_data();
    void cameraNumbers();
    void videoFileIsReadOnDemand();
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

// This machine has no camera: a device index opens nothing, a named source opens.
void CameraSourcesTest::cameraNumbers_data()
{
    QTest::addColumn<int>("platformCameras");
    QTest::addColumn<int>("cameraNumber");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("width");
    QTest::newRow("no platform camera: first source") << 0 << 0 << true << 800;
    QTest::newRow("no platform camera: second source") << 0 << 1 << true << 320;
    QTest::newRow("platform camera keeps its device index") << 2 << 1 << false << 0;
    QTest::newRow("sources follow the platform cameras") << 2 << 2 << true << 800;
    QTest::newRow("beyond the list: a device index") << 0 << 3 << false << 0;
    QTest::newRow("empty list: any camera") << 0 << -1 << false << 0;
    QTest::newRow("malformed test camera opens nothing") << 0 << 2 << false << 0;
}

void CameraSourcesTest::cameraNumbers()
{
    QFETCH(int, platformCameras);
    QFETCH(int, cameraNumber);
    QFETCH(bool, opened);
    QFETCH(int, width);
    const CameraSources sources(listedCameras(platformCameras),
                                {"test:800x600@30", videoFile, "test:1x1@30"});
    const std::unique_ptr<FrameSource> source = sources.open(cameraNumber);
    QVERIFY(source);
    QCOMPARE(source->isOpened(), opened);
    if (opened)
        QCOMPARE(source->frameSize().width, width);
}

void CameraSourcesTest::videoFileIsReadOnDemand()
{
    const std::unique_ptr<FrameSource> source = CameraSources({}, {videoFile}).open(0);
    QVERIFY(source->isOpened());
    QVERIFY(source->deliversOnDemand());
    QCOMPARE(source->frameSize(), cv::Size(320, 240));
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

void CameraSourcesTest::displayNames()
{
    const CameraSources sources(
        listedCameras(1), {"test", "test:1280x720@60:frames=10", "rtsp://camera/stream", "test:bad"});
    QCOMPARE(sources.displayNames(), QStringList({"Camera 0", "Test camera 640x480 @ 30 fps",
                                                  "Test camera 1280x720 @ 60 fps, 10 frames",
                                                  "rtsp://camera/stream", "test:bad"}));
}

QTEST_APPLESS_MAIN(CameraSourcesTest)
#include "tst_CameraSources.moc"
