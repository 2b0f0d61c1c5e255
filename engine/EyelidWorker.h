#pragma once

#include "eyelid/EyelidMeasure.h"
#include "eyelid/EyelidRegion.h"
#include "eyelid/EyelidThreshold.h"
#include "runrecord/ConfirmedRows.h"

#include <QObject>

#include <opencv2/core/mat.hpp>

#include <optional>
#include <string>

// Measures the eyelid on each recorded frame in a thread of its own and writes the recording's
// eyelid table, a row per frame as the video confirms it (ConfirmedRows), like the text file.
// It gets only the region's box of each frame, in the order the frames were queued for the
// video; every slot runs in its thread.
class EyelidWorker : public QObject
{
    Q_OBJECT
public:
    // Otsu's threshold is doubtful on a first frame whose two classes lie closer than this in
    // grey levels, or whose bright class (lid) is more than half the eye: the eye was closed or
    // blinking.
    static constexpr double leastContrast = 20;
    static constexpr double mostBrightShare = 0.5;
    // The live closures sent on, at most one per this many milliseconds: enough for a trace.
    static constexpr double shownEveryMs = 1000.0 / 60;

    // A recording starts: its table goes to tableFileName, the region lies in the boxes to
    // come as given, the threshold is given or chosen on the first box.
    void start(const std::string &tableFileName, const EyelidRegion &boxRegion,
               std::optional<EyelidThreshold> givenThreshold);
    // The region's box of the next frame queued for the video, timed at ms.
    void measure(const cv::Mat &box, qint64 ms);
    void writeConfirmed(int framesInFile);
    // Writes the rows of the frames the completed video holds and closes the table; the
    // threshold used, nothing when no frame came.
    std::optional<EyelidThreshold> finish(int framesInFile);

signals:
    void closureMeasured(double ms, double closure);
    void thresholdChosen(int level);

private:
    EyelidThreshold chooseThreshold(const cv::Mat &firstBox);
    void show(qint64 ms, double closure);

    ConfirmedRows table;
    EyelidMeasure measurer;
    EyelidRegion region;
    std::optional<EyelidThreshold> given;
    std::optional<EyelidThreshold> threshold;
    std::optional<qint64> lastShownMs;
};
