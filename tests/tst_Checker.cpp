#include "capture/TestCamera.h"
#include "checker/CheckTable.h"
#include "checker/EyelidPlot.h"
#include "checker/IntervalPlot.h"
#include "checker/RecordingFinder.h"
#include "checker/RecordingVerdict.h"
#include "encode/FfmpegVideoSink.h"
#include "eyelid/EyelidTable.h"
#include "runrecord/RecordingNames.h"
#include "runrecord/RunRecord.h"
#include "tests/support/RecordingFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Recordings made with the test camera and the real video sink, then damaged one way each,
// checked through the checker's library and through its program.
using Fault = std::function<void(const RecordingFinder::Recording &)>;
Q_DECLARE_METATYPE(Fault)

class CheckerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void verdict_data();
    void verdict();
    void findsRecordingsInsideFolders();
    void commandTable();
    void commandExitStatus_data();
    void commandExitStatus();
    void plotsWrittenBesideVideos();
    void eyelidTableWrittenOnlyWhereMissing();
    void plotNotWrittenFails();
    void plotShowsSpikeWhereItHappened();
    void medianSeenOverSteadyLine();
    void unreadableFolderFails_data();
    void unreadableFolderFails();
    void notARegularFileFails_data();
    void notARegularFileFails();

private:
    RecordingFinder::Recording copyOfGood(const QString &folderName);
    QString workFolder(const QString &name) const { return work->filePath(name); }

    QTemporaryDir made;
    RecordingFinder::Recording good;
    std::unique_ptr<QTemporaryDir> work;
};

