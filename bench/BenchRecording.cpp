#include "bench/BenchRecording.h"

#include "bench/ProcessUsage.h"
#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/CvVideoSink.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

BenchRecording::BenchRecording(const QString &sourceText, Sink sink, const QString &folder,
                               std::optional<H264Settings> settings,
                               std::shared_ptr<EncoderSpeeds> speeds)
    : folder(folder), recorder(new Recorder)
{
    qRegisterMetaType<IplImage *>("IplImage*");
    recorder->setSourceFactory(
        [sourceText](int camID) { return CameraSources({}, {sourceText}).open(camID); });
    if (sink == Sink::Cv)
        recorder->setSinkFactory([] { return std::make_unique<CvVideoSink>(); });
    else if (settings)
        recorder->setSinkFactory(
            [settings] { return std::make_unique<FfmpegVideoSink>(*settings); });
    else
        recorder->setSinkFactory([speeds] {
            auto ffmpeg = std::make_unique<FfmpegVideoSink>();
            if (speeds)
                ffmpeg->chooseFrom(speeds);
            return ffmpeg;
        });
    recorder->setFolderAddress(folder);
    recorder->moveToThread(&thread);
    connect(this, &BenchRecording::recordRequested, recorder, &Recorder::record);
    connect(this, &BenchRecording::stopRequested, recorder, &Recorder::stop);
    connect(recorder, &Recorder::frameAvailable, &drawer, &PreviewDrawer::showFrame);
    thread.start();
}

BenchRecording::~BenchRecording()
{
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void BenchRecording::measureEyelid(QRect region)
{
    QMetaObject::invokeMethod(recorder, "setEyelidRegion", Q_ARG(QRect, region));
}

BenchRecording::Result BenchRecording::record(double seconds)
{
    Result result;
    QEventLoop waiting;
    connect(recorder, &Recorder::recorded, &waiting, [&](bool successful) {
        result.successful = successful;
        waiting.quit();
    });
    const double cpuBefore = ProcessUsage::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    emit recordRequested(0);
    if (seconds > 0)
        QTimer::singleShot(int(seconds * 1000), this, &BenchRecording::stopRequested);
    waiting.exec();
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.cpuSeconds = ProcessUsage::cpuSeconds() - cpuBefore;
    result.peakResidentBytes = ProcessUsage::peakResidentBytes();
    result.previewsDrawn = drawer.drawn();
    const QDir files(folder);
    const QString base = files.entryList({"*.txt"}, QDir::Files, QDir::Name).value(0).chopped(4);
    result.videoFile = files.filePath(base + ".avi");
    result.textFile = files.filePath(base + ".txt");
    result.runRecordFile = files.filePath(base + ".json");
    return result;
}
