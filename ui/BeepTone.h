#pragma once

#include <QObject>
#include <QTemporaryFile>

class QSoundEffect;

// The beep before a recording: a short tone of about 1 kHz that the program makes and plays
// through the audio output, because the platform's bell is silent on most Linux desktops.
// Where there is no audio output, or the tone cannot be played, it rings the bell instead.
// Playing never waits, so an event loop between two beeps keeps serving events.
class BeepTone : public QObject
{
    Q_OBJECT
public:
    static constexpr int frequencyHz = 1000;
    static constexpr int durationMs = 150;

    explicit BeepTone(QObject *parent = nullptr);
    ~BeepTone() override;

    // True once beeps ring the bell instead of playing the tone.
    bool usesBell() const;

public slots:
    // Returns when the beep was asked, as played() reports it.
    qint64 play();

signals:
    // A beep was asked for at ms and handed on at once to the audio output (or the bell), in
    // milliseconds on the monotonic clock that QElapsedTimer reads (msecsSinceReference()).
    // It is heard after the output's latency, which the audio interface does not report.
    void played(qint64 ms);

private:
    enum class Output { Loading, LoadingWithBeepAsked, Tone, Bell };

    bool prepareTone();
    void toneStatusChanged();
    void fallBackToBell(const char *message);

    Output output = Output::Loading;
    QTemporaryFile waveFile;
    QSoundEffect *effect = nullptr;
};