namespace {

constexpr int frames = 100;

// One recording as the recorder makes it: frames of the paced test camera into the video
// sink, a line with each frame's time after it was written, and the run record at the end.
RecordingFinder::Recording record(const QString &folder)
{
    TestCamera::Settings settings;
    settings.width = 320;
    settings.height = 240;
    settings.fps = 100;
    TestCamera camera(settings);
    const RecordingNames names(folder.toStdString(), RecordingNames::stamp(std::time(nullptr)));
    FfmpegVideoSink sink;
    if (!sink.open(names.videoFileName(), VideoCodes::h264[0], 30.0, camera.frameSize(), true))
        return {};
    QFile text(QString::fromStdString(names.textFileName()));
    if (!text.open(QIODevice::WriteOnly))
        return {};
    RunRecord run;
    run.started = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> times;
    for (int index = 0; index < frames; ++index) {
        cv::Mat frame;
        if (!camera.read(frame) || !sink.write(frame))
            return {};
        times.append(clock.elapsed());
        text.write(QByteArray::number(index) + ' ' + QByteArray::number(times.back()) + '\n');
    }
    if (!sink.release())
        return {};
    run.source = {settings.displayName(), "test:320x240@100", "test camera"};
    run.frameSize = QSize(settings.width, settings.height);
    run.pixelFormat = "BGR24";
    run.measuredFps = RunRecord::measuredFpsOf(times);
    run.largestIntervalMs = RunRecord::largestIntervalMsOf(times);
    run.frames = run.lines = frames;
    run.video = {"h264", "X264", {}};
    run.result = RunRecord::Result::Successful;
    run.endedBy = RunRecord::EndedBy::Timer;
    run.events = {{"recording started", 0}, {"stop asked", times.back()}};
    if (!run.write(QString::fromStdString(names.runRecordFileName())))
        return {};
    const QFileInfo video(QString::fromStdString(names.videoFileName()));
    return {video.path(), video.completeBaseName()};
}

QByteArray contentOf(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void replace(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

Fault editLines(std::function<void(QByteArrayList &)> edit)
{
    return [edit](const RecordingFinder::Recording &recording) {
        QByteArrayList lines = contentOf(recording.text()).split('\n');
        lines.removeLast(); // after the last line's end
        edit(lines);
        replace(recording.text(), lines.join('\n') + '\n');
    };
}

Fault editRunRecord(std::function<void(QJsonObject &)> edit)
{
    return [edit](const RecordingFinder::Recording &recording) {
        QJsonObject json = QJsonDocument::fromJson(contentOf(recording.runRecord())).object();
        edit(json);
        replace(recording.runRecord(), QJsonDocument(json).toJson());
    };
}

void truncateVideo(const RecordingFinder::Recording &recording)
{
    QFile video(recording.video());
    QVERIFY(video.resize(video.size() * 6 / 10));
}

void removeLine(const RecordingFinder::Recording &recording)
{
    editLines([](QByteArrayList &lines) { lines.removeAt(40); })(recording);
}

struct CheckerRun
{
    int status = -1;
    QString out;
    QString errors;
};

// wrapper: a command that runs the checker, such as one that drops privileges.
CheckerRun runChecker(const QStringList &arguments, const QStringList &wrapper = {})
{
    QProcess checker;
    if (wrapper.isEmpty())
        checker.start(CHECKER_PROGRAM, arguments);
    else
        checker.start(wrapper.first(), wrapper.mid(1) + QStringList{CHECKER_PROGRAM} + arguments);
    CheckerRun run;
    if (!checker.waitForFinished(60000) || checker.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = checker.exitCode();
    run.out = QString::fromLocal8Bit(checker.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(checker.readAllStandardError());
    return run;
}

// A command that runs a program as a user without the privileges to read what its owner
// forbids: for root, the user nobody; for anyone else, nothing is needed. Empty, with why,
// when no such user can be had.
std::optional<QStringList> unprivileged(QString *why)
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        return QStringList();
    if (!::getpwnam("nobody")) {
        *why = "no user nobody to drop privileges to";
        return std::nullopt;
    }
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty()) {
        *why = "setpriv is not installed";
        return std::nullopt;
    }
    return QStringList{setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
#else
    *why = "permissions are a Unix matter here";
    return std::nullopt;
#endif
}

// The rows of the checker's table, the heading and the count left out.
QStringList tableRows(const QString &out)
{
    QStringList rows = out.split('\n', Qt::SkipEmptyParts);
    return rows.mid(1, rows.size() - 2);
}

} // namespace

void CheckerTest::initTestCase()
{
    QVERIFY(made.isValid());
    QVERIFY(QDir(made.path()).mkdir("1"));
    good = record(made.filePath("1"));
    QVERIFY2(!good.baseName.isEmpty(), "the test recording could not be made");
}

void CheckerTest::init()
{
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(work->isValid());
}

RecordingFinder::Recording CheckerTest::copyOfGood(const QString &folderName)
{
    const RecordingFinder::Recording copy{workFolder(folderName), good.baseName};
    QDir().mkpath(copy.folder);
    for (const char *suffix : {".avi", ".txt", ".json"})
        QFile::copy(good.file(suffix), copy.file(suffix));
    return copy;
}

void CheckerTest::verdict_data()
{
    // Patterns, * for any text, that must each match one of the problems found, in order.
    // Some faults show in more ways, depending on the recording's own timing.
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QStringList>("problems");
    const auto none = Fault([](const RecordingFinder::Recording &) {});
    const auto remove = [](const char *suffix) {
        return Fault([suffix](const RecordingFinder::Recording &recording) {
            QVERIFY(QFile::remove(recording.file(suffix)));
        });
    };
    QTest::newRow("good recording") << none << QStringList{};
    QTest::newRow("good recording without run record") << remove(".json") << QStringList{};
    QTest::newRow("Windows line ends") << editLines([](QByteArrayList &lines) {
        for (QByteArray &line : lines)
            line += '\r';
    }) << QStringList{};
    QTest::newRow("missing frame line")
        << Fault(removeLine)
        << QStringList{"100 frames, 99 lines", "index 41 where 40 belongs", "run record: 100 lines",
                       "run record: * fps"};
    QTest::newRow("truncated video")
        << Fault(truncateVideo)
        << QStringList{"* frames, 100 lines", "video declares 100 frames, * decode",
                       "run record: 100 frames"};
    QTest::newRow("time goes back")
        << editLines([](QByteArrayList &lines) { lines[50] = "50 0"; })
        << QStringList{"time goes back at index 50", "run record: largest interval *"};
    QTest::newRow("last line cut off") << Fault([](const RecordingFinder::Recording &recording) {
        replace(recording.text(), contentOf(recording.text()).chopped(1));
    }) << QStringList{"1 lines not \"<index> <ms>\", the first is line 100"};
    QTest::newRow("text file missing")
        << remove(".txt") << QStringList{"text file missing", "run record: 100 lines"};
    QTest::newRow("video missing")
        << remove(".avi") << QStringList{"video missing", "run record: 100 frames"};
    QTest::newRow("run record counts other frames")
        << editRunRecord([](QJsonObject &json) { json["frames"] = 101; })
        << QStringList{"run record: 101 frames"};
    QTest::newRow("run record of another frame size") << editRunRecord([](QJsonObject &json) {
        json["frameSize"] = QJsonArray{640, 480};
    }) << QStringList{"run record: frame size 640x480, video 320x240"};
    QTest::newRow("frames lost") << editRunRecord([](QJsonObject &json) {
        json["framesLost"] = 2;
        json["result"] = "failed";
        json["endedBy"] = "frames lost";
    }) << QStringList{"2 frames lost", "run failed: frames lost"};
    QTest::newRow("run record left by a killed program") << editRunRecord([](QJsonObject &json) {
        json["result"] = "unfinished";
        json["endedBy"] = QJsonValue();
    }) << QStringList{"run record unfinished: the recording never ended"};
    QTest::newRow("run record unreadable")
        << Fault([](const RecordingFinder::Recording &recording) {
               replace(recording.runRecord(), "{\"frames\": 1");
           })
        << QStringList{"run record unreadable: *"};
}

void CheckerTest::verdict()
{
    QFETCH(Fault, fault);
    QFETCH(QStringList, problems);
    const RecordingFinder::Recording recording = copyOfGood("1");
    fault(recording);
    const QVector<RecordingFinder::Recording> found = RecordingFinder::find({work->path()});
    QCOMPARE(found.size(), 1);
    const RecordingVerdict verdict = RecordingVerdict::of(found.front());
    const QString reported = verdict.problems.join(" | ");
    int next = 0;
    for (const QString &problem : problems) {
        const QRegularExpression expected(QRegularExpression::wildcardToRegularExpression(problem));
        while (next < verdict.problems.size() && !expected.match(verdict.problems[next]).hasMatch())
            ++next;
        QVERIFY2(next < verdict.problems.size(), qPrintable(problem + " not in: " + reported));
    }
    QVERIFY2(verdict.passed() == problems.isEmpty(), qPrintable(reported));
}

void CheckerTest::findsRecordingsInsideFolders()
{
    copyOfGood("10");
    copyOfGood("2");
    copyOfGood("2/again");
    // Same second: the later recording's files carry _2.
    for (const char *suffix : {".avi", ".txt"})
        QFile::copy(good.file(suffix), workFolder("2/" + good.baseName + "_2" + suffix));
    replace(workFolder("2/notes.txt"), "not a recording\n");
    replace(workFolder("2/stimulus.json"), "{}");

    QStringList found;
    for (const RecordingFinder::Recording &recording : RecordingFinder::find({work->path()}))
        found.append(QDir(work->path()).relativeFilePath(recording.file({})));
    QCOMPARE(found, QStringList({"2/" + good.baseName, "2/" + good.baseName + "_2",
                                 "2/again/" + good.baseName, "10/" + good.baseName}));
}

void CheckerTest::commandTable()
{
    copyOfGood("1");
    removeLine(copyOfGood("2"));
    truncateVideo(copyOfGood("10"));
    const CheckerRun run = runChecker({work->path()});
    QCOMPARE(run.status, 1);
    const QStringList rows = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 5);
    QVERIFY2(
        QRegularExpression("^folder +recording +frames +lines +fps +largest ms +lost +verdict$")
            .match(rows[0])
            .hasMatch(),
        qPrintable(rows[0]));
    const QString base = QRegularExpression::escape(good.baseName);
    const QString folder = QRegularExpression::escape(work->path());
    const QStringList expected{
        "^" + folder + "/1 +" + base + " +100 +100 +\\d+\\.\\d\\d +\\d+ +0 +ok$",
        "^" + folder + "/2 +" + base +
            " +100 +99 +\\d+\\.\\d\\d +\\d+ +0 +FAIL: 100 frames, 99 lines; ",
        "^" + folder + "/10 +" + base +
            " +\\d+ +100 +\\d+\\.\\d\\d +\\d+ +0 +FAIL: \\d+ frames, 100 lines; ",
    };
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(QRegularExpression(expected[i]).match(rows[i + 1]).hasMatch(),
                 qPrintable(rows[i + 1]));
    QCOMPARE(rows[4], QString("3 recordings, 2 failed"));
}

void CheckerTest::commandExitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errors");
    QTest::newRow("good recording") << QStringList{"WORK"} << QStringList{"1"} << 0 << "";
    QTest::newRow("two folders given")
        << QStringList{"WORK/1", "WORK/2"} << QStringList{"1", "2"} << 0 << "";
    QTest::newRow("folder without recordings")
        << QStringList{"WORK"} << QStringList{} << 1 << "eyeblink-check: no recordings found";
    QTest::newRow("folder that does not exist")
        << QStringList{"WORK/1", "WORK/missing"} << QStringList{"1"} << 2
        << "eyeblink-check: no such folder: WORK/missing";
    QTest::newRow("a file instead of a folder")
        << QStringList{"WORK/1/" + QString::fromLatin1("x.txt")} << QStringList{"1"} << 2
        << "eyeblink-check: no such folder: WORK/1/x.txt";
    QTest::newRow("no folder given")
        << QStringList{} << QStringList{} << 2 << "eyeblink-check: no working directory given";
    QTest::newRow("unknown option") << QStringList{"--plott", "WORK"} << QStringList{"1"} << 2
                                    << "eyeblink-check: Unknown option 'plott'.";
    QTest::newRow("eyelid measured")
        << QStringList{"--eyelid-region", "10,10,40,30", "--eyelid-threshold", "80", "WORK"}
        << QStringList{"1"} << 0 << "";
    QTest::newRow("eyelid region not of the form")
        << QStringList{"--eyelid-region", "10,10", "WORK"} << QStringList{"1"} << 2
        << "eyeblink-check: eyelid region '10,10' is not X,Y,W,H in whole pixels";
    QTest::newRow("eyelid threshold out of range")
        << QStringList{"--eyelid-region", "10,10,40,30", "--eyelid-threshold", "256", "WORK"}
        << QStringList{"1"} << 2
        << "eyeblink-check: eyelid threshold '256' is not a whole number from 0 to 255";
    QTest::newRow("eyelid threshold without a region")
        << QStringList{"--eyelid-threshold", "80", "WORK"} << QStringList{"1"} << 2
        << "eyeblink-check: --eyelid-threshold and --replace-eyelid need --eyelid-region";
}

void CheckerTest::commandExitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, folders);
    QFETCH(int, status);
    QFETCH(QString, errors);
    for (const QString &folder : folders)
        copyOfGood(folder);
    QDir().mkpath(workFolder("1"));
    replace(workFolder("1/x.txt"), "");
    arguments.replaceInStrings("WORK", work->path());
    errors.replace("WORK", work->path());
    const CheckerRun run = runChecker(arguments);
    QCOMPARE(run.status, status);
    // The toolkit may add warnings of its own.
    const QStringList messages =
        run.errors.split('\n').filter(QRegularExpression("^eyeblink-check"));
    QCOMPARE(messages, errors.isEmpty() ? QStringList() : QStringList{errors});
}

