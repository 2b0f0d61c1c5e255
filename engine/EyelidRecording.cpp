#include "engine/EyelidRecording.h"

#include <QDebug>
#include <QFileInfo>

EyelidRecording::EyelidRecording(QObject *parent) : QObject(parent), worker(new EyelidWorker)
{
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &EyelidWorker::closureMeasured, this, &EyelidRecording::closureMeasured);
    connect(worker, &EyelidWorker::thresholdChosen, this, &EyelidRecording::thresholdChosen);
    thread.start();
}

EyelidRecording::~EyelidRecording()
{
    thread.quit();
    thread.wait();
}

void EyelidRecording::setThreshold(std::optional<EyelidThreshold> given)
{
    givenThreshold = given;
}

void EyelidRecording::setRegion(QRect box)
{
    if (box.isEmpty())
        region.reset();
    else
        region = EyelidRegion{cv::Rect(box.x(), box.y(), box.width(), box.height())};
}

std::optional<RunRecord::Eyelid> EyelidRecording::start(const std::string &tableFileName,
                                                        cv::Size frameSize)
{
    inside = {};
    described.reset();
    if (!region)
        return std::nullopt;
    const EyelidRegion::Clipped clipped = region->clippedTo(frameSize);
    if (!clipped.usable()) {
        qDebug("Eyelid region %s: %s", qPrintable(region->text()), qPrintable(clipped.reason));
        return std::nullopt;
    }
    if (clipped.partlyOutside)
        qDebug("Eyelid region %s: %s", qPrintable(region->text()), qPrintable(clipped.reason));
    inside = clipped.inside;
    // The worker sees the boxes alone: the region lies in them shifted by the box's corner.
    const EyelidRegion boxRegion{region->box - inside.tl()};
    QMetaObject::invokeMethod(worker,
                              [worker = worker, tableFileName, boxRegion, given = givenThreshold] {
                                  worker->start(tableFileName, boxRegion, given);
                              });
    RunRecord::Eyelid eyelid;
    eyelid.region = EyelidRegion{inside}.text();
    eyelid.table = QFileInfo(QString::fromStdString(tableFileName)).fileName();
    if (givenThreshold) {
        eyelid.threshold = givenThreshold->level;
        eyelid.chosenBy = givenThreshold->chosenByText();
    }
    described = eyelid;
    return described;
}

void EyelidRecording::frameQueued(const cv::Mat &frame, qint64 ms)
{
    if (inside.empty())
        return;
    // A copy of the box alone: the frame itself goes on to the video.
    QMetaObject::invokeMethod(
        worker, [worker = worker, box = frame(inside).clone(), ms] { worker->measure(box, ms); });
}

void EyelidRecording::writeConfirmed(int framesInFile)
{
    if (inside.empty())
        return;
    QMetaObject::invokeMethod(
        worker, [worker = worker, framesInFile] { worker->writeConfirmed(framesInFile); });
}

std::optional<RunRecord::Eyelid> EyelidRecording::finish(int framesInFile)
{
    if (inside.empty())
        return std::nullopt;
    inside = {};
    std::optional<EyelidThreshold> used;
    // Queued behind every box sent, so that all are measured before the table closes.
    QMetaObject::invokeMethod(
        worker, [worker = worker, framesInFile, &used] { used = worker->finish(framesInFile); },
        Qt::BlockingQueuedConnection);
    if (used) {
        described->threshold = used->level;
        described->chosenBy = used->chosenByText();
    }
    return described;
}
