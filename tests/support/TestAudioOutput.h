#pragma once

#include "tests/support/MonitorRecording.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/ToneFinder.h"

#include <QString>
#include <QVector>

// An audio output of the test's own, made this process's output, and what is played there:
// a PulseAudioServer that PULSE_SERVER names, recorded from its sink's monitor.
class TestAudioOutput
{
public:
    TestAudioOutput();

    // Starts the server and the recording; false, with the reason in why, when not.
    bool start(QString *why);
    // At least count tones were heard, and quiet after the last of them: nothing more is on
    // its way.
    bool heardTones(int count);
    // The tones heard so far.
    QVector<ToneFinder::Tone> tones();

private:
    PulseAudioServer server;
    MonitorRecording monitor;
};
