// Encodes the same frames through FfmpegVideoSink and through the ffmpeg command line (raw
// frames on its standard input, same codec, settings and container) and prints the frames
// per second of both, their ratio, the file sizes and the sink's picture quality, one row per
// H.264 preset. With --calibrate it prints instead what EncoderCalibration measures on this
// machine and the settings chosen from that for a few camera rates: the machine's limit.

#include "bench/PipeEncoder.h"
#include "encode/EncoderCalibration.h"
#include "encode/EncoderChoice.h"
#include "encode/FfmpegVideoSink.h"
#include "encode/SyntheticFrames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <vector>

namespace {

struct Run
{
    double fps = 0;
    qint64 bytes = 0;
};

struct Options
{
    cv::Size size;
    int frames = 0;
    int repeats = 0;
    bool gray = false;
    H264Settings settings;
    // WxH[:gray] to calibrate for; empty: compare the presets.
    QString calibrate;
};

Run throughSink(const std::vector<cv::Mat> &frames, const Options &options, const QString &file)
{
    FfmpegVideoSink sink(options.settings);
    QElapsedTimer timer;
    timer.start();
    bool ok = sink.open(file.toStdString(), 'X' | '2' << 8 | '6' << 16 | '4' << 24, 30.0,
                        options.size, true);
    for (int index = 0; ok && index < options.frames; ++index)
        ok = sink.write(frames[index % frames.size()]);
    ok = sink.release() && ok;
    const double seconds = timer.nsecsElapsed() / 1e9;
    return ok ? Run{options.frames / seconds, QFileInfo(file).size()} : Run{};
}

Run throughCommandLine(const std::vector<cv::Mat> &frames, const Options &options,
                       const QString &file)
{
    PipeEncoder ffmpeg = PipeEncoder::ffmpeg(options.settings, {options.size, options.gray}, file);
    QElapsedTimer timer;
    timer.start();
    bool ok = ffmpeg.start();
    for (int index = 0; ok && index < options.frames; ++index)
        ok = ffmpeg.write(frames[index % frames.size()]);
    ok = ffmpeg.finish() && ok;
    const double seconds = timer.nsecsElapsed() / 1e9;
    return ok ? Run{options.frames / seconds, QFileInfo(file).size()} : Run{};
}

// Mean PSNR of the decoded file against the frames written: the quality the preset gives.
double meanPsnr(const std::vector<cv::Mat> &frames, const QString &file)
{
    cv::VideoCapture capture(file.toStdString(), cv::CAP_FFMPEG);
    cv::Mat decoded;
    double sum = 0;
    std::size_t count = 0;
    for (; capture.read(decoded); ++count) {
        const cv::Mat &written = frames[count % frames.size()];
        if (written.channels() == 1)
            cv::cvtColor(decoded, decoded, cv::COLOR_BGR2GRAY);
        sum += cv::PSNR(written, decoded);
    }
    return count > 0 ? sum / double(count) : 0;
}

// The median of the repeats: one run disturbed by another process should not decide.
Run median(std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.fps < b.fps; });
    return runs[runs.size() / 2];
}

Options parse(const QCoreApplication &app, QStringList &presets)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Throughput of the H.264 video sink against the ffmpeg command line"));
    parser.addHelpOption();
    const QCommandLineOption size({"s", "size"}, "Frame size WxH.", "size", "640x480");
    const QCommandLineOption frames({"n", "frames"}, "Frames per run.", "count", "600");
    const QCommandLineOption repeats({"r", "repeats"}, "Runs per row (median).", "count", "3");
    const QCommandLineOption preset({"p", "presets"}, "x264 presets, comma-separated.", "list",
                                    "ultrafast,superfast,veryfast");
    const H264Settings defaults;
    const QCommandLineOption tune("tune", "x264 tune.", "tune",
                                  QString::fromStdString(defaults.tune));
    const QCommandLineOption crf("crf", "x264 constant quality.", "crf",
                                 QString::number(defaults.crf));
    const QCommandLineOption threads("threads", "Encoder threads (0: auto).", "count",
                                     QString::number(defaults.threads));
    const QCommandLineOption gray("gray", "Grey frames, as a monochrome camera delivers them.");
    const QCommandLineOption calibrate(
        "calibrate",
        "Measure the encoder's candidate settings as the recorder would, then "
        "print the choice for 30, 120, 250 and 500 fps.",
        "WxH[:gray]");
    parser.addOptions({size, frames, repeats, preset, tune, crf, threads, gray, calibrate});
    parser.process(app);

    Options options;
    const QStringList dimensions = parser.value(size).split('x');
    options.size = cv::Size(dimensions.value(0).toInt(), dimensions.value(1).toInt());
    options.frames = std::max(1, parser.value(frames).toInt());
    options.repeats = std::max(1, parser.value(repeats).toInt());
    options.settings.tune = parser.value(tune).toStdString();
    options.settings.crf = parser.value(crf).toInt();
    options.settings.threads = parser.value(threads).toInt();
    options.gray = parser.isSet(gray);
    presets = parser.value(preset).split(',');
    options.calibrate = parser.value(calibrate);
    return options;
}

