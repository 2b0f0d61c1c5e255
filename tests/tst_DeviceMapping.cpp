#include "capture/DeviceMapping.h"

#include <QTest>

#include <opencv2/videoio.hpp>

Q_DECLARE_METATYPE(DeviceMapping::Naming)

namespace {

// The list as the toolkit gives it: the capture nodes only, sorted by name as text.
QVector<PlatformCamera> listed(const QStringList &nodes)
{
    QVector<PlatformCamera> cameras;
    for (const QString &node : nodes)
        cameras.push_back({QStringLiteral("Camera on %1").arg(node), node});
    return cameras;
}

} // namespace

class DeviceMappingTest : public QObject
{
    Q_OBJECT
private slots:
    void opensTheNamedDevice_data();
    void opensTheNamedDevice();
    void nothingToOpen_data();
    void nothingToOpen();
};

void DeviceMappingTest::opensTheNamedDevice_data()
{
    QTest::addColumn<DeviceMapping::Naming>("naming");
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("deviceIndex");
    QTest::addColumn<int>("backend");
    QTest::addColumn<QString>("text");

    const auto nodes = DeviceMapping::Naming::DeviceNodes;
    // Two UVC cameras make /dev/video0..3; the metadata nodes 1 and 3 are not listed.
    const QStringList twoWebcams = {"/dev/video0", "/dev/video2"};
    QTest::newRow("first of two webcams")
        << nodes << twoWebcams << 0 << "/dev/video0" << -1 << int(cv::CAP_V4L2) << "/dev/video0";
    QTest::newRow("second of two webcams, not the first one's metadata node")
        << nodes << twoWebcams << 1 << "/dev/video2" << -1 << int(cv::CAP_V4L2) << "/dev/video2";
    const QStringList manyNodes = {"/dev/video0", "/dev/video10", "/dev/video2"};
    QTest::newRow("video10 sorts before video2")
        << nodes << manyNodes << 1 << "/dev/video10" << -1 << int(cv::CAP_V4L2) << "/dev/video10";
    QTest::newRow("video2 after video10")
        << nodes << manyNodes << 2 << "/dev/video2" << -1 << int(cv::CAP_V4L2) << "/dev/video2";
    // A laptop's colour and infrared cameras take video0..3, each with its metadata node.
    const QStringList laptopAndUsb = {"/dev/video0", "/dev/video2", "/dev/video4"};
    QTest::newRow("laptop cameras plus a USB camera")
        << nodes << laptopAndUsb << 2 << "/dev/video4" << -1 << int(cv::CAP_V4L2) << "/dev/video4";
    QTest::newRow("a udev link by id")
        << nodes << QStringList{"/dev/v4l/by-id/usb-Cam-video-index0"} << 0
        << "/dev/v4l/by-id/usb-Cam-video-index0" << -1 << int(cv::CAP_V4L2)
        << "/dev/v4l/by-id/usb-Cam-video-index0";

    const auto indices = DeviceMapping::Naming::Indices;
    QTest::newRow("elsewhere: the position is the index")
        << indices << QStringList{"{guid-a}", "{guid-b}"} << 1 << "" << 1 << int(cv::CAP_ANY)
        << "camera index 1";
}

void DeviceMappingTest::opensTheNamedDevice()
{
    QFETCH(DeviceMapping::Naming, naming);
    QFETCH(QStringList, nodes);
    QFETCH(int, position);
    QFETCH(QString, path);
    QFETCH(int, deviceIndex);
    QFETCH(int, backend);
    QFETCH(QString, text);
    const CaptureDevice device = DeviceMapping::forCamera(listed(nodes), position, naming);
    QCOMPARE(device.unavailable, QString());
    QCOMPARE(QString::fromStdString(device.path), path);
    QCOMPARE(device.deviceIndex, deviceIndex);
    QCOMPARE(device.backend, backend);
    QCOMPARE(device.text(), text);
    // Only V4L2 stamps its buffers on the monotonic clock.
    QCOMPARE(device.monotonicFrameTimes, backend == cv::CAP_V4L2);
}

void DeviceMappingTest::nothingToOpen_data()
{
    QTest::addColumn<DeviceMapping::Naming>("naming");
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("why");

    const auto nodes = DeviceMapping::Naming::DeviceNodes;
    const auto indices = DeviceMapping::Naming::Indices;
    QTest::newRow("empty list, as the window sends it")
        << nodes << QStringList() << -1 << "camera -1 is not among the 0 cameras listed";
    QTest::newRow("empty list, first position")
        << indices << QStringList() << 0 << "camera 0 is not among the 0 cameras listed";
    QTest::newRow("beyond the list")
        << nodes << QStringList{"/dev/video0"} << 1 << "camera 1 is not among the 1 cameras listed";
    QTest::newRow("a name that is no device node")
        << nodes << QStringList{"usb-camera"} << 0
        << "camera 0 names no device node: \"usb-camera\"";
    QTest::newRow("a node that is no video node")
        << nodes << QStringList{"/dev/shm/clip.avi"} << 0
        << "camera 0 names no device node: \"/dev/shm/clip.avi\"";
    QTest::newRow("no name at all")
        << nodes << QStringList{""} << 0 << "camera 0 names no device node: \"\"";
}

void DeviceMappingTest::nothingToOpen()
{
    QFETCH(DeviceMapping::Naming, naming);
    QFETCH(QStringList, nodes);
    QFETCH(int, position);
    QFETCH(QString, why);
    const CaptureDevice device = DeviceMapping::forCamera(listed(nodes), position, naming);
    QCOMPARE(device.unavailable, why);
    QVERIFY(device.path.empty());
}

QTEST_APPLESS_MAIN(DeviceMappingTest)
#include "tst_DeviceMapping.moc"
