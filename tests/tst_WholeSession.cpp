#include "capture/BlinkingEye.h"
#include "checker/CheckCommand.h"
#include "runrecord/SessionTable.h"
#include "stimulus/SerialPortWorker.h"
#include "tests/support/PseudoTerminalPair.h"
#include "tests/support/RecordingCheck.h"
#include "tests/support/WiredRun.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

// Sessions driven from the window, with the real recorder and the camera watcher in their
// threads, on the test camera: each trial a run that stops by its timer 5 s after its press.
class WholeSessionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fiveTrials();
    void stopInTheThirdTrial();
    void trialWaitsForTheOpenEye();
    void conditionedResponsesOfAScriptedSession();
};

namespace {

// The shortest trials the window makes: no postponement and no length, so each stops 5 s
// after its press.
SessionControl *planSession(WiredRun &run, int trials, TrialInterval interval,
                            std::optional<OpenEyeGate> gate = {})
{
    run.widget<QSpinBox>("spinBox_startPostpone")->setValue(0);
    run.widget<QSpinBox>("spinBox_videoLength")->setValue(0);
    SessionPlan plan;
    plan.trials = trials;
    plan.interval = interval;
    plan.openEye = gate;
    run.window.setSessionPlan(plan);
    return run.window.findChild<SessionControl *>();
}

QVector<SessionTable::Row> tableIn(const QString &directory)
{
    const QStringList tables =
        QDir(directory).entryList({"session_*.csv"}, QDir::Files, QDir::Name);
    if (tables.size() != 1)
        return {};
    return SessionTable::read(QDir(directory).filePath(tables.first()))
        .value_or(QVector<SessionTable::Row>());
}

// The monotonic time of a record's first event of that name, in ms.
std::optional<double> monotonicMsOf(const RunRecord &record, const QString &event)
{
    for (const RunRecord::Event &e : record.events) {
        if (e.name == event)
            return double(record.recordingClockZeroNs) / 1e6 + double(e.ms);
    }
    return std::nullopt;
}

} // namespace

void WholeSessionTest::initTestCase()
{
    qRegisterMetaType<IplImage *>("IplImage*");
}

// Five runs in five folders, a row for each, each press no sooner after the previous result
// than the interval drawn for it.
void WholeSessionTest::fiveTrials()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    WiredRun run(directory.path(), "test:320x240@30");
    SessionControl *session = planSession(run, 5, {200, 500});
    QList<double> draws = {0.0, 1.0, 0.5, 0.25};
    session->setRandom([&draws] { return draws.takeFirst(); });
    QSignalSpy ended(session, &SessionControl::ended);
    run.press();
    QTRY_COMPARE_WITH_TIMEOUT(run.status()->text(), QString("Trial 1 of 5: RECORDING..."), 20000);
    QVERIFY(run.status()->toolTip().startsWith("4 trials after this one"));
    QVERIFY(ended.wait(180000));
    QCOMPARE(run.status()->text(), QString("Session ended: 5 of 5 trials"));

    const QVector<SessionTable::Row> table = tableIn(directory.path());
    QCOMPARE(table.size(), 5);
    const QList<double> drawnMs = {200, 500, 350, 275};
    std::optional<double> previousEnd;
    for (int i = 0; i < table.size(); ++i) {
        QCOMPARE(table[i].trial, i + 1);
        QCOMPARE(table[i].folder, QString::number(i + 1));
        QCOMPARE(table[i].result, QString("successful"));
        const std::optional<RunRecord> record =
            SessionTable::recordIn(directory.filePath(table[i].folder));
        QVERIFY(record);
        QCOMPARE(table[i].frames, record->frames);
        QVERIFY(table[i].frames > 0);
        QCOMPARE(table[i].framesLost, 0);
        QCOMPARE(table[i].started, record->started);
        const std::optional<double> pressed = monotonicMsOf(*record, "new record pressed");
        QVERIFY(pressed);
        if (previousEnd) {
            const double gap = *pressed - *previousEnd;
            QVERIFY2(gap >= drawnMs[i - 1],
                     qPrintable(QString("trial %1 pressed %2 ms after the one before ended")
                                    .arg(i + 1)
                                    .arg(gap)));
        }
        previousEnd = monotonicMsOf(*record, "recording ended");
        QVERIFY(previousEnd);
    }
    QVERIFY(!QDir(directory.filePath("6")).exists());
}

