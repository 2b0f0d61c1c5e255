#include "common/FrameMemory.h"

#include "common/SystemMemory.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 writerQueueShare = 256 * FrameMemory::mebibyte;
constexpr qint64 writerQueueDivisor = 8;
constexpr double unknownFps = 30;
// Slow cameras still get the writer queue of a 30 fps one: its frames are small.
constexpr double leastWriterQueueFps = 30;

} // namespace

qint64 FrameMemory::writerQueueBytes()
{
    const qint64 physical = SystemMemory::physicalBytes();
    return physical > 0 ? std::min(writerQueueShare, physical / writerQueueDivisor)
                        : writerQueueShare;
}

int FrameMemory::writerQueueFrames(double fps)
{
    return int(std::ceil(2 * std::max(leastWriterQueueFps, believableFps(fps))));
}

int FrameMemory::readAheadFrames(double fps)
{
    return std::max(8, int(std::ceil(believableFps(fps) / 4)));
}

double FrameMemory::believableFps(double fps)
{
    return fps > 0 ? std::min(fps, mostFps) : unknownFps;
}

qint64 FrameMemory::bytesOf(const cv::Mat &frame)
{
    return qint64(frame.total() * frame.elemSize());
}

int FrameMemory::framesWithin(qint64 budget, qint64 frameBytes, int least, int most)
{
    const qint64 fitting = frameBytes > 0 ? budget / frameBytes : most;
    return int(std::max<qint64>(least, std::min<qint64>(most, fitting)));
}
