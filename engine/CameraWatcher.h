#pragma once

#include "capture/FrameSource.h"
#include "engine/PreviewFrame.h"
#include "engine/PreviewPace.h"
#include "eyelid/EyelidMeasure.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Shows the camera while no recording runs, so that the operator can aim it and draw the eye's
// region: reads the camera, lends its frames to the window as the recorder does, and measures
// the eyelid's closure on the frames it shows. Writes no file. Lives in a worker thread of its
// own; every slot runs there. Each watch() ends with exactly one watchingStopped(), once the
// camera is released: after stopWatching(), after a failure, or when a later watch() replaces
// it.
class CameraWatcher : public QObject
{
    Q_OBJECT
public:
    // Called in the source's reader thread; nothing when camID names no source.
    using SourceFactory = std::function<std::unique_ptr<FrameSource>(int camID)>;

    explicit CameraWatcher(QObject *parent = nullptr);
    ~CameraWatcher() override;

    // Call before the watcher's thread runs.
    void setSourceFactory(SourceFactory factory);

signals:
    // Lent as the recorder lends them: give each back with PreviewFrame::giveBack.
    void frameAvailable(IplImage *image);
    // ms counts from the first frame watched, on the camera's clock where it has one.
    void closureMeasured(double ms, double closure);
    // The grey level chosen by Otsu's method on the first frame measured in a new region.
    void eyelidThresholdChosen(int level);
    void watchFailed(QString reason);
    // The size and format of each watch's first frame: what a recording would meet.
    void formatSeen(QSize frameSize, bool gray);
    void watchingStopped();

public slots:
    void watch(int camID);
    void stopWatching();
    // An empty box measures nothing.
    void setEyelidRegion(QRect box);
    // A grey level from 0 to 255; a negative one has Otsu's method choose it.
    void setEyelidThreshold(int level);

private slots:
    void readNext();

private:
    void release();
    void fail(const QString &reason);
    void measure(const FrameSource::Frame &frame, MonotonicClock::time_point arrival);
    std::optional<int> thresholdFor(const cv::Mat &frame);

    SourceFactory openSource;
    std::unique_ptr<FrameSource> camera;
    PreviewFrame::Counter previewsLent = std::make_shared<std::atomic<int>>(0);
    EyelidMeasure measurer;
    std::optional<EyelidRegion> region;
    std::optional<int> givenThreshold;
    // Otsu's choice for the current region, made on its first frame.
    std::optional<int> chosenThreshold;
    std::optional<MonotonicClock::time_point> firstFrameTime;
    bool formatTold = false;
    PreviewPace previewPace;
    // The last closure's time; nothing before the region's first.
    std::optional<double> lastMeasuredMs;
};
