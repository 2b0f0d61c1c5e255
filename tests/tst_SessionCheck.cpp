#include "checker/CheckCommand.h"
#include "checker/ConditionedResponses.h"
#include "checker/SessionPlot.h"
#include "checker/SessionTrials.h"
#include "eyelid/EyelidTable.h"
#include "runrecord/SessionTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <functional>

using Outcome = ConditionedResponses::Outcome;
Q_DECLARE_METATYPE(Outcome)

// The session picture and the conditioned responses per block, on trial folders written here
// whose responses are known: a rest at closure 0.02, a full blink at 1 after the US, and each
// trial's closure before the US as it says.
class SessionCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void outcome_data();
    void outcome();
    void scaleFromTheSession();
    void usFoundByItsLine();
    void blocksOfTen();
    void badArguments_data();
    void badArguments();
    void programTakesTheSessionOption();
};

namespace {

constexpr double csMs = 1500;
constexpr double isiMs = 250;
constexpr double restClosure = 0.02;

// A trial's closure at ms from the CS.
using Closure = std::function<double(double msFromCs)>;

// The eye at rest, closed fully from the US on for 100 ms.
double withResponseToUs(double msFromCs, double closure)
{
    return msFromCs >= isiMs && msFromCs < isiMs + 100 ? 1.0 : closure;
}

Closure noResponse()
{
    return [](double ms) { return withResponseToUs(ms, restClosure); };
}

// Closing from `from` ms after the CS to `level` at the US.
Closure responseFrom(double from, double level)
{
    return [from, level](double ms) {
        if (ms < from || ms >= isiMs)
            return withResponseToUs(ms, restClosure);
        return restClosure + (level - restClosure) * (ms - from) / (isiMs - from);
    };
}

// A blink in the baseline, 100 ms before the CS.
Closure blinkBeforeCs()
{
    return
        [](double ms) { return ms >= -150 && ms < -50 ? 0.8 : withResponseToUs(ms, restClosure); };
}

SessionTrials::Trial trialOf(const Closure &closure, std::optional<double> usMs = isiMs)
{
    SessionTrials::Trial trial;
    trial.number = 1;
    for (double ms = -csMs; ms < 2000; ms += 4)
        trial.closures.append({ms, closure(ms)});
    trial.usMs = usMs;
    return trial;
}

// A record folder as the recorder leaves it: the run record with the stimulus lines, and the
// eyelid table at 250 fps.
void writeTrial(const QString &folder, const Closure &closure)
{
    QVERIFY(QDir().mkpath(folder));
    RunRecord record;
    record.started = QDateTime::currentDateTime();
    record.frameSize = QSize(640, 480);
    record.result = RunRecord::Result::Successful;
    record.endedBy = RunRecord::EndedBy::Timer;
    record.events = {{"recording started", 0},
                     {"serial", qint64(csMs) - 700, "light on"},
                     {"serial", qint64(csMs), "CS on 1000 Hz"},
                     {"serial", qint64(csMs + isiMs), "US on"}};
    record.eyelid =
        RunRecord::Eyelid{"240,200,160,80", 115, "otsu", "01012026_000000_cam_eyelid.csv"};
    QFile table(QDir(folder).filePath(record.eyelid->table));
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write(EyelidTable::header);
    for (int frame = 0; frame * 4 < 3500; ++frame) {
        const double ms = frame * 4.0;
        table.write(EyelidTable::text({frame, ms, closure(ms - csMs)}).c_str());
    }
    table.close();
    QVERIFY(record.write(QDir(folder).filePath("01012026_000000_cam.json")));
}

} // namespace

Q_DECLARE_METATYPE(Closure)

