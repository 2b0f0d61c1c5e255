#include "engine/EyelidWorker.h"

#include "eyelid/EyelidTable.h"

#include <QDebug>

void EyelidWorker::start(const std::string &tableFileName, const EyelidRegion &boxRegion,
                         std::optional<EyelidThreshold> givenThreshold)
{
    region = boxRegion;
    given = givenThreshold;
    threshold.reset();
    lastShownMs.reset();
    if (!table.open(tableFileName, EyelidTable::header))
        qDebug("Eyelid table open failed: %s", tableFileName.c_str());
}

void EyelidWorker::measure(const cv::Mat &box, qint64 ms)
{
    if (!table.isOpen())
        return;
    if (!threshold) {
        threshold = chooseThreshold(box);
        emit thresholdChosen(threshold->level);
    }
    const std::optional<double> closure = measurer.closure(box, region, threshold->level);
    table.queue(EyelidTable::text({table.queued(), double(ms), closure}));
    if (closure)
        show(ms, *closure);
}

void EyelidWorker::writeConfirmed(int framesInFile)
{
    table.writeConfirmed(framesInFile);
}

std::optional<EyelidThreshold> EyelidWorker::finish(int framesInFile)
{
    if (table.isOpen() && !table.close(framesInFile))
        qDebug("Eyelid table write failed");
    return threshold;
}

EyelidThreshold EyelidWorker::chooseThreshold(const cv::Mat &firstBox)
{
    if (given)
        return *given;
    const EyelidThreshold otsu = measurer.otsuThreshold(firstBox, region)
                                     .value_or(EyelidThreshold{0, EyelidThreshold::ChosenBy::Otsu});
    const std::optional<EyelidMeasure::Split> parts = measurer.split(firstBox, region, otsu.level);
    // Still used: a closed eye at the start is the operator's to see, in the trace and here.
    if (parts && (parts->brightMean - parts->darkMean < leastContrast ||
                  parts->brightShare > mostBrightShare))
        qDebug("Eyelid threshold %d may not part lid from eye: grey levels %.0f and %.0f, %.0f%% "
               "above it on the first frame",
               otsu.level, parts->darkMean, parts->brightMean, parts->brightShare * 100);
    return otsu;
}

void EyelidWorker::show(qint64 ms, double closure)
{
    if (lastShownMs && ms - *lastShownMs < shownEveryMs)
        return;
    lastShownMs = ms;
    emit closureMeasured(double(ms), closure);
}
