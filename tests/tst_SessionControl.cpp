#include "capture/BlinkingEye.h"
#include "runrecord/SessionTable.h"
#include "tests/support/FakeRunPanel.h"
#include "ui/RunControl.h"
#include "ui/SessionControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// A session's trials in turn, with the run's own control, a stand-in panel, and a recorder
// answered by the test: each trial's recording ends by itself as soon as it has started.
class SessionControlTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void trialsInTurn();
    void stopEndsTheSession_data();
    void stopEndsTheSession();
    void trialHeldUntilTheEyeIsOpen();
    void gateGivesUp();
    void gateWithoutRegionWaitsForNothing();
    void refusedPressEndsTheSession();
    void remainingTrialsTold_data();
    void remainingTrialsTold();

private:
    void plan(int trials, TrialInterval interval, std::optional<OpenEyeGate> gate = {});
    // The session's table, read back.
    QVector<SessionTable::Row> rows();

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<FakeRunPanel> panel;
    std::unique_ptr<RunControl> run;
    std::unique_ptr<SessionControl> session;
    // The injected session clock, in ms, and the draws the random source gives in turn.
    qint64 now = 0;
    QList<double> draws;
    // Answers each request to record at once with a result, unless told to keep recording.
    bool answerAtOnce = true;
    QString runFolder;
    QElapsedTimer sinceLastTrial;
    QList<qint64> gapsMs;
};

using Phase = SessionControl::Phase;

