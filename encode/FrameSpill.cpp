#include "encode/FrameSpill.h"

#include <QDebug>

FrameSpill::FrameSpill(QObject *parent) : QObject(parent)
{
    room.resize(queueFrames, queueBytes);
    thread.setObjectName(QStringLiteral("spill"));
    writing.moveToThread(&thread);
    thread.start();
}

FrameSpill::~FrameSpill()
{
    thread.quit();
    thread.wait();
}

void FrameSpill::start(const QString &fileName)
{
    file = fileName.isEmpty() ? nullptr : std::make_unique<SpillFile>(fileName);
    added = 0;
    lost = 0;
}

bool FrameSpill::tryAdd(const cv::Mat &frame)
{
    if (!file || file->hasFailed() || !room.tryTake(frame))
        return false;
    ++added;
    QMetaObject::invokeMethod(&writing, [this, frame] { write(frame); });
    return true;
}

void FrameSpill::write(const cv::Mat &frame)
{
    const bool hadFailed = file->hasFailed();
    if (file->append(frame)) {
        room.giveBack(frame);
        emit frameInFile();
        return;
    }
    if (!hadFailed)
        qDebug("Spill file write failed: %s", qPrintable(file->errorString()));
    ++lost;
    room.giveBack(frame);
}

bool FrameSpill::isBusy() const
{
    return file && added != file->framesTaken() + lost;
}

bool FrameSpill::takeNext(cv::Mat &frame)
{
    return file && file->takeNext(frame);
}

void FrameSpill::flush()
{
    // Queued behind every write asked for.
    QMetaObject::invokeMethod(
        &writing, [] {}, Qt::BlockingQueuedConnection);
}

void FrameSpill::finish()
{
    if (file && file->framesAppended() > 0 && file->framesTaken() == file->framesAppended())
        file->remove();
}
