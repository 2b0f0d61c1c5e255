#include "encode/WriterQueue.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr qint64 kibibyte = 1024;

void resize(QSemaphore &semaphore, int size)
{
    semaphore.acquire(semaphore.available());
    semaphore.release(size);
}

} // namespace

WriterQueue::WriterQueue(QObject *parent)
    : QObject(parent), worker([this](const cv::Mat &frame) { frameWritten(frame); })
{
    qRegisterMetaType<cv::Mat>();
    thread.setObjectName(QStringLiteral("writer"));
    worker.moveToThread(&thread);
    connect(this, &WriterQueue::frameQueued, &worker, &FrameWriter::write, Qt::QueuedConnection);
    thread.start();
}

WriterQueue::~WriterQueue()
{
    thread.quit();
    thread.wait();
}

void WriterQueue::start(std::unique_ptr<VideoSink> sink, int capacity, qint64 byteBudget)
{
    // Nothing is queued between recordings, so the whole room is free to be resized.
    budgetKibibytes =
        int(std::clamp<qint64>(byteBudget / kibibyte, 1, std::numeric_limits<int>::max()));
    resize(room, capacity);
    resize(byteRoom, budgetKibibytes);
    QMetaObject::invokeMethod(
        &worker, [this, &sink] { worker.begin(std::move(sink)); }, Qt::BlockingQueuedConnection);
}

int WriterQueue::kibibytesOf(const cv::Mat &frame) const
{
    const qint64 rounded = (FrameMemory::bytesOf(frame) + kibibyte - 1) / kibibyte;
    return int(std::min<qint64>(rounded, budgetKibibytes));
}

bool WriterQueue::tryPush(const cv::Mat &frame)
{
    if (!room.tryAcquire())
        return false;
    if (!byteRoom.tryAcquire(kibibytesOf(frame))) {
        room.release();
        return false;
    }
    emit frameQueued(frame);
    return true;
}

void WriterQueue::push(const cv::Mat &frame)
{
    room.acquire();
    byteRoom.acquire(kibibytesOf(frame));
    emit frameQueued(frame);
}

void WriterQueue::frameWritten(const cv::Mat &frame)
{
    byteRoom.release(kibibytesOf(frame));
    room.release();
}

qint64 WriterQueue::bytesWaiting() const
{
    return (budgetKibibytes - byteRoom.available()) * kibibyte;
}

bool WriterQueue::hasFailed() const
{
    return worker.hasFailed();
}

int WriterQueue::framesInFile() const
{
    return worker.framesInFile();
}

VideoSink::Description WriterQueue::finishedDescription() const
{
    // finish() waited for the writer thread, so the worker is not writing it now.
    return worker.finishedDescription();
}

bool WriterQueue::finish()
{
    bool complete = true;
    // Queued behind every frame still waiting, so it runs once they are written.
    QMetaObject::invokeMethod(
        &worker, [this] { return worker.finish(); }, Qt::BlockingQueuedConnection, &complete);
    return complete;
}
