#include "Recorder.h"

#include "FfmpegVideoSink.h"
#include "FrameReader.h"
#include "RecordingNames.h"

#include <QDebug>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <utility>

namespace {

constexpr double declaredFps = 30.0;

constexpr int previewsInFlight = 2;
constexpr qint64 defaultMinimumFreeSpace = 64 * 1024 * 1024;

// At least two seconds of frames may wait for the writer, which rides out the encoder's
// longest stalls, as far as the writer queue's bytes allow; a source that does not know its
// rate is taken as 30 fps, one that declares more than any camera has (streams say 90000) as
// 1000.
int queueCapacity(double fps)
{
    return qCeil(2.0 * qBound(30.0, fps, 1000.0));
}

} // namespace

Recorder::Recorder(QObject *parent)
    : QObject(parent), minimumFreeSpace(defaultMinimumFreeSpace),
      openSource([](int) { return std::unique_ptr<FrameSource>(); }),
      makeSink([] { return std::make_unique<FfmpegVideoSink>(); }), clock(&MonotonicClock::now),
      now([] { return std::time(nullptr); })
{
}

Recorder::~Recorder()
{
    qDebug("BD: destructor");
    // The shell may delete a recorder whose recording was cut short; its files are completed
    // all the same.
    if (recording)
        closeOutputs();
}

void Recorder::setSourceFactory(SourceFactory factory)
{
    openSource = std::move(factory);
}

void Recorder::setSinkFactory(SinkFactory factory)
{
    makeSink = std::move(factory);
}

void Recorder::setClock(Clock readClock)
{
    clock = std::move(readClock);
}

void Recorder::setNow(Now readNow)
{
    now = std::move(readNow);
}

void Recorder::setMinimumFreeSpace(qint64 bytes)
{
    minimumFreeSpace = bytes;
}

MonotonicClock::time_point Recorder::recordingClockStart() const
{
    return MonotonicClock::time_point(MonotonicClock::duration(recordTime.load()));
}

void Recorder::setFolderAddress(QString newAddress)
{
    folderAddress = newAddress.toStdString().c_str();
}

void Recorder::record(int camID)
{
    if (recording) {
        // Never two captures at once: this one starts when the running one has ended.
        deferredRecords.push_back(camID);
        return;
    }
    frameCount = 0;
    lostFrames = 0;
    lastSeconds = -1;
    stopFlag = false;
    makeFileNames();
    if (!openOutputs(camID)) {
        closeOutputs();
        stopFlag = true;
        emit recorded(false);
        return;
    }
    volume.setPath(QString::fromStdString(textFileName));
    recording = true;
    const MonotonicClock::time_point start = clock();
    recordTime = start.time_since_epoch().count();
    timeline.emplace(start, capture->frameRate(), !capture->deliversOnDemand());
    postIteration();
}

void Recorder::stop()
{
    stopFlag = true;
}

void Recorder::quit()
{
    qDebug("BD: quit");
    if (!recording) {
        emit finished();
        qDebug("BD: finish emitted");
        return;
    }
    // Also while ending: the last iteration then answers its record before finished().
    stopFlag = true;
    finishFlag = true;
    qDebug("BD: setting bools true");
}

void Recorder::loop()
{
    // A fresh buffer every time: earlier frames may still wait for the writer or the window.
    FrameSource::Frame frame;
    const FrameSource::Result result = capture->readFrame(frame);
    const MonotonicClock::time_point arrival = clock();
    if (result != FrameSource::Result::Frame) {
        endAtSourceEnd(result);
        return;
    }
    takeFrame(frame, arrival);
    lendPreview(frame.pixels);
    const bool newSecond = showElapsedTime();
    if (outputsFailed(newSecond)) {
        endRecording(false);
        return;
    }
    if (!stopFlag) {
        postIteration();
        return;
    }
    endRecording(true);
}

void Recorder::makeFileNames()
{
    const RecordingNames names(folderAddress, RecordingNames::stamp(now()));
    videoFileName = names.videoFileName();
    textFileName = names.textFileName();
}

bool Recorder::openOutputs(int camID)
{
    capture = std::make_unique<FrameReader>([open = openSource, camID] { return open(camID); });
    const cv::Size frameSize = capture->isOpened() ? capture->frameSize() : cv::Size();
    if (frameSize.empty()) {
        qDebug("Camera open failed");
        return false;
    }
    if (!openVideoWriter(frameSize))
        return false;
    textFile.open(textFileName);
    if (!textFile.is_open()) {
        qDebug("Output file open failed");
        return false;
    }
    return true;
}

