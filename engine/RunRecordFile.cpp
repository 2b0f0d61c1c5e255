#include "engine/RunRecordFile.h"

#include <QFileInfo>
#include <QJsonObject>

void RunRecordFile::asked(const QString &name, const QString &spillFileName)
{
    fileName = name;
    runRecord.spillFile = QFileInfo(spillFileName).fileName();
    runRecord.started = QDateTime::currentDateTime();
}

void RunRecordFile::setVideo(const VideoSink::Description &video)
{
    if (!video.codec.isEmpty())
        runRecord.video = {video.codec, video.fourcc, QJsonObject::fromVariantMap(video.settings)};
}

void RunRecordFile::started(const FrameSource::Description &source, cv::Size frameSize,
                            double declaredFps, MonotonicClock::time_point start)
{
    runEvents.recordingStarted(start);
    runRecord.source = {source.listText, source.device, source.backend};
    runRecord.frameSize = QSize(frameSize.width, frameSize.height);
    runRecord.pixelFormat = source.pixelFormat;
    runRecord.declaredFps = declaredFps;
    runRecord.recordingClockZeroNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    runRecord.timeSource = source.timeSource == FrameSource::TimeSource::Camera
                               ? RunRecord::TimeSource::Camera
                               : RunRecord::TimeSource::Arrival;
    runRecord.measuredFps = 0;
    runRecord.largestIntervalMs = 0;
    runRecord.frames = 0;
    runRecord.lines = 0;
    runRecord.framesLost = 0;
    runRecord.framesSpilled = 0;
    runRecord.savingMs = 0;
    runRecord.result = RunRecord::Result::Unfinished;
    runRecord.endedBy = RunRecord::EndedBy::NotEnded;
    runRecord.events = runEvents.onRecordingClock();
    runRecord.write(fileName);
}

void RunRecordFile::ended(const Outcome &outcome, MonotonicClock::time_point end)
{
    runEvents.recordingEnded(end, RunRecord::text(outcome.cause));
    if (!outcome.captureTimesUsed)
        runRecord.timeSource = RunRecord::TimeSource::Arrival;
    runRecord.measuredFps = RunRecord::measuredFpsOf(outcome.lineTimes);
    runRecord.largestIntervalMs = RunRecord::largestIntervalMsOf(outcome.lineTimes);
    runRecord.frames = outcome.frames;
    setVideo(outcome.video);
    runRecord.lines = int(outcome.lineTimes.size());
    runRecord.framesLost = outcome.lostFrames;
    runRecord.framesSpilled = outcome.framesSpilled;
    runRecord.savingMs = outcome.savingMs;
    runRecord.result =
        outcome.successful ? RunRecord::Result::Successful : RunRecord::Result::Failed;
    runRecord.endedBy = outcome.cause;
    runRecord.events = runEvents.onRecordingClock();
    runRecord.write(fileName);
}