void SessionCheckTest::outcome_data()
{
    QTest::addColumn<Closure>("closure");
    QTest::addColumn<bool>("usKnown");
    QTest::addColumn<Outcome>("expected");
    QTest::newRow("rest throughout") << noResponse() << true << Outcome::NoResponse;
    QTest::newRow("closing to half at the US")
        << responseFrom(100, 0.5) << true << Outcome::Response;
    QTest::newRow("reaching 0.1 FEC at the US")
        << responseFrom(100, 0.12) << true << Outcome::Response;
    QTest::newRow("below 0.1 FEC") << responseFrom(100, 0.1) << true << Outcome::NoResponse;
    QTest::newRow("blink before the CS: left out") << blinkBeforeCs() << true << Outcome::LeftOut;
    QTest::newRow("closing only after the window") << Closure([](double ms) {
        return ms >= isiMs + 100 && ms < isiMs + 200 ? 0.9 : restClosure;
    }) << true << Outcome::NoResponse;
    QTest::newRow("closing early, open again before the window")
        << Closure([](double ms) { return ms >= 0 && ms < 100 ? 0.9 : restClosure; }) << true
        << Outcome::NoResponse;
    QTest::newRow("no US") << responseFrom(100, 0.5) << false << Outcome::NoData;
}

// FEC = (closure - 0.02) / 0.98 here: 0.1 FEC is a closure of 0.118.
void SessionCheckTest::outcome()
{
    QFETCH(Closure, closure);
    QFETCH(bool, usKnown);
    QFETCH(Outcome, expected);
    const ConditionedResponses::Scale scale{restClosure, 1.0};
    const SessionTrials::Trial trial =
        trialOf(closure, usKnown ? std::optional<double>(isiMs) : std::nullopt);
    QCOMPARE(ConditionedResponses::outcome(trial, scale), expected);
}

// Rest: the median of the baselines, which a blinking trial does not move; full: the highest
// closure after a US.
void SessionCheckTest::scaleFromTheSession()
{
    const Closure halfResponse = [](double ms) {
        return ms >= isiMs && ms < isiMs + 100 ? 0.7 : 0.04;
    };
    const QVector<SessionTrials::Trial> trials = {trialOf(noResponse()), trialOf(blinkBeforeCs()),
                                                  trialOf(halfResponse), trialOf(noResponse()),
                                                  trialOf(noResponse())};
    const ConditionedResponses::Scale scale = ConditionedResponses::scaleOf(trials);
    QCOMPARE(scale.open, restClosure);
    QCOMPARE(scale.full, 1.0);
    // Without a US the closure is taken as it is.
    const ConditionedResponses::Scale raw =
        ConditionedResponses::scaleOf({trialOf(noResponse(), std::nullopt)});
    QCOMPARE(raw.open, 0.0);
    QCOMPARE(raw.full, 1.0);
}

void SessionCheckTest::usFoundByItsLine()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    writeTrial(directory.filePath("4"), noResponse());
    SessionTable::Row row;
    row.trial = 4;
    row.folder = "4";
    const SessionTrials::Trial byLine =
        SessionTrials::read(row, directory.path(), "CS", {"US", std::nullopt});
    QVERIFY2(byLine.missing.isEmpty(), qPrintable(byLine.missing));
    QCOMPARE(byLine.usMs, std::optional<double>(isiMs));
    // Aligned on the CS's line: the first frame at -1500 ms.
    QCOMPARE(byLine.closures.first().x(), -csMs);
    const SessionTrials::Trial byTime =
        SessionTrials::read(row, directory.path(), "CS on", {QString(), 300.0});
    QCOMPARE(byTime.usMs, std::optional<double>(300.0));
    const SessionTrials::Trial noCs =
        SessionTrials::read(row, directory.path(), "tone", {"US", std::nullopt});
    QCOMPARE(noCs.missing, QString("no stimulus line 'tone'"));
    QVERIFY(noCs.closures.isEmpty());
}

