#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "tests/support/PulseAudioServer.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/StandInProgram.h"
#include "tests/support/TestAudioOutput.h"
#include "tests/support/ToneFinder.h"
#include "tests/support/WiredRun.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// A whole run, from the press to its run record: the window and the real recorder in its own
// thread, wired as the application wires them, the test camera at 120 fps, a stimulus program,
// and the beeps played through a PulseAudio server of the test's own, whose sink is recorded.
class WholeRunTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runRecordTellsTheRun();
    void programTroubleTold_data();
    void programTroubleTold();
};

namespace {

constexpr int beeps = 3;
// How much the audio output's latency varies from one tone to the next, a busy machine
// included (as for the tone alone).
constexpr double latencyJitterMs = 300;

// Frames in the video, as ffprobe counts them by decoding; -1 when it could not.
int ffprobeFrames(const QString &video)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0",
                              "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", video});
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return -1;
    bool ok = false;
    const int frames = ffprobe.readAllStandardOutput().trimmed().toInt(&ok);
    return ok ? frames : -1;
}

// The times of the record's events of that name, in their order.
QList<double> timesOf(const QJsonArray &events, const QString &name)
{
    QList<double> times;
    for (const QJsonValue &event : events) {
        if (event[QStringLiteral("event")].toString() == name)
            times << event[QStringLiteral("ms")].toDouble();
    }
    return times;
}

// The run record in folder, read whole; empty when there is none or it is not JSON.
QJsonObject runRecordIn(const QDir &folder)
{
    const QStringList records = folder.entryList({"*.json"}, QDir::Files);
    QFile file(records.size() == 1 ? folder.filePath(records.first()) : QString());
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

} // namespace

void WholeRunTest::initTestCase()
{
    qRegisterMetaType<IplImage *>("IplImage*");
}

void WholeRunTest::runRecordTellsTheRun()
{
    if (!PulseAudioServer::isInstalled())
        QSKIP("pulseaudio or pulseaudio-utils is not installed");
    TestAudioOutput output;
    QString why;
    QVERIFY2(output.start(&why), qPrintable(why));

    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    QTemporaryDir programFolder;
    StandInProgram program(QDir(programFolder.path()).filePath("stimulus.sh"),
                           "echo $$ > \"$0.pid\"\nexec sleep 60\n");
    QVERIFY(program.isValid());

    WiredRun run(workingDirectory.path(), "test:640x480@120");
    run.widget<QSpinBox>("spinBox_startPostpone")->setValue(0);
    run.widget<QSpinBox>("spinBox_videoLength")->setValue(3);
    run.widget<QCheckBox>("checkBox_3beeps")->setChecked(true);
    run.widget<QLineEdit>("lineEdit_PathToRunProgram")->setText(program.path());
    run.press();
    QLabel *status = run.status();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("RECORD SUCCESSFUL"), 60000);
    QVERIFY(!status->toolTip().isEmpty());

    const QDir folder(workingDirectory.filePath("1"));
    const QStringList records = folder.entryList({"*.json"}, QDir::Files);
    QCOMPARE(records.size(), 1);
    const QString base = folder.filePath(records.first().chopped(5));
    QFile recordFile(base + ".json");
    QVERIFY(recordFile.open(QIODevice::ReadOnly));
    QJsonParseError error;
    const QJsonObject record = QJsonDocument::fromJson(recordFile.readAll(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));

    const auto lines = RecordingFiles::readLines(base + ".txt");
    QVERIFY(lines);
    const int frames = ffprobeFrames(base + ".avi");
    QVERIFY(frames > 0);
    QCOMPARE(lines->size(), frames);
    QCOMPARE(record["frames"].toInt(), frames);
    QCOMPARE(record["lines"].toInt(), frames);
    // The rate is the lines' own, and the camera's 120 fps within 1%. The lines' times are
    // when frames arrived: a machine too busy to take frames as they come delays the last ones
    // by about the longest stall, which shows as the longest interval. Only a delay of more
    // than 1% of the span can move the rate by 1%, so the camera's rate is checked when the
    // longest interval stays below that.
    const double fps = record["measuredFps"].toDouble();
    const double spanMs = lines->last().ms - lines->first().ms;
    const double linesFps = (frames - 1) * 1000.0 / spanMs;
    const double largestMs = record["largestIntervalMs"].toDouble();
    const QString rates = QString("%1 fps recorded, %2 fps in the lines, largest interval %3 ms")
                              .arg(fps)
                              .arg(linesFps)
                              .arg(largestMs);
    QVERIFY2(qAbs(fps - linesFps) <= linesFps / 100, qPrintable(rates));
    if (largestMs <= spanMs / 100)
        QVERIFY2(qAbs(fps - 120) <= 1.2, qPrintable(rates));
    else
        qInfo("The machine kept the recorder from its frames: %s", qPrintable(rates));
    QCOMPARE(record["result"].toString(), QStringLiteral("successful"));
    QCOMPARE(record["endedBy"].toString(), QStringLiteral("timer"));

    const QJsonArray events = record["events"].toArray();
    const QList<double> pressed = timesOf(events, "new record pressed");
    const QList<double> started = timesOf(events, "program started");
    const QList<double> beepTimes = timesOf(events, "beep");
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(started.size(), 1);
    QCOMPARE(beepTimes.size(), beeps);
    QCOMPARE(timesOf(events, "recording started"), (QList<double>{0}));
    QCOMPARE(timesOf(events, "stop asked").size(), 1);
    QVERIFY(pressed[0] <= started[0]);
    QVERIFY(started[0] <= beepTimes[0]);
    QVERIFY2(beepTimes.last() < 0, qPrintable(QString::number(beepTimes.last())));
    QVERIFY(timesOf(events, "stop asked")[0] > 0);

    // The tones heard, spaced as the record says the beeps were.
    QTRY_VERIFY_WITH_TIMEOUT(output.heardTones(beeps), 20000);
    const QVector<ToneFinder::Tone> tones = output.tones();
    QCOMPARE(tones.size(), beeps);
    for (int i = 1; i < beeps; ++i) {
        const double heardSpacing = tones[i].startMs - tones[i - 1].startMs;
        const double recordedSpacing = beepTimes[i] - beepTimes[i - 1];
        const QString spacing = QString("beep %1: recorded %2 ms, heard %3 ms after the one before")
                                    .arg(i)
                                    .arg(recordedSpacing)
                                    .arg(heardSpacing);
        QVERIFY2(recordedSpacing >= 1000, qPrintable(spacing));
        QVERIFY2(qAbs(heardSpacing - recordedSpacing) <= latencyJitterMs, qPrintable(spacing));
    }
}