// Stop while the third trial records: it ends with complete files, its row is the last, and
// no trial follows.
void WholeSessionTest::stopInTheThirdTrial()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    WiredRun run(directory.path(), "test:320x240@30");
    SessionControl *session = planSession(run, 5, {200, 200});
    QSignalSpy ended(session, &SessionControl::ended);
    run.press();
    QTRY_COMPARE_WITH_TIMEOUT(run.status()->text(), QString("Trial 3 of 5: RECORDING..."), 60000);
    QVERIFY(run.status()->toolTip().startsWith("2 trials after this one"));
    // Some frames in the video first.
    QTest::qWait(500);
    run.press();
    QVERIFY(ended.wait(60000));
    QCOMPARE(run.status()->text(), QString("Session stopped: 3 of 5 trials"));

    const QVector<SessionTable::Row> table = tableIn(directory.path());
    QCOMPARE(table.size(), 3);
    const QString third = directory.filePath("3");
    const std::optional<RunRecord> record = SessionTable::recordIn(third);
    QVERIFY(record);
    QCOMPARE(record->result, RunRecord::Result::Successful);
    QCOMPARE(record->endedBy, RunRecord::EndedBy::Button);
    int frames = 0;
    RecordingCheck::verifyEveryFrameKept(third, &frames);
    QCOMPARE(table[2].frames, frames);
    QCOMPARE(table[2].result, QString("successful"));
    // Longer than the interval that would have come: no fourth trial.
    QTest::qWait(1000);
    QVERIFY(!QDir(directory.filePath("4")).exists());
    QCOMPARE(tableIn(directory.path()).size(), 3);
}

// The blinking eye, watched between trials: the first 1000 ms are open but shorter than the
// hold, so the trial is held through the first blink and starts once the eye has been open
// for the hold after it, on the camera's clock, which is the eye's schedule.
void WholeSessionTest::trialWaitsForTheOpenEye()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    WiredRun run(directory.path(), "test:640x480@250:gray:eye");
    CameraWatcher *watcher = run.startWatcher();
    run.window.setEyelidRegion(QRect(240, 200, 160, 80));
    const qint64 holdMs = 1500;
    SessionControl *session = planSession(run, 1, {0, 0}, OpenEyeGate(0.25, holdMs));
    QList<QPair<double, double>> closures;
    int closuresAtOpen = -1;
    // Queued after the window's own: when the gate opens, the closure that opened it is the
    // next one here.
    connect(watcher, &CameraWatcher::closureMeasured, this, [&closures](double ms, double closure) {
        closures.append({ms, closure});
    });
    connect(session, &SessionControl::cameraWantedChanged, this, [&] {
        if (session->phase() == SessionControl::Phase::Trial)
            closuresAtOpen = closures.size();
    });
    QSignalSpy ended(session, &SessionControl::ended);
    run.press();
    QCOMPARE(run.status()->text(), QString("Trial 1 of 1: waiting for the eye to open"));
    QTRY_COMPARE_WITH_TIMEOUT(run.status()->text(), QString("Trial 1 of 1: RECORDING..."), 60000);
    run.press();
    QVERIFY(ended.wait(60000));

    QVERIFY(closuresAtOpen >= 0 && closuresAtOpen < closures.size());
    const double openedMs = closures[closuresAtOpen].first;
    QVERIFY(closures[closuresAtOpen].second < 0.25);
    // Not before the lid, shut until 1080 ms, has been open for the hold.
    QVERIFY2(openedMs >= 1080 + holdMs, qPrintable(QString::number(openedMs)));
    // The schedule had the eye open over the whole hold before it.
    double mostClosed = 0;
    for (double ms = openedMs - double(holdMs); ms <= openedMs; ms += 1)
        mostClosed = std::max(mostClosed, BlinkingEye::closedFraction(ms));
    QVERIFY2(mostClosed < 0.5,
             qPrintable(
                 QString("lid at %1 within the hold before %2 ms").arg(mostClosed).arg(openedMs)));

    const QVector<SessionTable::Row> table = tableIn(directory.path());
    QCOMPARE(table.size(), 1);
    qInfo("The gate opened at %.1f ms on the camera's clock, %lld ms after the wait began",
          openedMs, table[0].waitedMs);
    QCOMPARE(table[0].eye, SessionTable::Eye::Open);
    // The camera's frames come no sooner than their schedule, which began after the wait did.
    QVERIFY2(double(table[0].waitedMs) >= openedMs - 1,
             qPrintable(QString::number(table[0].waitedMs)));
    const std::optional<RunRecord> record = SessionTable::recordIn(directory.filePath("1"));
    QVERIFY(record);
    const auto eyeOpen =
        std::find_if(record->events.begin(), record->events.end(),
                     [](const RunRecord::Event &e) { return e.name == "eye open"; });
    QVERIFY(eyeOpen != record->events.end());
    QCOMPARE(eyeOpen->detail, QString("%1 ms").arg(table[0].waitedMs));
}

