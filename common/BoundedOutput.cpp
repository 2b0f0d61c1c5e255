#include "common/BoundedOutput.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

// Shared by the output and its writer, so that a writer stuck in a write outlives the output
// safely.
struct BoundedOutput::Queue
{
    Queue(Write write, qint64 capacity) : write(std::move(write)), capacity(capacity) {}

    const Write write;
    const qint64 capacity;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<QByteArray, Kind>> pieces;
    // Queued and being written: the bytes that count against the capacity.
    qint64 heldBytes = 0;
    bool writing = false;
    bool closing = false;
    bool ended = false;
    // Dropped since the last report, and since the beginning.
    Dropped unreported;
    Dropped total;

    bool drained() const { return pieces.empty() && !writing; }
    void drop(const QByteArray &bytes, Kind kind)
    {
        for (Dropped *count : {&unreported, &total}) {
            if (kind == Kind::Message)
                ++count->messages;
            else
                count->programBytes += bytes.size();
        }
    }
};

BoundedOutput::BoundedOutput(Write write, qint64 capacity)
    : queue(std::make_shared<Queue>(std::move(write), capacity)),
      writer(&BoundedOutput::writeQueued, queue)
{
}

BoundedOutput::~BoundedOutput()
{
    std::unique_lock<std::mutex> lock(queue->mutex);
    queue->closing = true;
    queue->changed.notify_all();
    const bool ended = queue->changed.wait_for(lock, closeWait, [this] { return queue->ended; });
    lock.unlock();
    if (ended)
        writer.join();
    else
        writer.detach();
}

bool BoundedOutput::push(const QByteArray &bytes, Kind kind)
{
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (queue->heldBytes + bytes.size() > queue->capacity) {
        queue->drop(bytes, kind);
        return false;
    }
    queue->pieces.emplace_back(bytes, kind);
    queue->heldBytes += bytes.size();
    queue->changed.notify_all();
    return true;
}

bool BoundedOutput::drain(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(queue->mutex);
    return queue->changed.wait_for(lock, timeout, [this] { return queue->drained(); });
}

BoundedOutput::Dropped BoundedOutput::dropped() const
{
    std::lock_guard<std::mutex> lock(queue->mutex);
    return queue->total;
}

QByteArray BoundedOutput::dropReport(const Dropped &dropped)
{
    QByteArray report;
    if (dropped.messages > 0)
        report += QByteArray::number(dropped.messages) +
                  " diagnostic lines dropped: the terminal did not take them\n";
    if (dropped.programBytes > 0)
        report += QByteArray::number(dropped.programBytes) +
                  " bytes of the program's output dropped: the terminal did not take them\n";
    return report;
}

// Writes everything queued at once, unlocked, so that producers go on meanwhile; once the queue
// is empty, says what was dropped.
void BoundedOutput::writeQueued(const std::shared_ptr<Queue> &queue)
{
    std::unique_lock<std::mutex> lock(queue->mutex);
    for (;;) {
        queue->changed.wait(lock, [&] { return !queue->pieces.empty() || queue->closing; });
        if (queue->pieces.empty())
            break;
        QByteArray bytes;
        std::deque<std::pair<QByteArray, Kind>> taken;
        taken.swap(queue->pieces);
        for (const auto &piece : taken)
            bytes += piece.first;
        queue->writing = true;
        lock.unlock();
        const bool written = queue->write(bytes);
        lock.lock();
        if (!written) {
            for (const auto &[piece, kind] : taken)
                queue->drop(piece, kind);
        }
        queue->heldBytes -= bytes.size();
        if (queue->pieces.empty() &&
            (queue->unreported.messages || queue->unreported.programBytes)) {
            const QByteArray report = dropReport(std::exchange(queue->unreported, {}));
            lock.unlock();
            queue->write(report);
            lock.lock();
        }
        queue->writing = false;
        queue->changed.notify_all();
    }
    queue->ended = true;
    queue->changed.notify_all();
}
