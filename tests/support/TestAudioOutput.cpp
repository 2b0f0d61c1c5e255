#include "tests/support/TestAudioOutput.h"

#include <QtGlobal>

namespace {

// Longer than the gap between a player's buffers, shorter than the gap between beeps.
constexpr double quietAfterTonesMs = 300;

} // namespace

TestAudioOutput::TestAudioOutput() : monitor(server) {}

bool TestAudioOutput::start(QString *why)
{
    if (!server.start(why))
        return false;
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    return monitor.start(why);
}

bool TestAudioOutput::heardTones(int count)
{
    const QVector<qint16> samples = monitor.samples();
    return ToneFinder::find(samples, MonitorRecording::sampleRate).size() >= count &&
           ToneFinder::quietAfterLastMs(samples, MonitorRecording::sampleRate) >= quietAfterTonesMs;
}

QVector<ToneFinder::Tone> TestAudioOutput::tones()
{
    return ToneFinder::find(monitor.samples(), MonitorRecording::sampleRate);
}
