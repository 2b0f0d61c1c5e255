// How late the stimulus hardware's lines land on the recording clock: a recording of the test
// camera runs with the serial port on a pseudo-terminal pair, as the application wires them,
// while this program writes lines to the other end at a steady pace, each stamped with the
// monotonic clock when written. Prints the delay of every line's time in the run record against
// its write (p50, p99, max, in ms on the record's whole milliseconds), when the start message
// left after the recording clock's zero, and the frames the recording lost.

#include "bench/RecordingAnalysis.h"
#include "common/MonotonicClock.h"
#include "runrecord/RunRecord.h"
#include "tests/support/PseudoTerminalPair.h"
#include "tests/support/SerialRecording.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               MonotonicClock::now().time_since_epoch())
        .count();
}

struct Written
{
    QString line;
    qint64 ns = 0;
};

double quantile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(share * double(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The delay of the stimulus hardware's lines in the run "
                                     "record, during a recording of the test camera.");
    parser.addHelpOption();
    const QCommandLineOption mode("mode", "Camera mode WxH@FPS[:gray].", "mode", "640x480@250");
    const QCommandLineOption lines("lines", "Lines to write.", "n", "100");
    const QCommandLineOption spacing("spacing", "Milliseconds between lines.", "ms", "10");
    parser.addOptions({mode, lines, spacing});
    parser.process(app);
    QTextStream out(stdout);

    PseudoTerminalPair pair;
    if (!pair.isReady()) {
        out << "no pseudo-terminal pair: " << pair.why() << '\n';
        return 1;
    }
    QSerialPort peer(pair.peer());
    if (!peer.open(QIODevice::ReadWrite)) {
        out << "the pseudo-terminal's other end did not open\n";
        return 1;
    }
    QTemporaryDir folder;
    std::vector<Written> written;
    {
        SerialRecording recording("test:" + parser.value(mode), {pair.device(), 115200}, "go\n",
                                  folder.path());
        SerialRecording::readLine(peer);
        const int count = parser.value(lines).toInt();
        const qint64 spacingNs = parser.value(spacing).toLongLong() * 1000000;
        const qint64 firstNs = nowNs() + 500000000;
        for (int i = 0; i < count; ++i) {
            const QString line = QString("line %1").arg(i);
            while (nowNs() < firstNs + i * spacingNs)
                QThread::usleep(200);
            written.push_back({line, nowNs()});
            peer.write((line + '\n').toLatin1());
            peer.waitForBytesWritten(1000);
        }
        QThread::msleep(500);
        recording.stop();
        if (!QTest::qWaitFor([&] { return recording.ended(); }, 60000)) {
            out << "the recording gave no result\n";
            return 1;
        }
    }
    const QStringList records = QDir(folder.path()).entryList({"*.json"}, QDir::Files);
    const std::optional<RunRecord> record =
        RunRecord::read(QDir(folder.path()).filePath(records.value(0)));
    if (!record) {
        out << "no run record\n";
        return 1;
    }
    std::vector<double> delays;
    double startMs = -1;
    for (const RunRecord::Event &event : record->events) {
        if (event.name == "serial sent")
            startMs = double(event.ms);
        if (event.name != RunRecord::Event::serialLine)
            continue;
        const auto found = std::find_if(written.begin(), written.end(),
                                        [&](const Written &w) { return w.line == event.detail; });
        if (found != written.end())
            delays.push_back(double(event.ms) -
                             double(found->ns - record->recordingClockZeroNs) / 1e6);
    }
    const QString base = records.value(0).chopped(5);
    const RecordingAnalysis frames = RecordingAnalysis::of(
        QDir(folder.path()).filePath(base + ".txt"), QDir(folder.path()).filePath(base + ".avi"));
    out << parser.value(mode) << ": " << delays.size() << " of " << written.size()
        << " lines in the run record";
    if (!delays.empty())
        out << ", delay after the write p50 " << quantile(delays, 0.5) << " ms, p99 "
            << quantile(delays, 0.99) << " ms, max " << quantile(delays, 1.0) << " ms, min "
            << *std::min_element(delays.begin(), delays.end()) << " ms";
    out << "; start message at " << startMs << " ms; " << frames.produced << " frames, "
        << frames.lost << " lost\n";
    return 0;
}