// Measures every candidate, then chooses from the speeds for a few camera rates.
int calibrate(const QString &mode)
{
    const QStringList parts = mode.split(':');
    const QStringList dimensions = parts[0].split('x');
    const cv::Size size(dimensions.value(0).toInt(), dimensions.value(1).toInt());
    const bool gray = parts.value(1) == "gray";
    QTextStream out(stdout);
    if (size.empty() || (parts.size() > 1 && !gray)) {
        out << "not a frame size: " << mode << " (WxH or WxH:gray)\n";
        return 1;
    }
    const EncoderCalibration calibration(size, gray);
    out << QStringLiteral("%1x%2 %3, %4 cores, at least %5 frames and %6 ms for each\n")
               .arg(size.width)
               .arg(size.height)
               .arg(gray ? "grey" : "colour")
               .arg(QThread::idealThreadCount())
               .arg(calibration.budget().leastFrames)
               .arg(calibration.budget().leastTime.count());
    const QVector<MeasuredSpeed> speeds = calibration.measure();
    for (const MeasuredSpeed &speed : speeds)
        out << QStringLiteral("%1 in %2 thread(s) %3 fps\n")
                   .arg(QString::fromStdString(speed.settings.preset), 9)
                   .arg(speed.settings.threads)
                   .arg(speed.fps, 8, 'f', 1);
    for (const double cameraFps : {30.0, 120.0, 250.0, 500.0})
        out << EncoderChoice::fromMeasured(speeds, cameraFps, size, gray).reason << "\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList presets;
    Options options = parse(app, presets);
    if (!options.calibrate.isEmpty())
        return calibrate(options.calibrate);
    QTemporaryDir directory;
    const std::vector<cv::Mat> frames = SyntheticFrames::make(options.size, 150, options.gray);
    QTextStream out(stdout);
    out << QStringLiteral("%1x%2%8, %3 frames, tune %4, crf %5, threads %6, median of %7\n")
               .arg(options.size.width)
               .arg(options.size.height)
               .arg(options.frames)
               .arg(QString::fromStdString(options.settings.tune))
               .arg(options.settings.crf)
               .arg(options.settings.threads)
               .arg(options.repeats)
               .arg(options.gray ? " grey" : "");
    out << "preset      sink fps   ffmpeg fps  ratio  sink MB  ffmpeg MB  PSNR dB\n";
    for (const QString &preset : presets) {
        options.settings.preset = preset.toStdString();
        std::vector<Run> sinkRuns, lineRuns;
        for (int repeat = 0; repeat < options.repeats; ++repeat) {
            sinkRuns.push_back(throughSink(frames, options, directory.filePath("sink.avi")));
            lineRuns.push_back(throughCommandLine(frames, options, directory.filePath("cli.avi")));
        }
        const Run sink = median(sinkRuns);
        const Run line = median(lineRuns);
        const double psnr = meanPsnr(frames, directory.filePath("sink.avi"));
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(preset, -10)
                   .arg(sink.fps, 9, 'f', 1)
                   .arg(line.fps, 11, 'f', 1)
                   .arg(line.fps > 0 ? sink.fps / line.fps : 0.0, 6, 'f', 2)
                   .arg(sink.bytes / 1e6, 8, 'f', 2)
                   .arg(line.bytes / 1e6, 10, 'f', 2)
                   .arg(psnr, 8, 'f', 1);
        out.flush();
    }
    return 0;
}
