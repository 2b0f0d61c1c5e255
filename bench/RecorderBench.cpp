// Records the built-in test camera through the real Recorder, preview drawn, and prints one
// table: per camera mode the frames produced, in the video and in the text file, the frames
// lost, how far the text file's times are from the frames' true delivery times, the CPU time
// and the peak memory; then the unpaced throughput against the ffmpeg command line, and the
// peak memory of a long run against a short one. Then the lab cameras' modes through the
// default sink, each with its peers: the same frames, unpaced, through the recorder, the
// ffmpeg command line and a GStreamer pipeline with the settings the recorder chose.
//
// Every measurement runs in a child process of its own, so that each peak memory figure
// belongs to that run alone.

#include "bench/BenchCalibration.h"
#include "bench/BenchRecording.h"
#include "bench/BenchTable.h"
#include "bench/PipeEncoder.h"
#include "bench/ProcessUsage.h"
#include "bench/RecordingAnalysis.h"
#include "capture/BlinkingEye.h"
#include "capture/TestCamera.h"
#include "encode/EncoderChoice.h"
#include "runrecord/RunRecord.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

using Values = BenchTable::Values;

constexpr int throughputWidth = 640;
constexpr int throughputHeight = 480;

BenchRecording::Sink sinkNamed(const QString &name)
{
    return name == "cv" ? BenchRecording::Sink::Cv : BenchRecording::Sink::Ffmpeg;
}

// The settings the sink encodes with, for the command line to match: the video library's
// writer runs x264 at its defaults.
H264Settings settingsOf(BenchRecording::Sink sink)
{
    if (sink == BenchRecording::Sink::Ffmpeg)
        return {};
    H264Settings defaults;
    defaults.preset = "medium";
    defaults.tune.clear();
    return defaults;
}

void printValues(const Values &values)
{
    QStringList fields;
    for (auto value = values.cbegin(); value != values.cend(); ++value)
        fields << value.key() + '=' + value.value();
    std::printf("RESULT %s\n", qPrintable(fields.join(' ')));
}

// "veryfast/1" as the table writes settings; nothing for anything else.
std::optional<H264Settings> settingsNamed(const QString &text)
{
    const QStringList parts = text.split('/');
    bool isNumber = false;
    const int threads = parts.value(1).toInt(&isNumber);
    if (parts.size() != 2 || !isNumber)
        return std::nullopt;
    H264Settings settings;
    settings.preset = parts[0].toStdString();
    settings.threads = threads;
    return settings;
}

// Child: one recording of a camera mode for the given seconds, with the given settings or
// those the program chooses here once it has measured this camera's frames.
int measureMode(const QString &mode, BenchRecording::Sink sink, double seconds, bool eyelid,
                std::optional<H264Settings> settings)
{
    QTemporaryDir folder;
    // The settings that the program chooses here once it has measured this camera's frames.
    const TestCamera::Settings camera =
        TestCamera::Settings::parse("test:" + mode).value_or(TestCamera::Settings());
    std::optional<BenchCalibration> calibration;
    if (sink == BenchRecording::Sink::Ffmpeg && !settings)
        calibration = BenchCalibration::of({camera.width, camera.height}, camera.fps, camera.gray);
    BenchRecording::Result result;
    {
        BenchRecording run("test:" + mode, sink, folder.path(), settings,
                           calibration ? calibration->speeds : nullptr);
        if (eyelid) {
            const cv::Rect eye = BlinkingEye::eyeBox({camera.width, camera.height});
            run.measureEyelid(QRect(eye.x, eye.y, eye.width, eye.height));
        }
        result = run.record(seconds);
    }
    const RecordingAnalysis analysis = RecordingAnalysis::of(result.textFile, result.videoFile);
    Values values = calibration ? calibration->values() : Values();
    if (settings)
        values.insert(
            "chosen",
            QString("%1/%2").arg(QString::fromStdString(settings->preset)).arg(settings->threads));
    values.insert(Values{
        {"ok", QString::number(result.successful)},
        {"produced", QString::number(analysis.produced)},
        {"video", QString::number(analysis.inVideo)},
        {"lines", QString::number(analysis.lines)},
        {"lost", QString::number(analysis.lost)},
        {"p50", QString::number(analysis.errorP50, 'f', 2)},
        {"p99", QString::number(analysis.errorP99, 'f', 2)},
        {"max", QString::number(analysis.errorMax, 'f', 2)},
        {"cpu", QString::number(result.cpuSeconds, 'f', 1)},
        {"cpuPerFrame",
         QString::number(result.cpuSeconds * 1000 / std::max(analysis.produced, 1), 'f', 2)},
        // How long the camera's frames were all kept, from the first.
        {"whole", analysis.firstLost ? QString::number(*analysis.firstLost / camera.fps, 'f', 1)
                                     : QStringLiteral("all")},
        {"rss", QString::number(result.peakResidentBytes)},
        {"drawn", QString::number(result.previewsDrawn)}});
    // Live: every frame went through memory; otherwise some waited on disk for the encoder.
    if (const std::optional<RunRecord> record = RunRecord::read(result.runRecordFile))
        values.insert("saved", record->framesSpilled == 0
                                   ? QStringLiteral("live")
                                   : QStringLiteral("spill:%1,%2s")
                                         .arg(record->framesSpilled)
                                         .arg(record->savingMs / 1000.0, 0, 'f', 1));
    printValues(values);
    return 0;
}

