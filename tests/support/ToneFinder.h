#pragma once

#include <QVector>

// Finds tones in recorded samples: stretches louder than a tenth of full scale, apart from
// each other by at least 50 ms of quiet.
class ToneFinder
{
public:
    struct Tone
    {
        double startMs = 0;
        double durationMs = 0;
        double frequencyHz = 0;
    };

    static QVector<Tone> find(const QVector<qint16> &samples, int sampleRate);
    // Milliseconds of samples after the end of the last tone (all of them when none).
    static double quietAfterLastMs(const QVector<qint16> &samples, int sampleRate);
};
