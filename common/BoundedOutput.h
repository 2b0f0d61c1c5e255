#pragma once

#include <QByteArray>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// Text on its way to one of the program's outputs (its standard error, say), written by a
// thread of its own, so that no one who writes here waits for the terminal: a terminal that
// does not take its text (a pipe that nobody reads, output held with Ctrl-S) holds up that
// thread alone. What does not fit into the bounded queue meanwhile is dropped and counted, and
// the count is written once the terminal has taken everything queued before. The texts that
// are written keep their order.
class BoundedOutput
{
public:
    // Writes all of the bytes, waiting as long as that takes; false when they could not be.
    using Write = std::function<bool(const QByteArray &bytes)>;
    // A debug message, whole lines; or the output of a program started by this one, in pieces
    // as they come.
    enum class Kind { Message, ProgramOutput };
    struct Dropped
    {
        qint64 messages = 0;
        qint64 programBytes = 0;
    };

    static constexpr qint64 defaultCapacity = 4 * 1024 * 1024;
    // How long the destructor waits for the terminal to take what is queued.
    static constexpr std::chrono::milliseconds closeWait{1000};

    explicit BoundedOutput(Write write, qint64 capacity = defaultCapacity);
    // Waits up to closeWait for the queue to be written, then leaves a writer that is stuck in
    // a write behind; the writer owns what it still uses.
    ~BoundedOutput();
    BoundedOutput(const BoundedOutput &) = delete;
    BoundedOutput &operator=(const BoundedOutput &) = delete;

    // Queues bytes, or drops them when the queue holds capacity bytes with them. Never waits for
    // the writer. True when queued.
    bool push(const QByteArray &bytes, Kind kind);
    // Waits up to timeout until everything queued is written; true when it is.
    bool drain(std::chrono::milliseconds timeout);
    // Everything dropped since this output began.
    Dropped dropped() const;

    // The line that tells what was dropped, as the writer writes it.
    static QByteArray dropReport(const Dropped &dropped);

private:
    struct Queue;
    static void writeQueued(const std::shared_ptr<Queue> &queue);

    std::shared_ptr<Queue> queue;
    std::thread writer;
};