// Twelve trials through the checker's command: responses in 1, 2, 5, 6 and 7 of the first
// block, a blink before the CS in 3; in the second block a response in 11 but not in 12.
void SessionCheckTest::blocksOfTen()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString tablePath = directory.filePath("session_01012026_000000.csv");
    SessionTable table;
    QVERIFY(table.create(tablePath));
    const QList<int> responses = {1, 2, 5, 6, 7, 11};
    for (int trial = 1; trial <= 12; ++trial) {
        const Closure closure = trial == 3                  ? blinkBeforeCs()
                                : responses.contains(trial) ? responseFrom(120, 0.6)
                                                            : noResponse();
        writeTrial(directory.filePath(QString::number(trial)), closure);
        SessionTable::Row row;
        row.trial = trial;
        row.folder = QString::number(trial);
        row.result = "successful";
        QVERIFY(table.append(row));
    }
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    const int status = CheckCommand::run(
        {"eyeblink-check", "--session", tablePath, "--align", "CS", "--us", "US"}, out, err);
    out.flush();
    err.flush();
    QCOMPARE(status, 0);
    QCOMPARE(errors, QString());
    const QStringList lines = output.split('\n');
    QVERIFY2(lines.size() >= 4, qPrintable(output));
    QCOMPARE(lines[0], QString("FEC: closure 0.0200 is 0, 1.0000 is 1"));
    QCOMPARE(lines[1], QString("trials   CR  no CR  left out  no data  CR share"));
    QCOMPARE(lines[2].simplified(), QString("1-10 5 4 1 0 56%"));
    QCOMPARE(lines[3].simplified(), QString("11-12 1 1 0 0 50%"));

    const QString picturePath = directory.filePath("session_01012026_000000_traces.png");
    QCOMPARE(SessionPlot::fileNameFor(tablePath), picturePath);
    QVERIFY(output.contains("session picture written: " + picturePath));
    const QImage picture(picturePath);
    QCOMPARE(picture.width(), SessionPlot::width);
    // The full closure after every US, and the rest everywhere else, are in the heat map.
    int full = 0;
    int rest = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            full += pixel == SessionPlot::colourOf(1.0).rgb();
            rest += pixel == SessionPlot::colourOf(0.0).rgb();
        }
    }
    QVERIFY(full > 0);
    QVERIFY(rest > full);
}

void SessionCheckTest::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("no --align") << QStringList{"--session", "t.csv"} << 2
                                << "--session needs --align";
    QTest::newRow("US twice") << QStringList{"--session", "t.csv", "--align", "CS",
                                             "--us",      "US",    "--isi",   "250"}
                              << 2 << "--us and --isi name the US twice";
    QTest::newRow("ISI not a time")
        << QStringList{"--session", "t.csv", "--align", "CS", "--isi", "long"} << 2
        << "--isi long is not milliseconds above 0";
    QTest::newRow("no table") << QStringList{"--session", "/nonexistent/t.csv", "--align", "CS"}
                              << 1 << "/nonexistent/t.csv";
}

void SessionCheckTest::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, error);
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    QCOMPARE(CheckCommand::run(QStringList{"eyeblink-check"} + arguments, out, err), status);
    err.flush();
    QVERIFY2(errors.contains(error), qPrintable(errors));
}

// The toolkit has an option of the same name, which the program must not lose to it.
void SessionCheckTest::programTakesTheSessionOption()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString tablePath = directory.filePath("session_02012026_000000.csv");
    SessionTable table;
    QVERIFY(table.create(tablePath));
    for (int trial = 1; trial <= 2; ++trial) {
        writeTrial(directory.filePath(QString::number(trial)),
                   trial == 1 ? responseFrom(120, 0.6) : noResponse());
        SessionTable::Row row;
        row.trial = trial;
        row.folder = QString::number(trial);
        QVERIFY(table.append(row));
    }
    QProcess program;
    program.start(CHECKER_PROGRAM, {"--session", tablePath, "--align", "CS", "--isi", "250"});
    QVERIFY(program.waitForFinished(60000));
    const QString output = QString::fromUtf8(program.readAllStandardOutput());
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(output.contains(QRegularExpression("\\n1-2 +1 +1 +0 +0 +50%\\n")), qPrintable(output));
    QVERIFY(QFileInfo::exists(SessionPlot::fileNameFor(tablePath)));
}

QTEST_MAIN(SessionCheckTest)
#include "tst_SessionCheck.moc"
