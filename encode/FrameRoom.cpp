#include "encode/FrameRoom.h"

#include "common/FrameMemory.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kibibyte = 1024;

void resizeSemaphore(QSemaphore &semaphore, int size)
{
    semaphore.acquire(semaphore.available());
    semaphore.release(size);
}

} // namespace

void FrameRoom::resize(int frames, qint64 bytes)
{
    budgetKibibytes = int(std::clamp<qint64>(bytes / kibibyte, 1, std::numeric_limits<int>::max()));
    resizeSemaphore(frameRoom, frames);
    resizeSemaphore(byteRoom, budgetKibibytes);
}

int FrameRoom::kibibytesOf(const cv::Mat &frame) const
{
    const qint64 rounded = (FrameMemory::bytesOf(frame) + kibibyte - 1) / kibibyte;
    return int(std::min<qint64>(rounded, budgetKibibytes));
}

bool FrameRoom::tryTake(const cv::Mat &frame)
{
    if (!frameRoom.tryAcquire())
        return false;
    if (!byteRoom.tryAcquire(kibibytesOf(frame))) {
        frameRoom.release();
        return false;
    }
    return true;
}

void FrameRoom::take(const cv::Mat &frame)
{
    frameRoom.acquire();
    byteRoom.acquire(kibibytesOf(frame));
}

void FrameRoom::giveBack(const cv::Mat &frame)
{
    byteRoom.release(kibibytesOf(frame));
    frameRoom.release();
}

qint64 FrameRoom::bytesTaken() const
{
    return (budgetKibibytes - byteRoom.available()) * kibibyte;
}