void CheckerTest::plotsWrittenBesideVideos()
{
    const QVector<RecordingFinder::Recording> recordings{copyOfGood("1"), copyOfGood("2"),
                                                         copyOfGood("10")};
    removeLine(recordings[1]);
    truncateVideo(recordings[2]);
    QCOMPARE(runChecker({"--plot", work->path()}).status, 1);
    for (const RecordingFinder::Recording &recording : recordings) {
        const QImage plot(recording.file("_intervals.png"));
        QCOMPARE(plot.size(), QSize(IntervalPlot::width, IntervalPlot::height));
    }
}

// A table is measured where a recording has none, kept where it has one unless replacing is
// asked for, and drawn with --plot.
void CheckerTest::eyelidTableWrittenOnlyWhereMissing()
{
    const RecordingFinder::Recording recording = copyOfGood("1");
    const QString table = recording.file("_eyelid.csv");
    const QStringList region{"--eyelid-region", "10,10,40,30"};
    const CheckerRun first = runChecker(region + QStringList{work->path()});
    QCOMPARE(first.status, 0);
    QVERIFY(first.out.contains("eyelid table written: " + table));
    const auto rows = EyelidTable::read(table);
    const auto lines = RecordingFiles::readLines(recording.text());
    QVERIFY(rows && lines);
    QCOMPARE(rows->size(), lines->size());
    QCOMPARE(rows->last().ms, double(lines->last().ms));

    replace(table, "frame,ms,closure\n0,0.000,0.5000\n");
    const CheckerRun kept = runChecker(region + QStringList{"--plot", work->path()});
    QCOMPARE(kept.status, 0);
    QVERIFY(!kept.out.contains("eyelid table written"));
    QCOMPARE(EyelidTable::read(table)->size(), 1);
    const QImage plot(EyelidPlot::fileNameFor(recording.video()));
    QCOMPARE(plot.size(), QSize(EyelidPlot::width, EyelidPlot::height));

    QCOMPARE(runChecker(region + QStringList{"--replace-eyelid", work->path()}).status, 0);
    QCOMPARE(EyelidTable::read(table)->size(), lines->size());
}