// A microcontroller's sketch, at the other end of the serial port: at each recording's start
// message it sends "CS on" after the trial's delay and "US on" 250 ms later.
class ScriptedStimuli : public QObject
{
public:
    ScriptedStimuli(const QString &device, QList<int> csDelaysMs)
        : port(device), csDelays(std::move(csDelaysMs))
    {
        opened = port.open(QIODevice::ReadWrite);
        connect(&port, &QSerialPort::readyRead, this, [this] {
            received += port.readAll();
            for (; received.contains("S\n"); received.remove(0, received.indexOf("S\n") + 2)) {
                const int delay = csDelays.value(trials++, -1);
                if (delay < 0)
                    continue;
                QTimer::singleShot(delay, Qt::PreciseTimer, this, [this] { send("CS on\n"); });
                QTimer::singleShot(delay + 250, Qt::PreciseTimer, this,
                                   [this] { send("US on\n"); });
            }
        });
    }
    bool opened = false;

private:
    void send(const char *line)
    {
        port.write(line);
        port.flush();
    }

    QSerialPort port;
    QList<int> csDelays;
    QByteArray received;
    int trials = 0;
};

// Three trials on the blinking eye, which blinks 1 s after the camera's first frame: a CS at
// 800 ms puts the blink in the 100 ms before the US (a response), one at 1500 ms leaves the eye
// open there (none), one at 1100 ms puts the blink in the baseline (left out). The session's
// picture and its block table say so.
void WholeSessionTest::conditionedResponsesOfAScriptedSession()
{
    PseudoTerminalPair pair;
    QVERIFY2(pair.isReady(), qPrintable(pair.why()));
    ScriptedStimuli stimuli(pair.peer(), {800, 1500, 1100});
    QVERIFY(stimuli.opened);
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    WiredRun run(directory.path(), "test:640x480@250:gray:eye");
    run.window.setEyelidRegion(QRect(240, 200, 160, 80));
    QThread serialThread;
    auto *serial = new SerialPortWorker(SerialSetting{pair.device(), 115200}, "S\n");
    serial->moveToThread(&serialThread);
    // As the application wires the port.
    connect(&serialThread, &QThread::started, serial, &SerialPortWorker::start);
    connect(&serialThread, &QThread::finished, serial, &QObject::deleteLater);
    connect(&run.window, &MainWindow::workingDirectoryChanged, serial, &SerialPortWorker::openRun);
    connect(run.recorder, &Recorder::recorded, serial, &SerialPortWorker::closeRun);
    connect(run.recorder, &Recorder::recordingClockStarted, serial,
            &SerialPortWorker::sendStartMessage);
    connect(serial, &SerialPortWorker::runEvent, run.recorder, &Recorder::noteRunEventNs);
    serialThread.start();
    const auto stopSerial = qScopeGuard([&serialThread] {
        serialThread.quit();
        serialThread.wait();
    });

    SessionControl *session = planSession(run, 3, {200, 200});
    QSignalSpy ended(session, &SessionControl::ended);
    run.press();
    QVERIFY(ended.wait(120000));
    const QVector<SessionTable::Row> table = tableIn(directory.path());
    QCOMPARE(table.size(), 3);
    for (const SessionTable::Row &row : table)
        QCOMPARE(row.serialLines, (QStringList{"CS on", "US on"}));

    const QStringList tables = QDir(directory.path()).entryList({"session_*.csv"}, QDir::Files);
    QCOMPARE(tables.size(), 1);
    const QString tablePath = directory.filePath(tables.first());
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    QCOMPARE(
        CheckCommand::run({"eyeblink-check", "--session", tablePath, "--align", "CS", "--us", "US"},
                          out, err),
        0);
    out.flush();
    err.flush();
    QCOMPARE(errors, QString());
    QVERIFY2(output.contains(QRegularExpression("\\n1-3 +1 +1 +1 +0 +50%\\n")), qPrintable(output));
    QVERIFY(QFileInfo::exists(tablePath.chopped(4) + "_traces.png"));
}

QTEST_MAIN(WholeSessionTest)
#include "tst_WholeSession.moc"
