#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/CvVideoSink.h"
#include "encode/EncoderChoice.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/PreviewFrame.h"
#include "engine/Recorder.h"
#include "tests/support/MessageLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

enum Camera { Even, Odd };
enum Sink { Ffmpeg, Cv, RefusingH264 };
const QStringList cameraTexts = {"test:320x240@30", "test:321x241@30"};

} // namespace

// How the recorder opens a recording's video file: the codes it tries, and the one line it
// writes when the file itself cannot be created.
class RecorderVideoFileTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opening_data();
    void opening();

private:
    std::unique_ptr<QTemporaryDir> folder;
    QThread thread;
    Recorder *recorder = nullptr;
    std::atomic<int> results{0};
    std::atomic<bool> lastResult{false};
    std::atomic<bool> recording{false};
};

void RecorderVideoFileTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    QFile blocker(folder->filePath("file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    results = 0;
    recording = false;
    recorder = new Recorder;
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory(
        [](int camera) { return CameraSources({}, cameraTexts).open(camera); });
    recorder->moveToThread(&thread);
    connect(
        recorder, &Recorder::recorded, recorder,
        [this](bool successful) {
            lastResult = successful;
            ++results;
        },
        Qt::DirectConnection);
    connect(recorder, &Recorder::frameAvailable, recorder, &PreviewFrame::giveBack,
            Qt::DirectConnection);
    connect(
        recorder, &Recorder::timeChanged, recorder, [this] { recording = true; },
        Qt::DirectConnection);
    thread.start();
}

void RecorderVideoFileTest::cleanup()
{
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    folder.reset();
}

void RecorderVideoFileTest::opening_data()
{
    QTest::addColumn<int>("sink");
    QTest::addColumn<QString>("subfolder");
    QTest::addColumn<int>("camera");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("opens");

    const QStringList missing = {"Video file create failed: No such file or directory",
                                 "Video file open failed"};
    QTest::newRow("missing folder") << int(Ffmpeg) << "missing" << int(Even) << missing << false;
    QTest::newRow("folder is a file")
        << int(Ffmpeg) << "file" << int(Even)
        << QStringList{"Video file create failed: Not a directory", "Video file open failed"}
        << false;
    QTest::newRow("missing folder, the video library's writer")
        << int(Cv) << "missing" << int(Even) << missing << false;
    // Settings the encoder does not know: every H.264 code is refused, and Motion JPEG takes
    // the frames.
    const QString refused = "Video encoder open failed";
    QTest::newRow("H.264 refused")
        << int(RefusingH264) << "" << int(Even)
        << QStringList{refused, refused, refused, refused, "Cannot find chosen codec"} << true;
    QTest::newRow("H.264 refused and missing folder")
        << int(RefusingH264) << "missing" << int(Even)
        << QStringList{refused,
                       refused,
                       refused,
                       refused,
                       "Cannot find chosen codec",
                       "Video file create failed: No such file or directory",
                       "Video file open failed"}
        << false;
    // Odd sides stay H.264, at the camera's size: the first code is taken.
    const EncoderChoice choice =
        EncoderChoice::forCamera({321, 241}, 30, false, QThread::idealThreadCount());
    QTest::newRow("odd size")
        << int(Ffmpeg) << "" << int(Odd)
        << QStringList{"Video frame size 321x241 has an odd side: H.264 in 4:4:4 at that size",
                       "Video encoding: " + choice.reason}
        << true;
}

void RecorderVideoFileTest::opening()
{
    QFETCH(int, sink);
    QFETCH(QString, subfolder);
    QFETCH(int, camera);
    QFETCH(QStringList, messages);
    QFETCH(bool, opens);
    const QString where = subfolder.isEmpty() ? folder->path() : folder->filePath(subfolder);
    Recorder *target = recorder;
    QMetaObject::invokeMethod(
        recorder,
        [=] {
            if (sink == Cv)
                target->setSinkFactory([] { return std::make_unique<CvVideoSink>(); });
            if (sink == RefusingH264)
                target->setSinkFactory([] {
                    H264Settings unknown;
                    unknown.preset = "no such preset";
                    return std::make_unique<FfmpegVideoSink>(unknown);
                });
            target->setFolderAddress(where);
        },
        Qt::BlockingQueuedConnection);

    MessageLog log;
    QMetaObject::invokeMethod(recorder, [=] { target->record(camera); });
    if (opens) {
        QTRY_VERIFY_WITH_TIMEOUT(recording || results > 0, 20000);
        QMetaObject::invokeMethod(recorder, [=] { target->stop(); });
    }
    QTRY_COMPARE_WITH_TIMEOUT(results.load(), 1, 20000);
    QCOMPARE(lastResult.load(), opens);
    QCOMPARE(log.ofOtherThreads(), messages);
    const QStringList left = QDir(folder->path()).entryList(QDir::Files);
    QCOMPARE(left.size(), opens ? 4 : 1);
}

QTEST_GUILESS_MAIN(RecorderVideoFileTest)
#include "tst_RecorderVideoFile.moc"
