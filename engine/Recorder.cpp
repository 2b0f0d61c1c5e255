#include "engine/Recorder.h"

#include "capture/FrameReader.h"
#include "common/FrameMemory.h"
#include "encode/CodecFallback.h"
#include "engine/ElapsedText.h"
#include "runrecord/RecordingNames.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int previewsInFlight = 2;

qint64 fileSize(const std::string &fileName)
{
    return QFileInfo(QString::fromStdString(fileName)).size();
}

} // namespace

Recorder::Recorder(QObject *parent)
    : QObject(parent), openSource([](int) { return std::unique_ptr<FrameSource>(); }),
      makeSink([] { return std::unique_ptr<VideoSink>(); }), clock(&MonotonicClock::now),
      now([] { return std::time(nullptr); })
{
    connect(&eyelid, &EyelidRecording::closureMeasured, this, &Recorder::closureMeasured);
    connect(&eyelid, &EyelidRecording::thresholdChosen, this, &Recorder::eyelidThresholdChosen);
    connect(&writer, &WriterQueue::saving, this, &Recorder::saving);
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
    space.margin().setFloor(bytes);
}

void Recorder::setEyelidThreshold(std::optional<EyelidThreshold> threshold)
{
    eyelid.setThreshold(threshold);
}

void Recorder::setEyelidRegion(QRect box)
{
    eyelid.setRegion(box);
}

MonotonicClock::time_point Recorder::recordingClockStart() const
{
    return MonotonicClock::time_point(MonotonicClock::duration(recordTime.load()));
}

void Recorder::setFolderAddress(QString newAddress)
{
    folderAddress = newAddress.toStdString().c_str();
    runRecord.events().folderChanged();
}

