#pragma once

#include "capture/FrameSource.h"
#include "encode/VideoSink.h"
#include "runrecord/RunEvents.h"
#include "runrecord/RunRecord.h"

#include <QString>
#include <QVector>

// The run record of the running or last recording, kept beside its video and text file:
// written when recording starts, so that a program that is killed still leaves one, and again
// when it ends. It also keeps the run's events as the window tells them.
class RunRecordFile
{
public:
    // What a recording came to, for its last record.
    struct Outcome
    {
        RunRecord::EndedBy cause = RunRecord::EndedBy::NotEnded;
        bool successful = false;
        // The frames kept the source's capture times to the end.
        bool captureTimesUsed = true;
        QVector<qint64> lineTimes;
        int frames = 0;
        int lostFrames = 0;
        int framesSpilled = 0;
        qint64 savingMs = 0;
        VideoSink::Description video;
    };

    RunEvents &events() { return runEvents; }
    const RunEvents &events() const { return runEvents; }
    const RunRecord &record() const { return runRecord; }

    // Recording was asked for now; the record goes to fileName, and frames the encoder cannot
    // take at once to spillFileName beside it.
    void asked(const QString &fileName, const QString &spillFileName);
    // The video file is open, encoded as video.
    void setVideo(const VideoSink::Description &video);
    // How the eyelid is measured, where a region was given; for the records to come.
    void setEyelid(std::optional<RunRecord::Eyelid> eyelid) { runRecord.eyelid = eyelid; }
    // Recording started at start, the recording clock's zero: writes the first record.
    void started(const FrameSource::Description &source, cv::Size frameSize, double declaredFps,
                 MonotonicClock::time_point start);
    // Recording ended at end: writes the last record.
    void ended(const Outcome &outcome, MonotonicClock::time_point end);

private:
    RunRecord runRecord;
    QString fileName;
    RunEvents runEvents;
};