bool Recorder::openVideoWriter(cv::Size frameSize)
{
    std::unique_ptr<VideoSink> sink = makeSink();
    sink->setCameraRate(capture->frameRate());
    const auto openWith = [&](int code) {
        return sink->open(videoFileName, code, declaredFps, frameSize, true);
    };
    // A file that cannot be created is no fault of the codec: no other code is tried for it.
    const auto codecRefused = [&](int code) {
        return !openWith(code) && sink->openFailure() == VideoSink::OpenFailure::Codec;
    };
    if (std::all_of(VideoCodes::h264.begin(), VideoCodes::h264.end(), codecRefused)) {
        qDebug("Cannot find chosen codec");
        // The platform's choice fails where there is no codec dialog; MJPG is always built in.
        if (codecRefused(VideoCodes::platformChoice))
            openWith(VideoCodes::mjpg);
    }
    if (!sink->isOpened()) {
        qDebug("Video file open failed");
        return false;
    }
    writer.start(std::move(sink), queueCapacity(capture->frameRate()));
    return true;
}

void Recorder::postIteration()
{
    QTimer::singleShot(0, this, &Recorder::loop);
}

void Recorder::endAtSourceEnd(FrameSource::Result result)
{
    if (result == FrameSource::Result::Ended) {
        // A file played to its end: a complete recording, as on a stop.
        qDebug("source ended");
        endRecording(true);
        return;
    }
    qDebug("capture error");
    endRecording(false);
}

void Recorder::takeFrame(const FrameSource::Frame &frame, MonotonicClock::time_point arrival)
{
    const FrameTimeline::Placement placement = timeline->place(frame, arrival);
    lostFrames += placement.lostBefore;
    if (capture->deliversOnDemand()) {
        writer.push(frame.pixels);
    } else if (!writer.tryPush(frame.pixels)) {
        // Lost: it gets no line, so that the lines still match the video's frames one to one.
        ++lostFrames;
        return;
    }
    writeLine(placement.milliseconds);
}

void Recorder::writeLine(qint64 milliseconds)
{
    textFile << frameCount << ' ' << milliseconds << '\n' << std::flush;
    ++frameCount;
}

void Recorder::lendPreview(const cv::Mat &frame)
{
    if (IplImage *image = PreviewFrame::lend(frame, previewsLent, previewsInFlight))
        emit frameAvailable(image);
}

bool Recorder::showElapsedTime()
{
    const qint64 elapsed =
        std::chrono::floor<std::chrono::milliseconds>(clock() - recordingClockStart()).count();
    const int seconds = int(elapsed / 1000);
    if (seconds == lastSeconds)
        return false;
    lastSeconds = seconds;
    emit timeChanged(RecordingNames::elapsedText(elapsed));
    return true;
}

bool Recorder::outputsFailed(bool newSecond)
{
    if (!textFile) {
        qDebug("Output file write failed");
        return true;
    }
    // Asked once a second: often enough to end well before the volume is full.
    if (newSecond) {
        volume.refresh();
        if (volume.isValid() && volume.bytesAvailable() < minimumFreeSpace) {
            qDebug("Disk space low");
            return true;
        }
    }
    return writer.hasFailed();
}

void Recorder::endRecording(bool successful)
{
    stopFlag = true;
    recording = false;
    if (!closeOutputs())
        successful = false;
    if (lostFrames > 0) {
        qDebug("frames lost: %d", lostFrames);
        successful = false;
    }
    emit recorded(successful);
    if (finishFlag) {
        for (std::size_t i = 0; i < deferredRecords.size(); ++i)
            emit recorded(false);
        deferredRecords.clear();
        emit finished();
        qDebug("BD: finish emitted");
        return;
    }
    while (!recording && !deferredRecords.empty()) {
        const int camID = deferredRecords.front();
        deferredRecords.pop_front();
        record(camID);
    }
}

bool Recorder::closeOutputs()
{
    const bool videoComplete = writer.finish();
    if (!videoComplete)
        qDebug("Video file write failed");
    if (capture)
        capture->release();
    const bool textComplete = textFile.is_open() && textFile.good();
    textFile.close();
    return videoComplete && textComplete && !textFile.fail();
}