void Recorder::record(int camID)
{
    if (recording) {
        // Never two captures at once: this one starts when the running one has ended.
        deferredRecords.push_back(camID);
        return;
    }
    lostFrames = 0;
    lastSeconds = -1;
    stopFlag = false;
    makeFileNames();
    runRecord.asked(QString::fromStdString(runRecordFileName),
                    QString::fromStdString(spillFileName));
    if (const std::optional<QString> failure = openOutputs(camID)) {
        closeOutputs();
        stopFlag = true;
        // The events told for this record belong to no recording.
        runRecord.events().folderChanged();
        emit resultExplained(*failure);
        emit recorded(false);
        return;
    }
    recording = true;
    const MonotonicClock::time_point start = clock();
    recordTime = start.time_since_epoch().count();
    emit recordingClockStarted();
    timeline.emplace(start, capture->frameRate(), !capture->deliversOnDemand());
    previewPace.restart();
    runRecord.setEyelid(eyelid.start(eyelidTableFileName, frameSize));
    runRecord.started(capture->description(), frameSize, declaredFps, start);
    space.margin().noteRunRecord(fileSize(runRecordFileName));
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

void Recorder::noteRunEvent(QString event, qint64 monotonicMs, QString detail)
{
    runRecord.events().note({event, RunEvents::fromMilliseconds(monotonicMs), detail});
}

void Recorder::noteRunEventNs(QString event, qint64 monotonicNs, QString detail)
{
    const MonotonicClock::time_point time(std::chrono::duration_cast<MonotonicClock::duration>(
        std::chrono::nanoseconds(monotonicNs)));
    runRecord.events().note({event, time, detail});
}

void Recorder::loop()
{
    // A fresh buffer every time: earlier frames may still wait for the writer or the window.
    FrameSource::Frame frame;
    const FrameSource::Result result = capture->readFrame(frame);
    const MonotonicClock::time_point arrival = clock();
    if (result != FrameSource::Result::Frame) {
        endRecording(Ending::ofSource(result), arrival);
        return;
    }
    if (const std::optional<Ending> ending = Ending::ofSizeChange(frameSize, frame.pixels.size())) {
        endRecording(*ending, arrival);
        return;
    }
    takeFrame(frame, arrival);
    lineFile.writeConfirmed(writer.framesInFile());
    eyelid.writeConfirmed(writer.framesInFile());
    lendPreview(frame.pixels, arrival);
    const std::optional<MonotonicClock::duration> newSecond = showElapsedTime();
    if (const std::optional<Ending> ending = outputsFailed(newSecond)) {
        endRecording(*ending, arrival);
        return;
    }
    if (!stopFlag) {
        postIteration();
        return;
    }
    endRecording(requestedEnding(), arrival);
}

void Recorder::makeFileNames()
{
    const RecordingNames names(folderAddress, RecordingNames::stamp(now()));
    videoFileName = names.videoFileName();
    textFileName = names.textFileName();
    runRecordFileName = names.runRecordFileName();
    eyelidTableFileName = names.eyelidTableFileName();
    spillFileName = names.spillFileName();
}

std::optional<QString> Recorder::openOutputs(int camID)
{
    capture = std::make_unique<FrameReader>([open = openSource, camID] { return open(camID); });
    frameSize = capture->isOpened() ? capture->frameSize() : cv::Size();
    if (frameSize.empty()) {
        qDebug("Camera open failed");
        return QStringLiteral("camera %1 did not open").arg(sourceName(camID));
    }
    // Asked before the first frame and once a second while recording: often enough to end well
    // before the volume is full.
    space.restart(QFileInfo(QString::fromStdString(textFileName)).absolutePath());
    if (std::optional<QString> low = space.low())
        return low;
    if (std::optional<QString> failure = openVideoWriter(frameSize))
        return failure;
    if (!lineFile.open(textFileName)) {
        qDebug("Output file open failed");
        return QStringLiteral("the text file could not be created");
    }
    return std::nullopt;
}

std::optional<QString> Recorder::openVideoWriter(cv::Size size)
{
    std::unique_ptr<VideoSink> sink = makeSink();
    if (!sink) {
        qDebug("Video file open failed");
        return QStringLiteral("no video writer was given");
    }
    sink->setCameraRate(capture->frameRate());
    if (std::optional<QString> failure =
            CodecFallback::open(*sink, videoFileName, declaredFps, size))
        return failure;
    runRecord.setVideo(sink->description());
    writer.setSpillFile(QString::fromStdString(spillFileName));
    writer.start(std::move(sink), FrameMemory::writerQueueFrames(capture->frameRate()));
    return std::nullopt;
}

// What the operator knows the source by: what was opened, its entry in the camera list, or
// at least its number there.
QString Recorder::sourceName(int camID) const
{
    const FrameSource::Description source = capture->description();
    if (!source.device.isEmpty())
        return source.device;
    return source.listText.isEmpty() ? QString::number(camID) : source.listText;
}

void Recorder::postIteration()
{
    QTimer::singleShot(0, this, &Recorder::loop);
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
    lineFile.frameQueued(placement.milliseconds);
    eyelid.frameQueued(frame.pixels, placement.milliseconds);
}

void Recorder::lendPreview(const cv::Mat &frame, MonotonicClock::time_point arrival)
{
    if (!previewPace.due(arrival))
        return;
    if (IplImage *image = PreviewFrame::lend(frame, previewsLent, previewsInFlight)) {
        previewPace.lent(arrival);
        emit frameAvailable(image);
    }
}

// The time recorded when a new second has begun; nothing within a second.
std::optional<MonotonicClock::duration> Recorder::showElapsedTime()
{
    const MonotonicClock::duration elapsed = clock() - recordingClockStart();
    const qint64 milliseconds = std::chrono::floor<std::chrono::milliseconds>(elapsed).count();
    const int seconds = int(milliseconds / 1000);
    if (seconds == lastSeconds)
        return std::nullopt;
    lastSeconds = seconds;
    emit timeChanged(ElapsedText::of(milliseconds));
    return elapsed;
}

std::optional<Recorder::Ending>
Recorder::outputsFailed(std::optional<MonotonicClock::duration> newSecond)
{
    if (lineFile.failed()) {
        qDebug("Output file write failed");
        return Ending{RunRecord::EndedBy::WriteFailed,
                      QStringLiteral("the text file could not be written")};
    }
    if (writer.hasFailed())
        return Ending{RunRecord::EndedBy::WriteFailed,
                      QStringLiteral("the video file could not be written")};
    // Neither memory nor disk takes frames any more: the frames from here on are lost.
    if (writer.spillFailed())
        return Ending{RunRecord::EndedBy::FramesLost, {}};
    if (!newSecond)
        return std::nullopt;
    // The spill file takes room on the same volume, and its frames are still to be encoded.
    space.margin().note(*newSecond,
                        fileSize(videoFileName) + fileSize(textFileName) + writer.spillBytes(),
                        writer.framesInFile());
    if (std::optional<QString> low = space.low())
        return Ending{RunRecord::EndedBy::DiskLow, *low};
    return std::nullopt;
}

// Whoever asked for the stop, as the window told it; a quit without a word comes from the
// window's closing, a stop without one from its button.
Recorder::Ending Recorder::requestedEnding() const
{
    const RunRecord::EndedBy fallback =
        finishFlag ? RunRecord::EndedBy::WindowClosed : RunRecord::EndedBy::Button;
    return {runRecord.events().stopAskedBy().value_or(fallback), {}};
}

void Recorder::endRecording(Ending ending, MonotonicClock::time_point end)
{
    stopFlag = true;
    recording = false;
    if (!closeOutputs() && ending.failure.isEmpty())
        ending = {RunRecord::EndedBy::WriteFailed,
                  QStringLiteral("the video or text file could not be completed")};
    // Frames that were taken but could not be spilled after all.
    lostFrames += writer.framesLost();
    if (lostFrames > 0) {
        qDebug("frames lost: %d", lostFrames);
        if (ending.failure.isEmpty())
            ending.failure = QStringLiteral("%1 frames lost").arg(lostFrames);
    }
    finishRunRecord(ending, end);
    const bool successful = ending.failure.isEmpty();
    emit resultExplained(successful ? successText() : ending.failure);
    emit recorded(successful);
    if (finishFlag) {
        for (std::size_t i = 0; i < deferredRecords.size(); ++i) {
            emit resultExplained(QStringLiteral("the program was closing"));
            emit recorded(false);
        }
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

// The sinks report their own failures; the lines follow what the completed file holds.
bool Recorder::closeOutputs()
{
    const bool videoComplete = writer.finish();
    if (capture)
        capture->release();
    const bool textComplete = lineFile.close(writer.framesInFile());
    runRecord.setEyelid(eyelid.finish(writer.framesInFile()));
    return videoComplete && textComplete;
}

void Recorder::finishRunRecord(const Ending &ending, MonotonicClock::time_point end)
{
    RunRecordFile::Outcome outcome;
    outcome.cause = ending.cause;
    outcome.successful = ending.failure.isEmpty();
    outcome.captureTimesUsed = timeline->usesCaptureTimes();
    outcome.lineTimes = lineFile.times();
    outcome.frames = writer.framesInFile();
    outcome.lostFrames = lostFrames;
    outcome.framesSpilled = writer.framesSpilled();
    outcome.savingMs = writer.savingMs();
    outcome.video = writer.finishedDescription();
    runRecord.ended(outcome, end);
}

QString Recorder::successText() const
{
    return QStringLiteral("%1 frames, %2 fps")
        .arg(lineFile.lines())
        .arg(runRecord.record().measuredFps, 0, 'f', 1);
}
