#include "checker/CheckCommand.h"

#include "checker/CheckTable.h"
#include "checker/EventMarks.h"
#include "checker/EyelidCheck.h"
#include "checker/EyelidPlot.h"
#include "checker/IntervalPlot.h"
#include "checker/RecordingFinder.h"
#include "checker/RecordingVerdict.h"
#include "checker/SessionCheck.h"
#include "runrecord/RunRecord.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace {

const char *const name = "eyeblink-check";
const char *const usage = "usage: eyeblink-check [--plot] [--eyelid-region X,Y,W,H "
                          "[--eyelid-threshold N] [--replace-eyelid]] WORKING_DIRECTORY...\n"
                          "       eyeblink-check --session TABLE --align TEXT "
                          "[--us TEXT | --isi MS]\n";

QString plotTitle(const RecordingVerdict &verdict)
{
    return QStringLiteral("%1: %2 lines, %3 fps, largest interval %4 ms")
        .arg(verdict.recording.file({}))
        .arg(verdict.lines)
        .arg(verdict.measuredFps, 0, 'f', 2)
        .arg(verdict.largestIntervalMs, 0, 'f', 0);
}

bool writePlot(const RecordingVerdict &verdict, QTextStream &errors)
{
    const QString fileName = IntervalPlot::fileNameFor(verdict.recording.video());
    const std::optional<RunRecord> record = RunRecord::read(verdict.recording.runRecord());
    const QVector<RunRecord::Event> serialLines =
        record ? EventMarks::serialLines(record->events) : QVector<RunRecord::Event>();
    if (IntervalPlot::draw(verdict.frameMs, plotTitle(verdict), serialLines).save(fileName, "PNG"))
        return true;
    errors << name << ": plot not written: " << fileName << '\n';
    return false;
}

// The eyelid's trace where the recording has a table, with its run record's events when it has
// one; true also where there is no table to draw.
bool writeEyelidPlot(const RecordingFinder::Recording &recording, QTextStream &errors)
{
    const QString tableFile = EyelidCheck::tableFileName(recording);
    if (!QFileInfo::exists(tableFile))
        return true;
    const std::optional<QVector<EyelidTable::Row>> rows = EyelidTable::read(tableFile);
    const std::optional<RunRecord> record = RunRecord::read(recording.runRecord());
    const QString fileName = EyelidPlot::fileNameFor(recording.video());
    const QString title = QStringLiteral("%1: eyelid closure").arg(recording.file({}));
    if (rows &&
        EyelidPlot::draw(*rows, record ? record->events : QVector<RunRecord::Event>(), title)
            .save(fileName, "PNG"))
        return true;
    errors << name << ": plot not written: " << fileName << '\n';
    return false;
}

// The eyelid's table measured from each recording's video; false when one could not be.
bool writeEyelidTables(const QVector<RecordingFinder::Recording> &recordings,
                       const EyelidCheck::Settings &settings, QTextStream &out, QTextStream &errors)
{
    bool written = true;
    for (const RecordingFinder::Recording &recording : recordings) {
        if (recording.unreadable)
            continue;
        QString why;
        switch (EyelidCheck::write(recording, settings, why)) {
        case EyelidCheck::Outcome::Written:
            out << "eyelid table written: " << EyelidCheck::tableFileName(recording) << '\n';
            break;
        case EyelidCheck::Outcome::Kept:
            break;
        case EyelidCheck::Outcome::Failed:
            errors << name << ": " << recording.file({}) << ": " << why << '\n';
            written = false;
        }
    }
    return written;
}

// The eyelid options; nothing when no region is given, and false in ok for a bad text.
std::optional<EyelidCheck::Settings> eyelidSettings(const QString &regionText,
                                                    const QString &thresholdText, bool replace,
                                                    bool &ok, QTextStream &errors)
{
    ok = true;
    if (regionText.isNull()) {
        ok = thresholdText.isNull() && !replace;
        if (!ok)
            errors << name << ": --eyelid-threshold and --replace-eyelid need --eyelid-region\n";
        return std::nullopt;
    }
    QString why;
    const std::optional<EyelidRegion> region = EyelidRegion::parse(regionText, why);
    std::optional<EyelidThreshold> threshold;
    if (region && !thresholdText.isNull())
        threshold = EyelidThreshold::parse(thresholdText, why);
    ok = region && (thresholdText.isNull() || threshold);
    if (!ok) {
        errors << name << ": " << why << '\n';
        return std::nullopt;
    }
    return EyelidCheck::Settings{*region, threshold, replace};
}

// Where the US is, from --us or --isi; nothing, and a word on errors, for both or a bad --isi.
std::optional<SessionTrials::Us> usOf(const QString &text, const QString &isi, QTextStream &errors)
{
    if (!text.isNull() && !isi.isNull()) {
        errors << name << ": --us and --isi name the US twice: give one\n";
        return std::nullopt;
    }
    if (isi.isNull())
        return SessionTrials::Us{text, std::nullopt};
    bool ok = false;
    const double ms = isi.toDouble(&ok);
    if (!ok || ms <= 0) {
        errors << name << ": --isi " << isi << " is not milliseconds above 0\n";
        return std::nullopt;
    }
    return SessionTrials::Us{QString(), ms};
}

} // namespace