void CheckerTest::plotNotWrittenFails()
{
    // A folder where the picture belongs cannot be written over.
    const RecordingFinder::Recording recording = copyOfGood("1");
    QVERIFY(QDir().mkdir(recording.file("_intervals.png")));
    const CheckerRun run = runChecker({"--plot", work->path()});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.contains("eyeblink-check: plot not written: " +
                                 recording.file("_intervals.png")),
             qPrintable(run.errors));
    QVERIFY(run.out.contains("1 recordings, 0 failed"));
}

void CheckerTest::plotShowsSpikeWhereItHappened()
{
    // 10 s at 100 fps with one frame 200 ms late in the middle.
    QVector<qint64> times;
    for (qint64 ms = 0; ms <= 10000; ms += 10)
        times.append(ms < 5000 ? ms : ms + 200);
    const QImage plot = IntervalPlot::draw(times, "spike");
    // The highest point of the interval line in each tenth of the picture's width.
    QVector<int> highest(10, plot.height());
    for (int x = 0; x < plot.width(); ++x) {
        for (int y = 0; y < plot.height(); ++y) {
            const QColor pixel = plot.pixelColor(x, y);
            if (pixel.blue() > 120 && pixel.red() < 100 && pixel.green() < 120) {
                const int tenth = x * 10 / plot.width();
                highest[tenth] = std::min(highest[tenth], y);
                break;
            }
        }
    }
    // The spike, near 5 s, rises far above the steady line on either side of it.
    const int spike = std::min(highest[4], highest[5]);
    for (const int tenth : {1, 2, 3, 6, 7, 8}) {
        QVERIFY2(highest[tenth] < plot.height(), "no interval line drawn");
        QVERIFY2(highest[tenth] - spike > plot.height() / 3,
                 qPrintable(QString("spike at %1, line at %2").arg(spike).arg(highest[tenth])));
    }
}

