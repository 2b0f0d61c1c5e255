#include "encode/WriterQueue.h"

#include <limits>

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
    connect(
        this, &WriterQueue::frameQueued, &worker,
        [this](const cv::Mat &frame, int sequence) { writeQueued(frame, sequence); },
        Qt::QueuedConnection);
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
    spillLost = false;
    framesDropped = 0;
    lastSavingMs = 0;
    QMetaObject::invokeMethod(
        &worker, [this, &sink] { worker.begin(std::move(sink)); }, Qt::BlockingQueuedConnection);
}

bool WriterQueue::tryPush(const cv::Mat &frame)
{
    // Once the spill failed, none is taken, so that the frames lost are the last ones.
    if (spill.hasFailed() || spillLost)
        return false;
    const int sequence = framesTaken;
    if (room.tryTake(frame)) {
        ++framesTaken;
        emit frameQueued(frame, sequence);
        return true;
    }
    if (!spill.tryAdd(frame, sequence))
        return false;
    ++framesTaken;
    return true;
}

void WriterQueue::push(const cv::Mat &frame)
{
    room.take(frame);
    emit frameQueued(frame, framesTaken++);
}

void WriterQueue::writeQueued(const cv::Mat &frame, int sequence)
{
    encodeSpilledBefore(sequence);
    if (!spillLost) {
        worker.write(frame);
        return;
    }
    room.giveBack(frame);
    ++framesDropped;
    ++framesHandled;
}

// A spilled frame written into the file is encoded at once only when it is the next frame:
// otherwise a queued frame before it is still to come and takes it along.
void WriterQueue::takeBackSpilled()
{
    while (spill.oldest() == framesHandled.load()) {
        if (!encodeOldestSpilled(false))
            return;
    }
}

void WriterQueue::encodeSpilledBefore(int sequence)
{
    for (std::optional<int> oldest = spill.oldest(); oldest && *oldest < sequence;
         oldest = spill.oldest())
        encodeOldestSpilled(true);
}

// False when the oldest spilled frame is not in the file yet and waiting was not asked for.
bool WriterQueue::encodeOldestSpilled(bool wait)
{
    cv::Mat frame;
    const FrameSpill::Take took = spill.takeOldest(frame, wait);
    if (took == FrameSpill::Take::NotYet)
        return false;
    // A frame lost in the spill is counted there; after it, the rest are only counted off.
    if (took == FrameSpill::Take::Lost)
        spillLost = true;
    else if (!spillLost)
        worker.encode(frame);
    else
        ++framesDropped;
    ++framesHandled;
    if (savingNow && sinceSavingTold.hasExpired(savingTellMs))
        tellSaving();
    return true;
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
            encodeSpilledBefore(std::numeric_limits<int>::max());
            savingNow = false;
            return worker.finish();
        },
        Qt::BlockingQueuedConnection, &complete);
    spill.finish();
    lastSavingMs = spilledLeft ? saved.elapsed() : 0;
    return complete;
}
