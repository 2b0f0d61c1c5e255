#include "encode/EncoderChoice.h"

#include "common/FrameMemory.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <climits>
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

// x264's presets from the fastest to the best-compressing.
const std::array<const char *, 10> presetsBySpeed = {"ultrafast", "superfast", "veryfast", "faster",
                                                     "fast",      "medium",    "slow",     "slower",
                                                     "veryslow",  "placebo"};

int compressionOf(const std::string &preset)
{
    const auto found = std::find(presetsBySpeed.begin(), presetsBySpeed.end(), preset);
    return found == presetsBySpeed.end() ? -1 : int(found - presetsBySpeed.begin());
}

// Settings that leave the thread count to the encoder may take every core: they come last.
int threadRank(const H264Settings &settings)
{
    return settings.threads > 0 ? settings.threads : INT_MAX;
}

// The order in which the choice prefers settings: fewer threads first, so that on a small
// machine the capture and the preview keep a core, then the better compression.
bool preferred(const MeasuredSpeed &a, const MeasuredSpeed &b)
{
    if (threadRank(a.settings) != threadRank(b.settings))
        return threadRank(a.settings) < threadRank(b.settings);
    return compressionOf(a.settings.preset) > compressionOf(b.settings.preset);
}

// "ultrafast in 2 thread(s) for 1280x1024 grey at 200 fps", the start of every reason.
QString settingsForCamera(const H264Settings &settings, cv::Size frameSize, bool gray, double rate)
{
    return QStringLiteral("%1 in %2 thread(s) for %3x%4 %5 at %6 fps")
        .arg(QString::fromStdString(settings.preset))
        .arg(settings.threads)
        .arg(frameSize.width)
        .arg(frameSize.height)
        .arg(gray ? QStringLiteral("grey") : QStringLiteral("colour"))
        .arg(rate, 0, 'g', 4);
}

// The speeds measured for the chosen preset, by threads: "143.8 fps in 1 thread, 260.1 in 2".
QString speedsOfPreset(const QVector<MeasuredSpeed> &speeds, const std::string &preset)
{
    QStringList texts;
    for (const MeasuredSpeed &speed : speeds) {
        if (speed.settings.preset != preset)
            continue;
        const QString fps = QString::number(speed.fps, 'f', 1);
        texts << (texts.isEmpty()
                      ? QStringLiteral("%1 fps in %2 thread%3")
                            .arg(fps)
                            .arg(speed.settings.threads)
                            .arg(QLatin1String(speed.settings.threads == 1 ? "" : "s"))
                      : QStringLiteral("%1 in %2").arg(fps).arg(speed.settings.threads));
    }
    return texts.join(QStringLiteral(", "));
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
    choice.reason = settingsForCamera(choice.settings, frameSize, gray, rate) +
                    QStringLiteral(": the camera delivers %1 Mpixel/s, these settings encode "
                                   "about %2%3")
                        .arg(delivered, 0, 'f', 0)
                        .arg(encodable, 0, 'f', 0)
                        .arg(choice.keepsUp ? QString()
                                            : QStringLiteral(", the fastest there are: frames "
                                                             "may be lost"));
    return choice;
}

EncoderChoice EncoderChoice::fromMeasured(const QVector<MeasuredSpeed> &speeds, double cameraFps,
                                          cv::Size frameSize, bool gray)
{
    const double rate = FrameMemory::believableFps(cameraFps);
    const double needed = rate * headroom;
    QVector<MeasuredSpeed> candidates;
    std::copy_if(speeds.begin(), speeds.end(), std::back_inserter(candidates),
                 [](const MeasuredSpeed &speed) { return speed.fps > 0; });
    std::stable_sort(candidates.begin(), candidates.end(), preferred);
    EncoderChoice choice;
    choice.measured = speeds;
    if (candidates.isEmpty()) {
        choice.reason = settingsForCamera(choice.settings, frameSize, gray, rate) +
                        QStringLiteral(": no speed measured here, frames may be lost");
        return choice;
    }
    auto chosen =
        std::find_if(candidates.begin(), candidates.end(),
                     [needed](const MeasuredSpeed &speed) { return speed.fps >= needed; });
    choice.keepsUp = chosen != candidates.end();
    // The first of the fastest: among equals the one the order prefers.
    if (!choice.keepsUp)
        chosen = std::max_element(
            candidates.begin(), candidates.end(),
            [](const MeasuredSpeed &a, const MeasuredSpeed &b) { return a.fps < b.fps; });
    choice.settings = chosen->settings;
    choice.reason = settingsForCamera(choice.settings, frameSize, gray, rate) +
                    QStringLiteral(": measured here %1; needs %2%3")
                        .arg(speedsOfPreset(candidates, choice.settings.preset))
                        .arg(needed, 0, 'f', 0)
                        .arg(choice.keepsUp ? QString()
                                            : QStringLiteral(", the fastest measured: frames "
                                                             "may be lost"));
    return choice;
}
