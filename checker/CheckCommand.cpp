#include "checker/CheckCommand.h"

#include "checker/CheckTable.h"
#include "checker/IntervalPlot.h"
#include "checker/RecordingFinder.h"
#include "checker/RecordingVerdict.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace {

const char *const name = "eyeblink-check";
const char *const usage = "usage: eyeblink-check [--plot] WORKING_DIRECTORY...\n";

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
    if (IntervalPlot::draw(verdict.frameMs, plotTitle(verdict)).save(fileName, "PNG"))
        return true;
    errors << name << ": plot not written: " << fileName << '\n';
    return false;
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

    bool plotted = true;
    if (parser.isSet(plotOption)) {
        for (const RecordingVerdict &verdict : verdicts) {
            if (!verdict.recording.unreadable)
                plotted = writePlot(verdict, errors) && plotted;
        }
    }
    return failed == 0 && plotted ? AllPassed : SomeFailed;
}
