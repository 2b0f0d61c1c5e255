#include "app/CommandLine.h"

#include "generated/ProgramVersion.h"
#include "stimulus/SerialText.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace {

const char sourceOption[] = "--source";
const char cameraModeOption[] = "--camera-mode";
const char eyelidRegionOption[] = "--eyelid-region";
const char eyelidThresholdOption[] = "--eyelid-threshold";
const char serialOption[] = "--serial";
const char serialStartOption[] = "--serial-start";
const char trialsOption[] = "--trials";
const char intervalOption[] = "--iti";
const char openEyeOption[] = "--start-when-open";
const char endOfOptions[] = "--";

bool is(const char *argument, const char *option)
{
    return std::strcmp(argument, option) == 0;
}

// Options whose value is the next argument, taken as it stands even when it looks like an
// option.
bool takesValue(const char *argument)
{
    return is(argument, sourceOption) || is(argument, cameraModeOption) ||
           is(argument, eyelidRegionOption) || is(argument, eyelidThresholdOption) ||
           is(argument, serialOption) || is(argument, serialStartOption) ||
           is(argument, trialsOption) || is(argument, intervalOption) ||
           is(argument, openEyeOption);
}

// The position of the "--" that ends the options, or argc when there is none.
int endOfOptionsAt(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        if (is(argv[i], endOfOptions))
            return i;
        if (takesValue(argv[i]))
            ++i;
    }
    return argc;
}

// The values of every "option VALUE" pair, which are taken out of argc/argv.
QStringList takeOption(int &argc, char **argv, const char *option)
{
    QStringList values;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (is(argv[i], option) && i + 1 < argc) {
            values << QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return values;
}

// The value of the last "option VALUE" pair, given more than once; all are taken out.
QString takeLastOption(int &argc, char **argv, const char *option)
{
    const QStringList values = takeOption(argc, argv, option);
    return values.isEmpty() ? QString() : values.last();
}

// The slots of the held-back operands are still there: the toolkit and takeOption() only
// ever shorten the list.
void appendOperands(int &argc, char **argv, const CommandLine::Operands &operands)
{
    for (char *operand : operands)
        argv[argc++] = operand;
    argv[argc] = nullptr;
}

// The serial port that text names; nothing for none, and a note for a text not understood.
std::optional<SerialSetting> serialSetting(const QString &text, QStringList &notes)
{
    if (text.isNull())
        return std::nullopt;
    QString why;
    const std::optional<SerialSetting> setting = SerialSetting::fromOption(text, &why);
    if (!setting) {
        notes << QStringLiteral("serial port '%1' not understood (%2): none opened").arg(text, why);
        qDebug("%s", qPrintable(notes.last()));
    }
    return setting;
}

// A positional number of something, such as "video length" in " of seconds"; one that is not a
// whole number, or too large for one, counts as 0, and a note says so.
int wholeNumber(const char *argument, const char *name, const char *unit, QStringList &notes)
{
    bool ok = false;
    const QString text = QString::fromUtf8(argument);
    const int value = text.toInt(&ok, 10);
    if (ok)
        return value;
    notes << QStringLiteral("%1 '%2' is not a whole number%3: 0 used")
                 .arg(QLatin1String(name), text, QLatin1String(unit));
    qDebug("%s", qPrintable(notes.last()));
    return 0;
}

// The last value of an option, parsed by Parsed::parse; a text it refuses gives a note, as
// "eyelid region '5,5' not used: ...".
template <class Parsed>
std::optional<Parsed> lastParsed(int &argc, char **argv, const char *option, const char *name,
                                 QStringList &notes)
{
    const QStringList values = takeOption(argc, argv, option);
    if (values.isEmpty())
        return std::nullopt;
    QString reason;
    const std::optional<Parsed> parsed = Parsed::parse(values.last(), reason);
    if (!parsed) {
        notes << QStringLiteral("%1 '%2' not used: %3")
                     .arg(QLatin1String(name), values.last(), reason);
        qDebug("%s", qPrintable(notes.last()));
    }
    return parsed;
}

// The session's plan from its three options; notes for what is not understood, or given
// without a number of trials.
SessionPlan sessionPlan(int &argc, char **argv, QStringList &notes)
{
    SessionPlan plan;
    const QString trials = takeLastOption(argc, argv, trialsOption);
    const std::optional<TrialInterval> interval =
        lastParsed<TrialInterval>(argc, argv, intervalOption, "trial interval", notes);
    plan.openEye = lastParsed<OpenEyeGate>(argc, argv, openEyeOption, "start when open", notes);
    if (!trials.isNull()) {
        bool ok = false;
        plan.trials = trials.toInt(&ok);
        if (!ok || plan.trials < 1) {
            plan.trials = 0;
            notes << QStringLiteral("trials '%1' not used: not a whole number from 1").arg(trials);
            qDebug("%s", qPrintable(notes.last()));
        }
    }
    if (plan.trials == 0 && (interval || plan.openEye)) {
        notes << QStringLiteral("trial interval and start when open not used: no --trials");
        qDebug("%s", qPrintable(notes.last()));
    }
    plan.interval = interval.value_or(TrialInterval{});
    return plan;
}

} // namespace