// Every frame the camera makes, through an encoder in a process of its own; false when any
// of it failed.
bool encodeAll(TestCamera &camera, PipeEncoder &encoder)
{
    bool ok = encoder.start();
    cv::Mat frame;
    while (ok && camera.read(frame))
        ok = encoder.write(frame);
    return encoder.finish() && ok;
}

// The same frames as the unpaced test camera makes, through the ffmpeg command line.
double commandLineFps(BenchRecording::Sink sink, int frames, const QString &fileName)
{
    TestCamera::Settings unpaced;
    unpaced.width = throughputWidth;
    unpaced.height = throughputHeight;
    unpaced.fps = 0;
    unpaced.frameLimit = frames;
    TestCamera camera(unpaced);
    PipeEncoder ffmpeg = PipeEncoder::ffmpeg(settingsOf(sink), {camera.frameSize()}, fileName);
    QElapsedTimer timer;
    timer.start();
    const bool ok = encodeAll(camera, ffmpeg);
    return ok ? frames / (timer.nsecsElapsed() / 1e9) : 0;
}

// Child: the unpaced camera through the Recorder, then through the command line. The camera
// runs dry after the last frame, so the recording ends on a capture error by design.
int measureThroughput(BenchRecording::Sink sink, int frames)
{
    QTemporaryDir folder;
    BenchRecording::Result result;
    {
        const QString source = QString("test:%1x%2@0:frames=%3")
                                   .arg(throughputWidth)
                                   .arg(throughputHeight)
                                   .arg(frames);
        BenchRecording run(source, sink, folder.path());
        result = run.record(0);
    }
    const RecordingAnalysis analysis = RecordingAnalysis::of(result.textFile, result.videoFile);
    const double recorderFps = frames / result.seconds;
    const double lineFps = commandLineFps(sink, frames, folder.filePath("command-line.avi"));
    printValues({{"video", QString::number(analysis.inVideo)},
                 {"recorder", QString::number(recorderFps, 'f', 1)},
                 {"line", QString::number(lineFps, 'f', 1)}});
    return 0;
}

// A lab camera's mode, "WxH@FPS" with ":gray" for a monochrome camera, and the settings the
// recorder chooses for it.
struct LabMode
{
    TestCamera::Settings camera;
    H264Settings settings;

    static LabMode of(const QString &mode)
    {
        LabMode lab{TestCamera::Settings::parse("test:" + mode).value_or(TestCamera::Settings()),
                    {}};
        lab.settings = BenchCalibration::of({lab.camera.width, lab.camera.height}, lab.camera.fps,
                                            lab.camera.gray)
                           .choice.settings;
        return lab;
    }
    // The same camera, unpaced, running dry after the given frames.
    QString unpacedSource(int frames) const
    {
        return QString("test:%1x%2@0:frames=%3%4")
            .arg(camera.width)
            .arg(camera.height)
            .arg(frames)
            .arg(camera.gray ? ":gray" : "");
    }
};

struct PeerRun
{
    double fps = 0;
    double cpuPer1000 = 0;
};

