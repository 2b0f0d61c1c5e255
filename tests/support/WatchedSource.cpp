#include "tests/support/WatchedSource.h"

#include "capture/FramePattern.h"

#include <utility>

void WatchedSource::Delivered::note(int index)
{
    QMutexLocker locker(&mutex);
    noted << index;
}

QVector<int> WatchedSource::Delivered::indices() const
{
    QMutexLocker locker(&mutex);
    return noted;
}

WatchedSource::WatchedSource(std::unique_ptr<FrameSource> watched,
                             std::shared_ptr<Delivered> delivered)
    : watched(std::move(watched)), delivered(std::move(delivered))
{
}

std::unique_ptr<FrameSource> WatchedSource::watch(std::unique_ptr<FrameSource> source,
                                                  std::shared_ptr<Delivered> delivered)
{
    if (!source)
        return nullptr;
    return std::make_unique<WatchedSource>(std::move(source), std::move(delivered));
}

FrameSource::Result WatchedSource::readFrame(Frame &frame)
{
    const Result result = watched->readFrame(frame);
    if (result == Result::Frame) {
        const auto stamp = FramePattern::read(frame.pixels);
        delivered->note(stamp ? int(stamp->index) : -1);
    }
    return result;
}