void SessionControlTest::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    panel = std::make_unique<FakeRunPanel>();
    panel->directory = directory->path();
    panel->postponement = 0;
    run = std::make_unique<RunControl>(*panel);
    session = std::make_unique<SessionControl>(*run, *panel);
    now = 0;
    draws = {0.0, 1.0, 0.5, 0.25};
    answerAtOnce = true;
    gapsMs.clear();
    session->setClock([this] { return now; });
    session->setRandom([this] { return draws.isEmpty() ? 0.0 : draws.takeFirst(); });
    // The recorder's files keep the folder, which an empty run would remove.
    connect(run.get(), &RunControl::workingDirectoryChanged, this,
            [this](const QString &folder) { runFolder = folder; });
    connect(run.get(), &RunControl::startRecording, this, [this] {
        QFile file(QDir(runFolder).filePath("recording.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (sinceLastTrial.isValid())
            gapsMs << sinceLastTrial.elapsed();
        if (answerAtOnce)
            QTimer::singleShot(0, run.get(), [this] { run->recorded(true); });
    });
    connect(session.get(), &SessionControl::trialEnded, this, [this] { sinceLastTrial.start(); });
}

void SessionControlTest::cleanup()
{
    session.reset();
    run.reset();
    panel.reset();
    directory.reset();
    sinceLastTrial.invalidate();
}

void SessionControlTest::plan(int trials, TrialInterval interval, std::optional<OpenEyeGate> gate)
{
    SessionPlan plan;
    plan.trials = trials;
    plan.interval = interval;
    plan.openEye = gate;
    session->setPlan(plan);
}

QVector<SessionTable::Row> SessionControlTest::rows()
{
    QString why;
    const std::optional<QVector<SessionTable::Row>> read =
        SessionTable::read(session->tablePath(), &why);
    if (!read)
        qWarning("%s", qPrintable(why));
    return read.value_or(QVector<SessionTable::Row>());
}

// Each trial is a run of its own in a folder of its own; the next comes no sooner than its
// drawn interval after the one before ended, and the table gets a row as each ends.
void SessionControlTest::trialsInTurn()
{
    plan(4, {200, 400});
    QSignalSpy ended(session.get(), &SessionControl::ended);
    QSignalSpy trials(session.get(), &SessionControl::trialEnded);
    QList<int> rowsAtEnds;
    connect(session.get(), &SessionControl::trialEnded, this,
            [&rowsAtEnds, this] { rowsAtEnds << rows().size(); });
    session->press();
    QCOMPARE(session->phase(), Phase::Trial);
    QVERIFY(ended.wait(20000));
    QCOMPARE(trials.size(), 4);
    // Each row is in the table as its trial ends.
    QCOMPARE(rowsAtEnds, (QList<int>{1, 2, 3, 4}));
    QCOMPARE(session->phase(), Phase::Idle);
    QCOMPARE(panel->status, QString("Session ended: 4 of 4 trials"));
    QVERIFY2(panel->reason.contains(session->tablePath()), qPrintable(panel->reason));
    QCOMPARE(panel->caption, QString("New record"));

    const QList<qint64> drawn = {200, 400, 300};
    QCOMPARE(gapsMs.size(), drawn.size());
    for (int i = 0; i < drawn.size(); ++i)
        QVERIFY2(gapsMs[i] >= drawn[i], qPrintable(QString("gap %1: %2 ms").arg(i).arg(gapsMs[i])));
    const QVector<SessionTable::Row> table = rows();
    QCOMPARE(table.size(), 4);
    for (int i = 0; i < table.size(); ++i) {
        QCOMPARE(table[i].trial, i + 1);
        QCOMPARE(table[i].folder, QString::number(i + 1));
        QCOMPARE(table[i].eye, SessionTable::Eye::NotAsked);
        QVERIFY(table[i].started.isValid());
    }
    QCOMPARE(QFileInfo(session->tablePath()).dir(), QDir(directory->path()));
    QVERIFY(QFileInfo(session->tablePath()).fileName().startsWith("session_"));
}

void SessionControlTest::stopEndsTheSession_data()
{
    QTest::addColumn<Phase>("stopIn");
    // The window closed rather than the button pressed.
    QTest::addColumn<bool>("byClosing");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("while the second trial records") << Phase::Trial << false << 2;
    QTest::newRow("in the interval after the first") << Phase::Interval << false << 1;
    QTest::newRow("window closed while the second trial records") << Phase::Trial << true << 2;
    QTest::newRow("window closed in the interval") << Phase::Interval << true << 1;
}

// A stop ends the trial that is on and the session with it; the interval's stop ends it at
// once. Closing the window does the same, the trial's row once its recording has ended. No
// trial follows.
void SessionControlTest::stopEndsTheSession()
{
    QFETCH(Phase, stopIn);
    QFETCH(bool, byClosing);
    QFETCH(int, rowsLeft);
    // As the window hands a close to both.
    const auto stop = [&] {
        if (!byClosing) {
            session->press();
            return;
        }
        session->windowClosed();
        run->windowClosed(false);
    };
    plan(5, {300, 300});
    QSignalSpy trials(session.get(), &SessionControl::trialEnded);
    QSignalSpy starts(run.get(), &RunControl::startRecording);
    QSignalSpy ended(session.get(), &SessionControl::ended);
    session->press();
    QVERIFY(trials.wait(10000));
    if (stopIn == Phase::Trial) {
        answerAtOnce = false;
        QTRY_COMPARE_WITH_TIMEOUT(starts.size(), 2, 10000);
        QCOMPARE(session->trialStatus(panel->status), QString("Trial 2 of 5: RECORDING..."));
        QCOMPARE(session->trialReason(panel->reason), QString("3 trials after this one"));
        stop();
        QCOMPARE(session->phase(), Phase::Ending);
        QCOMPARE(rows().size(), rowsLeft - 1);
        QCOMPARE(session->trialReason("because"), QString("the session ends with it; because"));
        // The recorder's answer to the stop, or to the quit.
        run->recorded(true);
    } else {
        QCOMPARE(session->phase(), Phase::Interval);
        QCOMPARE(panel->caption, QString("Stop"));
        QCOMPARE(panel->status, QString("Trial 2 of 5 starts in 0.3 s"));
        stop();
    }
    QCOMPARE(ended.size(), 1);
    QCOMPARE(session->phase(), Phase::Idle);
    QCOMPARE(panel->status, QString("Session stopped: %1 of 5 trials").arg(rowsLeft));
    QCOMPARE(panel->caption, QString("New record"));
    QCOMPARE(rows().size(), rowsLeft);
    const int startsAtStop = starts.size();
    // Past the interval that would have come: nothing more.
    QTest::qWait(600);
    QCOMPARE(starts.size(), startsAtStop);
    QCOMPARE(rows().size(), rowsLeft);
}

// Held while the lid is closing and shut, started once the closure has stayed below the level
// for the hold on the camera's clock; the wait is told to the run record and the table.
void SessionControlTest::trialHeldUntilTheEyeIsOpen()
{
    plan(1, {0, 0}, OpenEyeGate(0.25, 200));
    session->setEyeRegionKnown(true);
    QSignalSpy cameraWanted(session.get(), &SessionControl::cameraWantedChanged);
    QSignalSpy starts(run.get(), &RunControl::startRecording);
    QSignalSpy events(session.get(), &SessionControl::runEvent);
    QSignalSpy ended(session.get(), &SessionControl::ended);
    session->press();
    QCOMPARE(session->phase(), Phase::WaitingForEye);
    QVERIFY(session->wantsCamera());
    QCOMPARE(cameraWanted.size(), 1);
    QCOMPARE(panel->status, QString("Trial 1 of 1: waiting for the eye to open"));
    QCOMPARE(panel->caption, QString("Stop"));
    // The watcher's pace, 60 closures a second, from the moment the lid starts to close.
    const double periodMs = 1000.0 / 60;
    const qint64 waitStart = now;
    double ms = 1000;
    for (; session->phase() == Phase::WaitingForEye && ms < 5000; ms += periodMs) {
        now = waitStart + qint64(ms - 1000);
        session->closureMeasured(ms, BlinkingEye::closedFraction(ms));
    }
    // Below 0.25 from 170 ms into the blink, for 200 ms.
    const double openFrom = 1170 + 200;
    QVERIFY2(ms - periodMs >= openFrom, qPrintable(QString::number(ms)));
    QVERIFY2(ms - periodMs < openFrom + 2 * periodMs, qPrintable(QString::number(ms)));
    QCOMPARE(session->phase(), Phase::Trial);
    QVERIFY(!session->wantsCamera());
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0][0].toString(), QString("eye open"));
    const qint64 waited = now - waitStart;
    QCOMPARE(events[0][2].toString(), QString("%1 ms").arg(waited));
    QVERIFY(ended.wait(10000));
    QCOMPARE(starts.size(), 1);
    const QVector<SessionTable::Row> table = rows();
    QCOMPARE(table.size(), 1);
    QCOMPARE(table[0].eye, SessionTable::Eye::Open);
    QCOMPARE(table[0].waitedMs, waited);
}

