#include "tests/support/ToneFinder.h"

#include <cstdlib>

namespace {

constexpr int loudness = 32768 / 10;
constexpr int quietBetweenMs = 50;

bool isLoud(qint16 sample)
{
    return std::abs(int(sample)) >= loudness;
}

ToneFinder::Tone toneBetween(const QVector<qint16> &samples, int first, int last, int sampleRate)
{
    int crossings = 0;
    for (int i = first + 1; i <= last; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++crossings;
    }
    const double seconds = double(last - first + 1) / sampleRate;
    return {1000.0 * first / sampleRate, 1000.0 * seconds, crossings / 2.0 / seconds};
}

} // namespace

QVector<ToneFinder::Tone> ToneFinder::find(const QVector<qint16> &samples, int sampleRate)
{
    const int quietBetween = sampleRate * quietBetweenMs / 1000;
    QVector<Tone> tones;
    int first = -1;
    int lastLoud = -1;
    for (int i = 0; i < samples.size(); ++i) {
        if (!isLoud(samples[i]))
            continue;
        if (first >= 0 && i - lastLoud > quietBetween) {
            tones.append(toneBetween(samples, first, lastLoud, sampleRate));
            first = -1;
        }
        if (first < 0)
            first = i;
        lastLoud = i;
    }
    if (first >= 0)
        tones.append(toneBetween(samples, first, lastLoud, sampleRate));
    return tones;
}

double ToneFinder::quietAfterLastMs(const QVector<qint16> &samples, int sampleRate)
{
    int quiet = 0;
    for (auto sample = samples.crbegin(); sample != samples.crend() && !isLoud(*sample); ++sample)
        ++quiet;
    return 1000.0 * quiet / sampleRate;
}
