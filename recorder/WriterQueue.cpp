#include "WriterQueue.h"

#include <utility>

WriterQueue::WriterQueue(QObject *parent) : QObject(parent), worker(room)
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

void WriterQueue::start(std::unique_ptr<VideoSink> sink, int capacity)
{
    // Nothing is queued between recordings, so the whole room is free to be resized.
    room.acquire(room.available());
    room.release(capacity);
    QMetaObject::invokeMethod(
        &worker, [this, &sink] { worker.begin(std::move(sink)); }, Qt::BlockingQueuedConnection);
}

bool WriterQueue::tryPush(const cv::Mat &frame)
{
    if (!room.tryAcquire())
        return false;
    emit frameQueued(frame);
    return true;
}

void WriterQueue::push(const cv::Mat &frame)
{
    room.acquire();
    emit frameQueued(frame);
}

bool WriterQueue::hasFailed() const
{
    return worker.hasFailed();
}

int WriterQueue::framesInFile() const
{
    return worker.framesInFile();
}

bool WriterQueue::finish()
{
    bool complete = true;
    // Queued behind every frame still waiting, so it runs once they are written.
    QMetaObject::invokeMethod(
        &worker, [this] { return worker.finish(); }, Qt::BlockingQueuedConnection, &complete);
    return complete;
}
