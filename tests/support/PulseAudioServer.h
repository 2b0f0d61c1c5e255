#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A PulseAudio server of a test's own with one null sink, reached through a socket in a
// temporary folder: what a program plays there can be recorded from the sink's monitor
// (MonitorRecording), without a sound card and without touching any other server. Clients
// reach it when PULSE_SERVER holds address(). It quits with this object, and by itself ten
// seconds after its last client left should the test die first.
class PulseAudioServer
{
public:
    PulseAudioServer();
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer &) = delete;
    PulseAudioServer &operator=(const PulseAudioServer &) = delete;

    // The server and its tools (pactl, parec) are installed.
    static bool isInstalled();

    // Starts the server and waits until it answers; false, with the reason in why, when not.
    bool start(QString *why);
    // "unix:" and the socket's path, as PULSE_SERVER takes it.
    QString address() const;
    QString sinkName() const;

private:
    bool answers();

    QTemporaryDir folder;
    QProcess server;
};
