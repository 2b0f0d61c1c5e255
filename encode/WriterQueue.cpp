#include "encode/WriterQueue.h"

namespace {

// How often saving tells its progress: often enough to be seen moving, rarely enough to cost
// nothing.
constexpr qint64 savingTellMs = 250;

} // namespace

WriterQueue::WriterQueue(QObject *parent)
    : QObject(parent), worker([this](const cv::Mat &frame) {
          room.giveBack(frame);
          ++framesHandled;
      })
{
    qRegisterMetaType<cv::Mat>();
    thread.setObjectName(QStringLiteral("writer"));
    worker.moveToThread(&thread);
    connect(this, &WriterQueue::frameQueued, &worker, &FrameWriter::write, Qt::QueuedConnection);
    // Queued behind the frames pushed before the spill began, so taken back after them.
    connect(&spill, &FrameSpill::frameInFile, &worker, [this] { takeBackSpilled(); });
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
    spill.start(spillFileName);
    framesTaken = 0;
    framesHandled = 0;
    lastSavingMs = 0;
    QMetaObject::invokeMethod(
        &worker, [this, &sink] { worker.begin(std::move(sink)); }, Qt::BlockingQueuedConnection);
}

bool WriterQueue::tryPush(const cv::Mat &frame)
{
    // Once a frame has spilled, the later ones follow it until the writer has taken it back;
    // once the spill failed, none is taken, so that the frames lost are the last ones.
    if (!spill.isBusy() && !spill.hasFailed() && room.tryTake(frame)) {
        ++framesTaken;
        emit frameQueued(frame);
        return true;
    }
    if (!spill.tryAdd(frame))
        return false;
    ++framesTaken;
    return true;
}

void WriterQueue::push(const cv::Mat &frame)
{
    room.take(frame);
    ++framesTaken;
    emit frameQueued(frame);
}

void WriterQueue::takeBackSpilled()
{
    cv::Mat frame;
    while (spill.takeNext(frame)) {
        worker.encode(frame);
        ++framesHandled;
        if (savingNow && sinceSavingTold.hasExpired(savingTellMs))
            tellSaving();
    }
}

void WriterQueue::tellSaving()
{
    const int taken = framesTaken;
    emit saving(taken > 0 ? int(qint64(framesHandled) * 100 / taken) : 100);
    // Counted from when the receivers have had it.
    sinceSavingTold.start();
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
    spill.flush();
    QElapsedTimer saved;
    saved.start();
    const bool spilledLeft = spill.isBusy();
    if (spilledLeft) {
        tellSaving();
        savingNow = true;
    }
    bool complete = true;
    // Queued behind every frame still waiting, so it runs once they are written.
    QMetaObject::invokeMethod(
        &worker,
        [this] {
            takeBackSpilled();
            savingNow = false;
            return worker.finish();
        },
        Qt::BlockingQueuedConnection, &complete);
    spill.finish();
    lastSavingMs = spilledLeft ? saved.elapsed() : 0;
    return complete;
}
