// A session of trials through the window, the recorder and the camera watcher, as the program
// runs one, on the test camera's blinking eye: per trial the interval from the previous trial's
// end to its press, the wait for the eye and the frames kept and lost, then their spread.
//
//   session_bench [--trials N] [--iti MIN-MAX] [--start-when-open CLOSURE:MS] [--source SOURCE]
//
// Each trial records 5 s (no postponement, no length: the run's own stop). Defaults: 20 trials,
// 1-3 s apart, held until the closure has stayed below 0.25 for 200 ms, on
// test:640x480@250:gray:eye with the eye's region.

#include "runrecord/SessionTable.h"
#include "tests/support/WiredRun.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

qint64 monotonicMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

QString spread(QVector<double> values)
{
    if (values.isEmpty())
        return "-";
    std::sort(values.begin(), values.end());
    return QString("min %1, median %2, max %3")
        .arg(values.first(), 0, 'f', 0)
        .arg(values[values.size() / 2], 0, 'f', 0)
        .arg(values.last(), 0, 'f', 0);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qRegisterMetaType<IplImage *>("IplImage*");
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption trialsOption("trials", "Trials in the session.", "N", "20");
    const QCommandLineOption intervalOption("iti", "Seconds between trials.", "MIN-MAX", "1-3");
    const QCommandLineOption gateOption("start-when-open", "The eye gate.", "CLOSURE:MS",
                                        "0.25:200");
    const QCommandLineOption sourceOption("source", "The camera.", "SOURCE",
                                          "test:640x480@250:gray:eye");
    parser.addOptions({trialsOption, intervalOption, gateOption, sourceOption});
    parser.process(application);
    QString why;
    SessionPlan plan;
    plan.trials = parser.value(trialsOption).toInt();
    const std::optional<TrialInterval> interval =
        TrialInterval::parse(parser.value(intervalOption), why);
    plan.openEye = OpenEyeGate::parse(parser.value(gateOption), why);
    if (plan.trials < 1 || !interval || !plan.openEye) {
        std::fprintf(stderr, "session_bench: %s\n", qPrintable(why));
        return 2;
    }
    plan.interval = *interval;

    QTemporaryDir directory;
    WiredRun run(directory.path(), parser.value(sourceOption));
    run.startWatcher();
    run.window.setEyelidRegion(QRect(240, 200, 160, 80));
    run.widget<QSpinBox>("spinBox_startPostpone")->setValue(0);
    run.widget<QSpinBox>("spinBox_videoLength")->setValue(0);
    run.window.setSessionPlan(plan);
    auto *session = run.window.findChild<SessionControl *>();
    QSignalSpy ended(session, &SessionControl::ended);
    // Each trial's end (its result, as its row is written) and its press, on the run's clock.
    QVector<qint64> trialEnds;
    QVector<qint64> presses;
    QObject::connect(session, &SessionControl::trialEnded, [&] { trialEnds << monotonicMs(); });
    QObject::connect(&run.window, &MainWindow::runEvent, [&](const QString &event, qint64 ms) {
        if (event == "new record pressed")
            presses << ms;
    });
    run.press();
    ended.wait(plan.trials * (120000 + int(plan.interval.maxMs)));

    const std::optional<QVector<SessionTable::Row>> rows =
        SessionTable::read(session->tablePath(), &why);
    if (!rows) {
        std::fprintf(stderr, "session_bench: %s\n", qPrintable(why));
        return 1;
    }
    std::printf("trial  interval ms  waited ms  eye       frames  lost  result\n");
    QVector<double> intervals;
    QVector<double> waits;
    int lost = 0;
    for (int i = 0; i < rows->size(); ++i) {
        const SessionTable::Row &row = rows->at(i);
        // From the previous trial's result to this trial's press, less the wait for the eye.
        const double gap = i > 0 && i < presses.size() && i - 1 < trialEnds.size()
                               ? double(presses[i] - trialEnds[i - 1] - row.waitedMs)
                               : -1;
        if (gap >= 0)
            intervals << gap;
        waits << double(row.waitedMs);
        lost += row.framesLost;
        std::printf("%5d  %11s  %9lld  %-8s  %6d  %4d  %s\n", row.trial,
                    gap >= 0 ? qPrintable(QString::number(gap, 'f', 0)) : "-", row.waitedMs,
                    qPrintable(row.eye == SessionTable::Eye::Open     ? QString("open")
                               : row.eye == SessionTable::Eye::GaveUp ? QString("gave up")
                                                                      : QString("-")),
                    row.frames, row.framesLost, qPrintable(row.result));
    }
    std::printf("%d trials of %d; intervals (asked %s) ms: %s; waits for the eye ms: %s; frames "
                "lost: %d\n",
                int(rows->size()), plan.trials, qPrintable(plan.interval.text()),
                qPrintable(spread(intervals)), qPrintable(spread(waits)), lost);
    return 0;
}
