#include "WatchedSource.h"

#include "FramePattern.h"

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

bool WatchedSource::read(cv::Mat &frame)
{
    const bool delivering = watched->read(frame);
    if (delivering) {
        const auto stamp = FramePattern::read(frame);
        delivered->note(stamp ? int(stamp->index) : -1);
    }
    return delivering;
}
