#include "ui/BeepTone.h"

#include "ui/AudioOutputs.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QSoundEffect>
#include <QUrl>
#include <QtMath>

#include <algorithm>

namespace {

constexpr int sampleRate = 48000;
// Of full scale: clearly heard, far from clipping.
constexpr double amplitude = 0.5;
// Ramps at both ends keep the tone from clicking.
constexpr int rampMs = 5;
// Silence after the tone. Some versions of the sound effect stop their output as soon as the
// last sample has been handed to the audio server, which cuts off what it still buffers.
constexpr int trailingSilenceMs = 250;

qint64 monotonicMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

// 16-bit mono PCM in a RIFF WAVE file, the form every audio backend reads.
QByteArray toneWave()
{
    const int samples = sampleRate * BeepTone::durationMs / 1000;
    const int silentSamples = sampleRate * trailingSilenceMs / 1000;
    const double rampSamples = sampleRate * rampMs / 1000.0;
    const auto dataBytes = quint32((samples + silentSamples) * 2);
    QByteArray wave;
    QDataStream out(&wave, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    const quint16 pcm = 1, channels = 1, bytesPerSample = 2, bitsPerSample = 16;
    out << quint32(16) << pcm << channels << quint32(sampleRate)
        << quint32(sampleRate * bytesPerSample) << bytesPerSample << bitsPerSample;
    out.writeRawData("data", 4);
    out << dataBytes;
    for (int i = 0; i < samples; ++i) {
        const double ramp = std::min({1.0, i / rampSamples, (samples - 1 - i) / rampSamples});
        const double phase = 2 * M_PI * BeepTone::frequencyHz * i / sampleRate;
        out << qint16(qRound(32767 * amplitude * ramp * std::sin(phase)));
    }
    for (int i = 0; i < silentSamples; ++i)
        out << qint16(0);
    return wave;
}

} // namespace

BeepTone::BeepTone(QObject *parent)
    : QObject(parent), waveFile(QDir::tempPath() + QStringLiteral("/eyeblink-beep-XXXXXX.wav"))
{
    if (!AudioOutputs::exists()) {
        fallBackToBell("Beeps ring the bell: no audio output");
        return;
    }
    if (!prepareTone()) {
        fallBackToBell("Beeps ring the bell: beep tone not written");
        return;
    }
    effect = new QSoundEffect(this);
    connect(effect, &QSoundEffect::statusChanged, this, &BeepTone::toneStatusChanged);
    effect->setSource(QUrl::fromLocalFile(waveFile.fileName()));
}

BeepTone::~BeepTone() = default;

bool BeepTone::usesBell() const
{
    return output == Output::Bell;
}

qint64 BeepTone::play()
{
    const qint64 asked = monotonicMs();
    switch (output) {
    case Output::Loading:
    case Output::LoadingWithBeepAsked:
        // The sound effect plays it once the tone is loaded, which takes a few milliseconds.
        output = Output::LoadingWithBeepAsked;
        effect->play();
        break;
    case Output::Tone:
        effect->play();
        break;
    case Output::Bell:
        QApplication::beep();
        break;
    }
    emit played(asked);
    return asked;
}

bool BeepTone::prepareTone()
{
    const QByteArray wave = toneWave();
    return waveFile.open() && waveFile.write(wave) == wave.size() && waveFile.flush();
}

void BeepTone::toneStatusChanged()
{
    if (output == Output::Bell)
        return;
    if (effect->status() == QSoundEffect::Ready) {
        output = Output::Tone;
    } else if (effect->status() == QSoundEffect::Error) {
        const bool beepAsked = output == Output::LoadingWithBeepAsked;
        fallBackToBell("Beeps ring the bell: beep tone not playable");
        effect->deleteLater();
        effect = nullptr;
        if (beepAsked)
            QApplication::beep();
    }
}

void BeepTone::fallBackToBell(const char *message)
{
    qDebug("%s", message);
    output = Output::Bell;
}
