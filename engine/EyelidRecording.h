#pragma once

#include "engine/EyelidWorker.h"
#include "eyelid/EyelidRegion.h"
#include "eyelid/EyelidThreshold.h"
#include "runrecord/RunRecord.h"

#include <QObject>
#include <QRect>
#include <QThread>

#include <opencv2/core/mat.hpp>

#include <optional>
#include <string>

// The eyelid during a recording, for the Recorder: clips the region to the camera's frame at
// the start, hands a copy of the region's box of every frame queued for the video to an
// EyelidWorker in a thread of its own, so that the capture loop never waits for a measure,
// and passes on what the video confirms. Lives in the Recorder's thread.
class EyelidRecording : public QObject
{
    Q_OBJECT
public:
    explicit EyelidRecording(QObject *parent = nullptr);
    ~EyelidRecording() override;

    // For the recordings that start from now on; nothing: Otsu's threshold, no region.
    void setThreshold(std::optional<EyelidThreshold> given);
    // The box in the frame's pixels; an empty one: no region.
    void setRegion(QRect box);

    // A recording of frames of frameSize starts: what its run record tells of the eyelid,
    // nothing when there is no region or the frame holds none of it (no table then).
    std::optional<RunRecord::Eyelid> start(const std::string &tableFileName, cv::Size frameSize);
    void frameQueued(const cv::Mat &frame, qint64 ms);
    void writeConfirmed(int framesInFile);
    // Waits until every frame queued is measured and the table closed; what the last run
    // record tells of the eyelid, its threshold included.
    std::optional<RunRecord::Eyelid> finish(int framesInFile);

signals:
    // From the worker's thread, queued to the listeners.
    void closureMeasured(double ms, double closure);
    void thresholdChosen(int level);

private:
    QThread thread;
    EyelidWorker *worker;
    std::optional<EyelidThreshold> givenThreshold;
    std::optional<EyelidRegion> region;
    // The running recording's region inside the frame and its run record's part; empty and
    // nothing when it has no table.
    cv::Rect inside;
    std::optional<RunRecord::Eyelid> described;
};
