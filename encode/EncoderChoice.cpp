#include "encode/EncoderChoice.h"

#include "common/FrameMemory.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Speed
{
    const char *preset;
    // Megapixels a second that one encoder thread takes in, colour frames converted first.
    double megapixelsPerThread;
};

// Best compression first. Between these two the other presets gain too little speed for the
// size of their files.
const std::vector<Speed> speeds = {{"veryfast", 105}, {"ultrafast", 270}};
// What each further thread adds: the encoder splits every frame into slices, but the colour
// conversion before it stays in one thread, and the capture and the preview need a share of
// the same cores.
constexpr double extraThreadShare = 0.3;
// Grey frames, measured against colour ones of the same size.
constexpr double grayCost = 0.7;

double megapixelsPerSecond(const Speed &speed, int threads)
{
    return speed.megapixelsPerThread * (1 + extraThreadShare * (threads - 1));
}

} // namespace

EncoderChoice EncoderChoice::forCamera(cv::Size frameSize, double fps, bool gray, int cores)
{
    const double rate = FrameMemory::believableFps(fps);
    const double delivered = double(frameSize.area()) * rate / 1e6;
    const double load = delivered * (gray ? grayCost : 1.0);
    const int mostThreads = std::max(1, cores);
    EncoderChoice choice;
    double capacity = 0;
    // Fewer threads first: on a small machine the capture and the preview need the other core
    // more than the file needs the better compression.
    for (int threads = 1; threads <= mostThreads && !choice.keepsUp; ++threads) {
        for (const Speed &speed : speeds) {
            capacity = megapixelsPerSecond(speed, threads);
            choice.settings.preset = speed.preset;
            choice.settings.threads = threads;
            choice.keepsUp = capacity >= load * headroom;
            if (choice.keepsUp)
                break;
        }
    }
    // In the frames' own terms: grey frames of the same size go through faster.
    const double encodable = capacity / (gray ? grayCost : 1.0);
    choice.reason = QStringLiteral("%1 in %2 thread(s) for %3x%4 %5 at %6 fps: the camera "
                                   "delivers %7 Mpixel/s, these settings encode about %8%9")
                        .arg(QString::fromStdString(choice.settings.preset))
                        .arg(choice.settings.threads)
                        .arg(frameSize.width)
                        .arg(frameSize.height)
                        .arg(gray ? QStringLiteral("grey") : QStringLiteral("colour"))
                        .arg(rate, 0, 'g', 4)
                        .arg(delivered, 0, 'f', 0)
                        .arg(encodable, 0, 'f', 0)
                        .arg(choice.keepsUp ? QString()
                                            : QStringLiteral(", the fastest there are: frames "
                                                             "may be lost"));
    return choice;
}
