#include "bench/BenchTable.h"

namespace {

QString megabytes(const QString &bytes)
{
    return QString::number(bytes.toDouble() / (1024 * 1024), 'f', 0);
}

} // namespace

BenchTable::BenchTable() : out(stdout) {}

void BenchTable::header()
{
    out << QString("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13 %14 %15 %16 %17 %18\n")
               .arg("sink", -6)
               .arg("camera", -18)
               .arg("produced", 8)
               .arg("video", 6)
               .arg("lines", 6)
               .arg("lost", 5)
               .arg("err p50", 8)
               .arg("p99", 6)
               .arg("max ms", 7)
               .arg("CPU s", 6)
               .arg("ms/fr", 6)
               .arg("peak MB", 8)
               .arg("drawn", 6)
               .arg("settings", -13)
               .arg("enc fps", 7)
               .arg("max fps", 7)
               .arg("whole s", 7)
               .arg("saved", -16);
    out.flush();
}

void BenchTable::modeRow(const QString &sink, const QString &mode, const Values &v)
{
    out << QString("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13 %14 %15 %16 %17 %18\n")
               .arg(sink, -6)
               .arg(mode, -18)
               .arg(v.value("produced", "-"), 8)
               .arg(v.value("video", "-"), 6)
               .arg(v.value("lines", "-"), 6)
               .arg(v.value("lost", "-"), 5)
               .arg(v.value("p50", "-"), 8)
               .arg(v.value("p99", "-"), 6)
               .arg(v.value("max", "-"), 7)
               .arg(v.value("cpu", "-"), 6)
               .arg(v.value("cpuPerFrame", "-"), 6)
               .arg(megabytes(v.value("rss")), 8)
               .arg(v.value("drawn", "-"), 6)
               .arg(v.value("chosen", "-"), -13)
               .arg(v.value("chosenFps", "-"), 7)
               .arg(v.value("fastestFps", "-"), 7)
               .arg(v.value("whole", "-"), 7)
               .arg(v.value("saved", "-"), -16);
    out.flush();
}

void BenchTable::throughputRow(const QString &sink, QSize frameSize, int frames, const Values &v)
{
    const double recorder = v.value("recorder").toDouble();
    const double line = v.value("line").toDouble();
    out << QString("%1 throughput, %2x%3 unpaced, %4 frames (%5 in the video): recorder "
                   "%6 fps, ffmpeg command line %7 fps, ratio %8\n")
               .arg(sink, -6)
               .arg(frameSize.width())
               .arg(frameSize.height())
               .arg(frames)
               .arg(v.value("video", "-"))
               .arg(recorder, 0, 'f', 1)
               .arg(line, 0, 'f', 1)
               .arg(line > 0 ? recorder / line : 0.0, 0, 'f', 2);
    out.flush();
}

void BenchTable::peerRow(const QString &mode, int frames, const Values &v)
{
    const auto ratio = [&v](const char *recorder, const char *peer) {
        const double theirs = v.value(peer).toDouble();
        return theirs > 0 ? v.value(recorder).toDouble() / theirs : 0.0;
    };
    out << QString("peers  %1 %2 x%3, %4 frames unpaced: recorder %5 fps %6 CPU s/1000 | "
                   "ffmpeg %7 fps %8 CPU s/1000 (recorder/ffmpeg fps %9, CPU %10) | "
                   "gstreamer %11 fps %12 CPU s/1000 (recorder/gstreamer fps %13, CPU %14)\n")
               .arg(mode, -18)
               .arg(v.value("preset", "-"))
               .arg(v.value("threads", "-"))
               .arg(frames)
               .arg(v.value("recorder", "-"))
               .arg(v.value("recorderCpu", "-"))
               .arg(v.value("ffmpeg", "-"))
               .arg(v.value("ffmpegCpu", "-"))
               .arg(ratio("recorder", "ffmpeg"), 0, 'f', 2)
               .arg(ratio("recorderCpu", "ffmpegCpu"), 0, 'f', 2)
               .arg(v.value("gstreamer", "-"))
               .arg(v.value("gstreamerCpu", "-"))
               .arg(ratio("recorder", "gstreamer"), 0, 'f', 2)
               .arg(ratio("recorderCpu", "gstreamerCpu"), 0, 'f', 2);
    out.flush();
}

void BenchTable::memoryRow(const QString &sink, const QString &mode, double shortSeconds,
                           const Values &shortRun, double longSeconds, const Values &longRun)
{
    const double shortPeak = shortRun.value("rss").toDouble();
    const double longPeak = longRun.value("rss").toDouble();
    out << QString("%1 peak memory, %2: %3 s %4 MB, %5 s %6 MB (%7%)\n")
               .arg(sink, -6)
               .arg(mode)
               .arg(shortSeconds)
               .arg(megabytes(shortRun.value("rss")))
               .arg(longSeconds)
               .arg(megabytes(longRun.value("rss")))
               .arg(shortPeak > 0 ? (longPeak / shortPeak - 1) * 100 : 0.0, 0, 'f', 1);
    out.flush();
}