// An eye kept shut: the trial starts all the same once the give-up time has passed on the
// session's clock, and is marked so.
void SessionControlTest::gateGivesUp()
{
    plan(1, {0, 0}, OpenEyeGate(0.25, 200));
    session->setEyeRegionKnown(true);
    QSignalSpy events(session.get(), &SessionControl::runEvent);
    QSignalSpy ended(session.get(), &SessionControl::ended);
    session->press();
    const qint64 waitStart = now;
    QCOMPARE(session->findChild<QTimer *>("giveUpTimer")->interval(), 60000);
    QTest::ignoreMessage(QtDebugMsg,
                         "Trial 1 of 1: the eye was not open after 60000 ms, started all the same");
    for (double ms = 0; session->phase() == Phase::WaitingForEye && ms < 70000; ms += 100) {
        now = waitStart + qint64(ms);
        session->closureMeasured(ms, 0.95);
        QVERIFY(session->phase() != Phase::Trial || now - waitStart >= 60000);
    }
    QCOMPARE(session->phase(), Phase::Trial);
    QCOMPARE(now - waitStart, qint64(60000));
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0][0].toString(), QString("eye not open"));
    QCOMPARE(events[0][2].toString(), QString("gave up after 60000 ms"));
    QVERIFY(ended.wait(10000));
    const QVector<SessionTable::Row> table = rows();
    QCOMPARE(table.size(), 1);
    QCOMPARE(table[0].eye, SessionTable::Eye::GaveUp);
    QCOMPARE(table[0].waitedMs, qint64(60000));
}

void SessionControlTest::gateWithoutRegionWaitsForNothing()
{
    plan(1, {0, 0}, OpenEyeGate(0.25, 200));
    QTest::ignoreMessage(QtDebugMsg, "No eyelid region: trials start without waiting for the eye");
    session->press();
    QCOMPARE(session->phase(), Phase::Trial);
    QVERIFY(!session->wantsCamera());
}

void SessionControlTest::refusedPressEndsTheSession()
{
    plan(3, {0, 0});
    panel->directory = directory->filePath("missing");
    session->press();
    QCOMPARE(session->phase(), Phase::Idle);
    QCOMPARE(panel->status, QString("Please select working directory first!"));
}

void SessionControlTest::remainingTrialsTold_data()
{
    QTest::addColumn<int>("trials");
    QTest::addColumn<QString>("reason");
    QTest::newRow("many") << 100 << "99 trials after this one; 3 frames lost";
    QTest::newRow("one more") << 2 << "1 trial after this one; 3 frames lost";
    QTest::newRow("the only one") << 1 << "the session's last trial; 3 frames lost";
}

// The first trial's status and reason, while it records.
void SessionControlTest::remainingTrialsTold()
{
    QFETCH(int, trials);
    QFETCH(QString, reason);
    answerAtOnce = false;
    plan(trials, {0, 0});
    QCOMPARE(session->trialStatus("RECORD FAILED"), QString("RECORD FAILED"));
    session->press();
    QCOMPARE(session->trialStatus("RECORD FAILED"),
             QString("Trial 1 of %1: RECORD FAILED").arg(trials));
    QCOMPARE(session->trialReason("3 frames lost"), reason);
}

QTEST_MAIN(SessionControlTest)
#include "tst_SessionControl.moc"
