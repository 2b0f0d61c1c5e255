#include "tests/support/MonitorRecording.h"

#include "tests/support/PulseAudioServer.h"

#include <QDeadlineTimer>
#include <QtEndian>

namespace {

constexpr int startTimeoutMs = 15000;
// The monitor delivers its first samples only after it has settled; wait for this many.
constexpr int settledBytes = MonitorRecording::sampleRate / 10 * 2;

} // namespace

MonitorRecording::MonitorRecording(const PulseAudioServer &server)
    : address(server.address()), monitor(server.sinkName() + ".monitor")
{
}

MonitorRecording::~MonitorRecording()
{
    if (parec.state() == QProcess::NotRunning)
        return;
    parec.terminate();
    if (!parec.waitForFinished(5000)) {
        parec.kill();
        parec.waitForFinished(5000);
    }
}

bool MonitorRecording::start(QString *why)
{
    parec.start("parec", {"--server=" + address, "--device=" + monitor, "--format=s16le",
                          "--rate=" + QString::number(sampleRate), "--channels=1", "--raw",
                          "--latency-msec=" + QString::number(latencyMs)});
    const QDeadlineTimer deadline(startTimeoutMs);
    while (recorded.size() < settledBytes) {
        if (!parec.waitForReadyRead(int(deadline.remainingTime()))) {
            *why = "parec records nothing: " + QString::fromLocal8Bit(parec.readAllStandardError());
            return false;
        }
        recorded += parec.readAllStandardOutput();
    }
    return true;
}

QVector<qint16> MonitorRecording::samples()
{
    recorded += parec.readAllStandardOutput();
    QVector<qint16> values(recorded.size() / 2);
    qFromLittleEndian<qint16>(recorded.constData(), values.size(), values.data());
    return values;
}