// The median is dashed over the interval line in a colour of its own, so that it shows where a
// steady recording's line lies on it, and the line still shows between its dashes.
void CheckerTest::medianSeenOverSteadyLine()
{
    QVector<qint64> times;
    for (qint64 ms = 0; ms <= 10000; ms += 10)
        times.append(ms);
    const QImage plot = IntervalPlot::draw(times, "steady");
    const auto isMedian = [](const QColor &pixel) {
        return pixel.red() > 180 && pixel.green() < 90 && pixel.blue() < 90;
    };
    const auto isLine = [](const QColor &pixel) {
        return pixel.blue() > 120 && pixel.red() < 100 && pixel.green() < 120;
    };
    // Columns of the plot area's middle third, away from the legend, showing each.
    int medianColumns = 0;
    int lineColumns = 0;
    const int from = plot.width() / 3;
    const int to = 2 * plot.width() / 3;
    for (int x = from; x < to; ++x) {
        bool median = false;
        bool line = false;
        for (int y = 0; y < plot.height(); ++y) {
            median = median || isMedian(plot.pixelColor(x, y));
            line = line || isLine(plot.pixelColor(x, y));
        }
        medianColumns += median;
        lineColumns += line;
    }
    const QString counts = QString("of %1 columns, %2 show the median, %3 the line")
                               .arg(to - from)
                               .arg(medianColumns)
                               .arg(lineColumns);
    QVERIFY2(medianColumns > (to - from) / 2, qPrintable(counts));
    QVERIFY2(lineColumns > (to - from) / 5, qPrintable(counts));
}

