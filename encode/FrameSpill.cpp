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
    resolved = 0;
    unreadable = 0;
    QMutexLocker locker(&placesMutex);
    places.clear();
}

bool FrameSpill::tryAdd(const cv::Mat &frame, int sequence)
{
    if (!file || file->hasFailed() || !room.tryTake(frame))
        return false;
    {
        QMutexLocker locker(&placesMutex);
        places.push_back(sequence);
    }
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
    return oldest().has_value();
}

std::optional<int> FrameSpill::oldest() const
{
    QMutexLocker locker(&placesMutex);
    if (places.empty())
        return std::nullopt;
    return places.front();
}

// The spill thread writes the frames in the order they were added, and after a failed write
// it writes none: the first framesAppended() frames are in the file, the next `lost` are not.
FrameSpill::Take FrameSpill::takeOldest(cv::Mat &frame, bool wait)
{
    for (;;) {
        if (!oldest())
            return Take::NotYet;
        if (resolved < file->framesAppended()) {
            const bool read = file->takeNext(frame);
            if (!read) {
                qDebug("Spill file read failed: %s", qPrintable(file->fileName()));
                ++unreadable;
            }
            dropOldest();
            return read ? Take::Frame : Take::Lost;
        }
        if (resolved < file->framesAppended() + lost) {
            dropOldest();
            return Take::Lost;
        }
        if (!wait)
            return Take::NotYet;
        flush();
    }
}

void FrameSpill::dropOldest()
{
    ++resolved;
    QMutexLocker locker(&placesMutex);
    places.pop_front();
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
