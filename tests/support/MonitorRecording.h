#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QVector>

class PulseAudioServer;

// Records what a PulseAudioServer's sink plays, as 16-bit mono samples, through parec.
class MonitorRecording
{
public:
    static constexpr int sampleRate = 48000;
    // Short, or the null sink hands its samples over in blocks of seconds.
    static constexpr int latencyMs = 20;

    explicit MonitorRecording(const PulseAudioServer &server);
    ~MonitorRecording();
    MonitorRecording(const MonitorRecording &) = delete;
    MonitorRecording &operator=(const MonitorRecording &) = delete;

    // Starts recording and waits until samples come; false, with the reason in why, when not.
    bool start(QString *why);
    // Every sample recorded so far. Samples arrive while the event loop runs.
    QVector<qint16> samples();

private:
    const QString address;
    const QString monitor;
    QProcess parec;
    QByteArray recorded;
};