CommandLine::Request CommandLine::request(int argc, const char *const *argv)
{
    const int end = endOfOptionsAt(argc, argv);
    for (int i = 1; i < end; ++i) {
        if (is(argv[i], "--help") || is(argv[i], "-h"))
            return Request::ShowHelp;
        if (is(argv[i], "--version"))
            return Request::ShowVersion;
        if (takesValue(argv[i]))
            ++i;
    }
    return Request::Run;
}

QByteArray CommandLine::helpText()
{
    return QByteArrayLiteral(
        "Usage: " EYEBLINK_PROGRAM_NAME " [OPTION]... [--]\n"
        "       [WORKING_DIRECTORY VIDEO_LENGTH [CAMERA_INDEX]]\n"
        "Records videos of fixed length from a camera, with a text file that gives every\n"
        "frame's index and its time in milliseconds.\n"
        "\n"
        "Positional arguments, read when at least two are given:\n"
        "  WORKING_DIRECTORY  the folder that gets a new numbered record folder per run\n"
        "  VIDEO_LENGTH       the video length in seconds\n"
        "  CAMERA_INDEX       the camera's position in the camera list, from 0\n"
        "\n"
        "Options:\n"
        "  --source SOURCE    add SOURCE to the camera list, after the platform's cameras\n"
        "                     (may be repeated). SOURCE is one of:\n"
        "                     test         the test camera, 640x480 at 30 fps\n"
        "                     test:WxH@FPS[:MODE]...\n"
        "                                  the test camera at another size and rate (@0:\n"
        "                                  unpaced), with any of these modes:\n"
        "                                  frames=N  ends after N frames\n"
        "                                  gray      one-channel grey frames\n"
        "                                  lose=N    loses every Nth frame\n"
        "                                  burst=N   delivers N frames at a time\n"
        "                                  stall=N   freezes after N frames\n"
        "                     /dev/videoN  a V4L2 camera (Linux), opened as listed ones are\n"
        "                     other text   a video file, an image sequence such as\n"
        "                                  frames/%04d.png, a stream address or a\n"
        "                                  GStreamer pipeline\n"
        "  --camera-mode WxH@FPS[:FOURCC]\n"
        "                     ask the platform's cameras for this frame size, rate and\n"
        "                     pixel format, such as 1280x720@60:MJPG\n"
        "  --eyelid-region X,Y,W,H\n"
        "                     measure the eyelid's closure on every recorded frame in the\n"
        "                     ellipse filling this box of the camera's frame (pixels), into\n"
        "                     a table beside the text file\n"
        "  --eyelid-threshold N\n"
        "                     the grey level (0-255) above which the region's pixels count\n"
        "                     as lid; without it, Otsu's method chooses it on the first frame\n"
        "  --serial DEVICE[:BAUD]\n"
        "                     put the lines that the stimulus hardware sends on this serial\n"
        "                     port during a run into its run record (115200 baud unless\n"
        "                     given), such as /dev/ttyACM0:115200 or COM3\n"
        "  --serial-start TEXT\n"
        "                     send TEXT on the serial port when recording starts (\\n, \\xNN)\n"
        "  --trials N         each press of New record runs a session of N trials, each a\n"
        "                     run of its own; a table of the trials goes into the working\n"
        "                     directory\n"
        "  --iti MIN-MAX      seconds from one trial's result to the next trial, drawn\n"
        "                     uniformly for each trial, such as 10-20 (default 0)\n"
        "  --start-when-open CLOSURE:MS\n"
        "                     with an eyelid region, hold each trial until the closure has\n"
        "                     stayed below CLOSURE for MS ms, such as 0.25:200; after 60 s\n"
        "                     (or 10 x MS) the trial starts all the same\n"
        "  -h, --help         print this help and exit\n"
        "  --version          print the version and exit\n"
        "  --                 end the options: every argument after it is positional\n"
        "\n"
        "The toolkit's own options (such as -style fusion) may be given before \"--\".\n");
}

QByteArray CommandLine::versionText()
{
    return QByteArrayLiteral(EYEBLINK_PROGRAM_NAME " " EYEBLINK_VERSION " (Qt ") + qVersion() +
           ")\n";
}

CommandLine::Operands CommandLine::holdBackOperands(int &argc, char **argv)
{
    const int end = endOfOptionsAt(argc, argv);
    Operands operands(argv + std::min(end + 1, argc), argv + argc);
    argc = end;
    argv[argc] = nullptr;
    return operands;
}

CommandLine CommandLine::parse(int &argc, char **argv, const Operands &operands)
{
    CommandLine line;
    line.sources = takeOption(argc, argv, sourceOption);
    line.cameraMode = takeLastOption(argc, argv, cameraModeOption);
    line.eyelidRegion =
        lastParsed<EyelidRegion>(argc, argv, eyelidRegionOption, "eyelid region", line.notes);
    line.eyelidThreshold = lastParsed<EyelidThreshold>(argc, argv, eyelidThresholdOption,
                                                       "eyelid threshold", line.notes);
    line.serial = serialSetting(takeLastOption(argc, argv, serialOption), line.notes);
    line.serialStart = SerialText::unescaped(takeLastOption(argc, argv, serialStartOption));
    line.session = sessionPlan(argc, argv, line.notes);
    appendOperands(argc, argv, operands);
    if (argc >= 3) {
        line.workingDirectory = QString::fromUtf8(argv[1]);
        line.videoLength = wholeNumber(argv[2], "video length", " of seconds", line.notes);
    }
    if (argc == 4)
        line.cameraIndex = wholeNumber(argv[3], "camera index", "", line.notes);
    return line;
}