void CheckerTest::unreadableFolderFails_data()
{
    QTest::addColumn<QString>("forbidden");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("count");
    QTest::newRow("a recording folder") << "2"
                                        << QStringList{"^WORK/1 +BASE +100 +100 .* ok$",
                                                       "^WORK/2 +- .* FAIL: folder cannot be read$"}
                                        << "2 recordings, 1 failed";
    QTest::newRow("a folder inside a recording folder")
        << "1/later"
        << QStringList{"^WORK/1 +BASE .* ok$", "^WORK/1/later +- .* FAIL: folder cannot be read$",
                       "^WORK/2 +BASE .* ok$"}
        << "3 recordings, 1 failed";
    QTest::newRow("the working directory itself")
        << "." << QStringList{"^WORK +- .* FAIL: folder cannot be read$"}
        << "1 recordings, 1 failed";
}

// A folder that the checker may not read could hold any recording: it fails, never passes
// unseen.
void CheckerTest::unreadableFolderFails()
{
    QFETCH(QString, forbidden);
    QFETCH(QStringList, rows);
    QFETCH(QString, count);
    QString why;
    const std::optional<QStringList> wrapper = unprivileged(&why);
    if (!wrapper)
        QSKIP(qPrintable(why));
    copyOfGood("1");
    copyOfGood("2");
    QVERIFY(QDir().mkpath(workFolder("1/later")));
    // The temporary folder is its owner's alone; the checker's user must get into it.
    const QFile::Permissions open =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    for (const char *folder : {".", "1", "2", "1/later"})
        QVERIFY(QFile::setPermissions(workFolder(folder), open));
    QVERIFY(QFile::setPermissions(workFolder(forbidden), QFile::Permissions()));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(workFolder(forbidden), open); });

    const CheckerRun run = runChecker({work->path()}, *wrapper);
    QCOMPARE(run.status, 1);
    const QStringList found = tableRows(run.out);
    QCOMPARE(found.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const QString pattern = QString(rows[i])
                                    .replace("WORK", QRegularExpression::escape(work->path()))
                                    .replace("BASE", good.baseName);
        QVERIFY2(QRegularExpression(pattern).match(found[i]).hasMatch(), qPrintable(found[i]));
    }
    QVERIFY2(run.out.endsWith(count + "\n"), qPrintable(run.out));
}

void CheckerTest::notARegularFileFails_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("problem");
    QTest::newRow("text file") << ".txt"
                               << "text file: not a regular file";
    QTest::newRow("run record") << ".json"
                                << "run record: not a regular file";
    QTest::newRow("video") << ".avi"
                           << "video: not a regular file";
}

// A FIFO named like a recording's file would hold the checker in its open or read for as long
// as nothing writes into it: it is failed without being opened.
void CheckerTest::notARegularFileFails()
{
#ifndef Q_OS_UNIX
    QSKIP("FIFOs are a Unix matter");
#else
    QFETCH(QString, suffix);
    QFETCH(QString, problem);
    const RecordingFinder::Recording recording = copyOfGood("1");
    copyOfGood("2");
    QVERIFY(QFile::remove(recording.file(suffix)));
    QCOMPARE(::mkfifo(QFile::encodeName(recording.file(suffix)).constData(), 0600), 0);
    QElapsedTimer took;
    took.start();
    const CheckerRun run = runChecker({work->path()});
    QVERIFY2(run.status >= 0, "the checker did not end");
    qInfo("the checker took %lld ms", took.elapsed());
    QCOMPARE(run.status, 1);
    const QStringList found = tableRows(run.out);
    QCOMPARE(found.size(), 2);
    QVERIFY2(found[0].contains("FAIL: ") && found[0].contains(problem), qPrintable(found[0]));
    QVERIFY2(found[1].endsWith(" ok"), qPrintable(found[1]));
    QVERIFY2(run.out.endsWith("2 recordings, 1 failed\n"), qPrintable(run.out));
#endif
}

QTEST_MAIN(CheckerTest)
#include "tst_Checker.moc"