// The unpaced camera's frames through an encoder in a process of its own; the CPU time is its
// own and that of making and handing over the frames here, as the recorder's includes both.
PeerRun throughPeer(PipeEncoder encoder, const LabMode &lab, int frames)
{
    TestCamera camera(*TestCamera::Settings::parse(lab.unpacedSource(frames)));
    const double cpuBefore = ProcessUsage::cpuSeconds() + ProcessUsage::childCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const bool ok = encodeAll(camera, encoder);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = ProcessUsage::cpuSeconds() + ProcessUsage::childCpuSeconds() - cpuBefore;
    return ok ? PeerRun{frames / seconds, cpu / frames * 1000} : PeerRun{};
}

// Child: a lab mode's frames, unpaced, through the recorder and its two peers.
int measurePeers(const QString &mode, int frames)
{
    const LabMode lab = LabMode::of(mode);
    QTemporaryDir folder;
    BenchRecording::Result result;
    {
        BenchRecording run(lab.unpacedSource(frames), BenchRecording::Sink::Ffmpeg, folder.path(),
                           lab.settings);
        result = run.record(0);
    }
    const PipeEncoder::Input input{{lab.camera.width, lab.camera.height}, lab.camera.gray};
    const PeerRun ffmpeg = throughPeer(
        PipeEncoder::ffmpeg(lab.settings, input, folder.filePath("ffmpeg.avi")), lab, frames);
    const PeerRun gstreamer = throughPeer(
        PipeEncoder::gstreamer(lab.settings, input, folder.filePath("gstreamer.avi")), lab, frames);
    printValues({{"preset", QString::fromStdString(lab.settings.preset)},
                 {"threads", QString::number(lab.settings.threads)},
                 {"recorder", QString::number(frames / result.seconds, 'f', 1)},
                 {"recorderCpu", QString::number(result.cpuSeconds / frames * 1000, 'f', 2)},
                 {"ffmpeg", QString::number(ffmpeg.fps, 'f', 1)},
                 {"ffmpegCpu", QString::number(ffmpeg.cpuPer1000, 'f', 2)},
                 {"gstreamer", QString::number(gstreamer.fps, 'f', 1)},
                 {"gstreamerCpu", QString::number(gstreamer.cpuPer1000, 'f', 2)}});
    return 0;
}

// Parent: runs this program as a child with the given arguments and reads its result.
Values runChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    Values values;
    for (const QString &line : QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n'))
        if (line.startsWith("RESULT "))
            for (const QString &field : line.mid(7).split(' ', Qt::SkipEmptyParts))
                values.insert(field.section('=', 0, 0), field.section('=', 1));
    return values;
}

struct Plan
{
    QStringList sinks;
    QStringList modes;
    double seconds = 10;
    int throughputFrames = 600;
    QString memoryMode;
    double longSeconds = 60;
    QStringList labModes;
    int peerFrames = 300;
    QStringList eyelidModes;
};

