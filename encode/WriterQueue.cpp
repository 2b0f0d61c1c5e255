#include "encode/WriterQueue.h"

WriterQueue::WriterQueue(QObject *parent)
    : QObject(parent), worker([this](const cv::Mat &frame) { room.giveBack(frame); })
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
    room.resize(capacity, byteBudget);
    QMetaObject::invokeMethod(
        &worker, [this, &sink] { worker.begin(std::move(sink)); }, Qt::BlockingQueuedConnection);
}

bool WriterQueue::tryPush(const cv::Mat &frame)
{
    if (!room.tryTake(frame))
        return false;
    emit frameQueued(frame);
    return true;
}

void WriterQueue::push(const cv::Mat &frame)
{
    room.take(frame);
    emit frameQueued(frame);
}

qint64 WriterQueue::bytesWaiting() const
{
    return room.bytesTaken();
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