int CheckCommand::run(const QStringList &arguments, QTextStream &out, QTextStream &errors)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks every recording under the working directories: the frames that decode from\n"
        "the video against the lines of the text file, and both against the run record.\n"
        "Exit status: 0 when all pass, 1 when one fails, none is found or a plot cannot be\n"
        "written, 2 for bad arguments."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption plotOption(
        QStringLiteral("plot"),
        QStringLiteral("Also write beside each video a picture of its frame intervals."));
    parser.addOption(plotOption);
    const QCommandLineOption regionOption(
        QStringLiteral("eyelid-region"),
        QStringLiteral("Measure the eyelid's closure on every frame of each video, in the ellipse "
                       "filling this box of the frame, into a table beside the text file where "
                       "there is none."),
        QStringLiteral("X,Y,W,H"));
    const QCommandLineOption thresholdOption(
        QStringLiteral("eyelid-threshold"),
        QStringLiteral("The grey level (0-255) above which the region's pixels count as lid; "
                       "without it, Otsu's method chooses it on each video's first frame."),
        QStringLiteral("N"));
    const QCommandLineOption replaceOption(
        QStringLiteral("replace-eyelid"),
        QStringLiteral("Replace the eyelid tables that recordings already have."));
    parser.addOptions({regionOption, thresholdOption, replaceOption});
    const QCommandLineOption sessionOption(
        QStringLiteral("session"),
        QStringLiteral("Draw the session's trials aligned on --align beside its table, as "
                       "session_..._traces.png, and print the share of conditioned responses "
                       "per block of 10 trials."),
        QStringLiteral("TABLE"));
    const QCommandLineOption alignOption(
        QStringLiteral("align"),
        QStringLiteral("The stimulus line the trials are aligned on (the CS): the first that "
                       "equals or begins with TEXT."),
        QStringLiteral("TEXT"));
    const QCommandLineOption usOption(
        QStringLiteral("us"),
        QStringLiteral("The stimulus line of the US: the first after the CS's that equals or "
                       "begins with TEXT."),
        QStringLiteral("TEXT"));
    const QCommandLineOption isiOption(QStringLiteral("isi"),
                                       QStringLiteral("The US comes MS milliseconds after the CS."),
                                       QStringLiteral("MS"));
    parser.addOptions({sessionOption, alignOption, usOption, isiOption});
    parser.addPositionalArgument(
        QStringLiteral("folders"),
        QStringLiteral("Working directories, searched with the folders inside them."),
        QStringLiteral("WORKING_DIRECTORY..."));
    if (!parser.parse(arguments)) {
        errors << name << ": " << parser.errorText() << '\n' << usage;
        return BadArguments;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return AllPassed;
    }
    if (parser.isSet(sessionOption)) {
        const std::optional<SessionTrials::Us> us =
            usOf(parser.value(usOption), parser.value(isiOption), errors);
        if (!us || !parser.isSet(alignOption)) {
            if (us)
                errors << name << ": --session needs --align\n";
            errors << usage;
            return BadArguments;
        }
        return SessionCheck::run(parser.value(sessionOption), parser.value(alignOption), *us, out,
                                 errors);
    }
    bool eyelidOk = true;
    const std::optional<EyelidCheck::Settings> eyelid =
        eyelidSettings(parser.value(regionOption), parser.value(thresholdOption),
                       parser.isSet(replaceOption), eyelidOk, errors);
    if (!eyelidOk) {
        errors << usage;
        return BadArguments;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.isEmpty()) {
        errors << name << ": no working directory given\n" << usage;
        return BadArguments;
    }
    for (const QString &folder : folders) {
        if (!QFileInfo(folder).isDir()) {
            errors << name << ": no such folder: " << folder << '\n' << usage;
            return BadArguments;
        }
    }

    const QVector<RecordingFinder::Recording> recordings = RecordingFinder::find(folders);
    if (recordings.isEmpty()) {
        errors << name << ": no recordings found\n";
        return SomeFailed;
    }
    QVector<RecordingVerdict> verdicts;
    for (const RecordingFinder::Recording &recording : recordings)
        verdicts.append(RecordingVerdict::of(recording));
    out << CheckTable::text(verdicts);
    const int failed = int(std::count_if(verdicts.begin(), verdicts.end(),
                                         [](const RecordingVerdict &v) { return !v.passed(); }));
    out << verdicts.size() << " recordings, " << failed << " failed\n";

    const bool measured = !eyelid || writeEyelidTables(recordings, *eyelid, out, errors);
    bool plotted = true;
    if (parser.isSet(plotOption)) {
        for (const RecordingVerdict &verdict : verdicts) {
            if (verdict.recording.unreadable)
                continue;
            plotted = writePlot(verdict, errors) && plotted;
            plotted = writeEyelidPlot(verdict.recording, errors) && plotted;
        }
    }
    return failed == 0 && measured && plotted ? AllPassed : SomeFailed;
}