int runPlan(const Plan &plan)
{
    BenchTable table;
    table.header();
    for (const QString &sink : plan.sinks) {
        Values memoryShortRun;
        for (const QString &mode : plan.modes) {
            const Values values = runChild(
                {"--mode", mode, "--sink", sink, "--seconds", QString::number(plan.seconds)});
            table.modeRow(sink, mode, values);
            if (mode == plan.memoryMode)
                memoryShortRun = values;
        }
        table.throughputRow(
            sink, QSize(throughputWidth, throughputHeight), plan.throughputFrames,
            runChild({"--throughput", QString::number(plan.throughputFrames), "--sink", sink}));
        if (plan.memoryMode.isEmpty() || plan.longSeconds <= 0)
            continue;
        if (memoryShortRun.isEmpty())
            memoryShortRun = runChild({"--mode", plan.memoryMode, "--sink", sink, "--seconds",
                                       QString::number(plan.seconds)});
        const Values longRun = runChild({"--mode", plan.memoryMode, "--sink", sink, "--seconds",
                                         QString::number(plan.longSeconds)});
        table.memoryRow(sink, plan.memoryMode, plan.seconds, memoryShortRun, plan.longSeconds,
                        longRun);
    }
    for (const QString &mode : plan.labModes) {
        const Values values = runChild(
            {"--mode", mode, "--sink", "ffmpeg", "--seconds", QString::number(plan.seconds)});
        table.modeRow("ffmpeg", mode, values);
    }
    // The eyelid measured on every frame, against the same camera without it.
    for (const QString &mode : plan.eyelidModes) {
        const QStringList arguments{"--mode", mode,        "--sink",
                                    "ffmpeg", "--seconds", QString::number(plan.seconds)};
        const Values plain = runChild(arguments);
        table.modeRow("ffmpeg", mode, plain);
        // With the same settings, so that the rows differ by the measure alone.
        table.modeRow(
            "ffmpeg", mode + "+region",
            runChild(arguments + QStringList{"--eyelid", "--settings", plain.value("chosen")}));
    }
    for (const QString &mode : plan.labModes)
        table.peerRow(
            mode, plan.peerFrames,
            runChild({"--peers", mode, "--peer-frames", QString::number(plan.peerFrames)}));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // The preview is drawn off screen: what counts is the drawing's cost, not a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Records the test camera through the Recorder and prints "
                                     "frames, timing, CPU and memory per camera mode.");
    parser.addHelpOption();
    const QCommandLineOption sinks("sinks", "Video sinks to compare: cv, ffmpeg.", "list",
                                   "cv,ffmpeg");
    const QCommandLineOption modes("modes", "Camera modes WxH@FPS, comma-separated.", "list",
                                   "640x480@30,640x480@120,640x480@250,1280x720@30,1280x720@60");
    const QCommandLineOption seconds("seconds", "Seconds per camera mode.", "s", "10");
    const QCommandLineOption frames("throughput-frames", "Frames of the unpaced run.", "n", "600");
    const QCommandLineOption memoryMode("memory-mode", "Camera mode of the long run.", "mode",
                                        "640x480@120");
    const QCommandLineOption longSeconds("long-seconds", "Seconds of the long run (0: none).", "s",
                                         "60");
    const QCommandLineOption labModes(
        "lab-modes",
        "Lab camera modes WxH@FPS[:gray] through the ffmpeg sink, each with its peers.", "list",
        "1280x1024@200:gray,1280x1024@200,1920x1080@60,640x480@500:gray,2048x2048@100");
    const QCommandLineOption peerFrames("peer-frames", "Frames of each unpaced peer run.", "n",
                                        "300");
    const QCommandLineOption eyelidModes(
        "eyelid-modes",
        "Modes recorded without and with the eyelid measured in the test eye's box.", "list",
        "640x480@250:gray:eye");
    const QCommandLineOption mode("mode", "Child: record one camera mode.", "mode");
    const QCommandLineOption eyelid("eyelid", "Child: measure the eyelid on the test eye.");
    const QCommandLineOption fixedSettings("settings", "Child: encode with PRESET/THREADS.",
                                           "settings");

    const QCommandLineOption peers("peers", "Child: a lab mode through the peers.", "mode");
    const QCommandLineOption throughput("throughput", "Child: the unpaced run.", "n");
    const QCommandLineOption sink("sink", "Child: the video sink.", "name", "ffmpeg");
    parser.addOptions({sinks, modes, seconds, frames, memoryMode, longSeconds, labModes, peerFrames,
                       eyelidModes, mode, eyelid, fixedSettings, peers, throughput, sink});
    parser.process(app);

    if (parser.isSet(mode))
        return measureMode(parser.value(mode), sinkNamed(parser.value(sink)),
                           parser.value(seconds).toDouble(), parser.isSet(eyelid),
                           settingsNamed(parser.value(fixedSettings)));
    if (parser.isSet(peers))
        return measurePeers(parser.value(peers), parser.value(peerFrames).toInt());
    if (parser.isSet(throughput))
        return measureThroughput(sinkNamed(parser.value(sink)), parser.value(throughput).toInt());
    Plan plan;
    plan.sinks = parser.value(sinks).split(',', Qt::SkipEmptyParts);
    plan.modes = parser.value(modes).split(',', Qt::SkipEmptyParts);
    plan.seconds = parser.value(seconds).toDouble();
    plan.throughputFrames = parser.value(frames).toInt();
    plan.memoryMode = parser.value(memoryMode);
    plan.longSeconds = parser.value(longSeconds).toDouble();
    plan.labModes = parser.value(labModes).split(',', Qt::SkipEmptyParts);
    plan.peerFrames = parser.value(peerFrames).toInt();
    plan.eyelidModes = parser.value(eyelidModes).split(',', Qt::SkipEmptyParts);
    return runPlan(plan);
}
