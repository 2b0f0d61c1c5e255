#include "capture/FrameReader.h"

#include "common/FrameMemory.h"

#include <QDebug>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

using std::chrono::milliseconds;

} // namespace

struct FrameReader::Facts
{
    bool opened = false;
    cv::Size frameSize;
    double frameRate = 0;
    bool onDemand = false;
    Description description;
};

struct FrameReader::Shared
{
    enum class Phase {
        Opening,
        // The open has answered, opened or not; nothing is read until the first read asks.
        Answered,
        Reading,
        // The thread has released the source and ends.
        Done,
    };
    struct Item
    {
        Result result;
        Frame frame;
    };

    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Phase::Opening;
    bool stopping = false;
    Facts facts;
    std::deque<Item> queue;
    // The pixels of the frames in the queue.
    qint64 queuedBytes = 0;

    void push(Item item)
    {
        queuedBytes += FrameMemory::bytesOf(item.frame.pixels);
        queue.push_back(std::move(item));
    }
    Item pop()
    {
        Item item = std::move(queue.front());
        queue.pop_front();
        queuedBytes -= FrameMemory::bytesOf(item.frame.pixels);
        return item;
    }
    void clear()
    {
        queue.clear();
        queuedBytes = 0;
    }
};

FrameReader::FrameReader(Opener open) : FrameReader(std::move(open), Bounds()) {}

FrameReader::FrameReader(Opener open, Bounds bounds)
    : bounds(bounds), shared(std::make_shared<Shared>()),
      thread(&FrameReader::run, shared, std::move(open))
{
}

FrameReader::~FrameReader()
{
    release();
}

void FrameReader::run(const std::shared_ptr<Shared> &shared, const Opener &open)
{
    std::unique_ptr<FrameSource> source = open();
    const Facts facts = factsOf(source.get());
    {
        std::unique_lock<std::mutex> lock(shared->mutex);
        shared->facts = facts;
        shared->phase = Shared::Phase::Answered;
        shared->changed.notify_all();
        // Like a capture driver, it starts streaming with the first read, not when opened.
        shared->changed.wait(
            lock, [&] { return shared->phase == Shared::Phase::Reading || shared->stopping; });
    }
    if (facts.opened)
        readUntilStopped(*shared, *source,
                         std::size_t(FrameMemory::readAheadFrames(facts.frameRate)));
    if (source)
        source->release();
    source.reset();
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->phase = Shared::Phase::Done;
    shared->changed.notify_all();
}

FrameReader::Facts FrameReader::factsOf(FrameSource *source)
{
    Facts facts;
    facts.opened = source && source->isOpened();
    // A source that did not open still tells what it is, for the reason of the failure.
    if (source)
        facts.description = source->description();
    if (!facts.opened)
        return facts;
    facts.frameSize = source->frameSize();
    facts.frameRate = source->frameRate();
    facts.onDemand = source->deliversOnDemand();
    facts.description.frameSize = facts.frameSize;
    return facts;
}

void FrameReader::readUntilStopped(Shared &shared, FrameSource &source, std::size_t capacity)
{
    // The next frame is expected to be as large as the last.
    qint64 frameBytes = 0;
    const auto hasRoom = [&] {
        return shared.queue.empty() ||
               (shared.queue.size() < capacity &&
                shared.queuedBytes + frameBytes <= FrameMemory::readAheadBytes);
    };
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            shared.changed.wait(lock, [&] { return shared.stopping || hasRoom(); });
            if (shared.stopping)
                return;
        }
        Frame frame;
        const Result result = source.readFrame(frame);
        frameBytes = FrameMemory::bytesOf(frame.pixels);
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.push({result, std::move(frame)});
        shared.changed.notify_all();
        if (result != Result::Frame)
            return;
    }
}

const FrameReader::Facts *FrameReader::answeredFacts() const
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    const milliseconds bound = gaveUp ? milliseconds::zero() : bounds.open;
    const bool answered = shared->changed.wait_for(
        lock, bound, [this] { return shared->phase != Shared::Phase::Opening; });
    if (!answered && !gaveUp) {
        gaveUp = true;
        qDebug("no answer from the source within %lld ms", qlonglong(bounds.open.count()));
    }
    // Written once, before the phase left Opening.
    return answered ? &shared->facts : nullptr;
}

const FrameReader::Facts *FrameReader::openedFacts() const
{
    const Facts *facts = answeredFacts();
    return facts && facts->opened ? facts : nullptr;
}

bool FrameReader::isOpened() const
{
    return openedFacts() != nullptr;
}

cv::Size FrameReader::frameSize()
{
    const Facts *facts = openedFacts();
    return facts ? facts->frameSize : cv::Size();
}

double FrameReader::frameRate() const
{
    const Facts *facts = openedFacts();
    return facts ? facts->frameRate : 0;
}

bool FrameReader::deliversOnDemand() const
{
    const Facts *facts = openedFacts();
    return facts && facts->onDemand;
}

FrameSource::Description FrameReader::description() const
{
    const Facts *facts = answeredFacts();
    return facts ? facts->description : Description();
}

milliseconds FrameReader::frameBound() const
{
    const double fps = frameRate();
    const milliseconds tenPeriods(fps > 0 ? qint64(10'000 / fps) : 0);
    return std::max(bounds.frame, tenPeriods);
}

FrameSource::Result FrameReader::readFrame(Frame &frame)
{
    frame = Frame();
    if (finalResult)
        return *finalResult;
    if (!isOpened())
        return Result::Failed;
    const milliseconds bound = readBefore ? frameBound() : bounds.firstFrame;
    readBefore = true;
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (shared->phase == Shared::Phase::Answered)
        shared->phase = Shared::Phase::Reading;
    shared->changed.notify_all();
    if (!shared->changed.wait_for(lock, bound, [this] { return !shared->queue.empty(); })) {
        gaveUp = true;
        qDebug("no frame from the source within %lld ms", qlonglong(bound.count()));
        finalResult = Result::Failed;
        return Result::Failed;
    }
    Shared::Item item = shared->pop();
    shared->changed.notify_all();
    if (item.result != Result::Frame)
        finalResult = item.result;
    frame = std::move(item.frame);
    return item.result;
}

void FrameReader::release()
{
    if (!thread.joinable())
        return;
    // A source that answered so far ends its read within a frame period or so; one that did
    // not answer in time is not waited for again.
    const milliseconds grace = gaveUp ? milliseconds::zero() : frameBound();
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->stopping = true;
    shared->clear();
    shared->changed.notify_all();
    const bool ended = shared->changed.wait_for(
        lock, grace, [this] { return shared->phase == Shared::Phase::Done; });
    lock.unlock();
    if (ended) {
        thread.join();
        return;
    }
    qDebug("source stuck in a read: left to end with the program");
    thread.detach();
}