void WholeRunTest::programTroubleTold_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("trouble");
    // No script: the path names no file.
    QTest::newRow("missing") << QByteArray() << false << "program failed to start"
                             << ".+"
                             << "program PROGRAM failed to start: .+";
    QTest::newRow("not executable") << QByteArray("exit 0\n") << false << "program failed to start"
                                    << ".+"
                                    << "program PROGRAM failed to start: .+";
    QTest::newRow("exit code 3") << QByteArray("exit 3\n") << true << "program ended"
                                 << "code 3"
                                 << "program PROGRAM ended with code 3";
    QTest::newRow("killed by a signal") << QByteArray("kill -9 $$\n") << true << "program ended"
                                        << "signal 9"
                                        << "program PROGRAM ended with signal 9";
}

// A program that cannot start, or that fails while the run records, is named in the status's
// tooltip after the recorder's own reason, and its end is an event of the run record; the
// result stays the recorder's.
void WholeRunTest::programTroubleTold()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, executable);
    QFETCH(QString, event);
    QFETCH(QString, detail);
    QFETCH(QString, trouble);
    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    const QString path = workingDirectory.filePath("stimulus program.sh");
    if (!script.isEmpty()) {
        const StandInProgram program(path, script);
        QVERIFY(program.isValid());
        if (!executable)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    }
    WiredRun run(workingDirectory.path(), "test:320x240@30");
    run.widget<QSpinBox>("spinBox_startPostpone")->setValue(0);
    run.widget<QSpinBox>("spinBox_videoLength")->setValue(30);
    run.widget<QLineEdit>("lineEdit_PathToRunProgram")->setText(path);
    QSignalSpy events(&run.window, SIGNAL(runEvent(QString, qint64, QString)));
    if (!executable)
        QTest::ignoreMessage(QtDebugMsg, "MW: program failed to start");
    run.press();
    const auto told = [&] {
        return std::any_of(events.begin(), events.end(),
                           [&](const QList<QVariant> &e) { return e.first().toString() == event; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(told(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(run.status()->text(), QStringLiteral("RECORDING..."), 20000);
    run.press();
    QTRY_COMPARE_WITH_TIMEOUT(run.status()->text(), QStringLiteral("RECORD SUCCESSFUL"), 60000);
    const QString escaped = QRegularExpression::escape(path);
    const QRegularExpression tooltip("^\\d+ frames, \\d+\\.\\d fps; " +
                                     QString(trouble).replace("PROGRAM", escaped) + "$");
    QVERIFY2(tooltip.match(run.status()->toolTip()).hasMatch(),
             qPrintable(run.status()->toolTip()));

    const QJsonObject record = runRecordIn(QDir(workingDirectory.filePath("1")));
    QCOMPARE(record["result"].toString(), QStringLiteral("successful"));
    QStringList found;
    for (const QJsonValue &e : record["events"].toArray()) {
        const QString name = e["event"].toString();
        if (name.startsWith("program") && name != "program started")
            found << name + ": " + e["detail"].toString();
    }
    QCOMPARE(found.size(), 1);
    QVERIFY2(QRegularExpression("^" + event + ": " + detail + "$").match(found.first()).hasMatch(),
             qPrintable(found.first()));
}

QTEST_MAIN(WholeRunTest)
#include "tst_WholeRun.moc"
