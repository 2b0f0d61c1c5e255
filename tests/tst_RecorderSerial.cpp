#include "capture/CameraSources.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "runrecord/RunRecord.h"
#include "stimulus/SerialRunWindow.h"
#include "tests/support/PseudoTerminalPair.h"
#include "tests/support/SerialRecording.h"

#include <QDir>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

#ifdef Q_OS_LINUX
#include <time.h>
#endif

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               MonotonicClock::now().time_since_epoch())
        .count();
}

} // namespace

// The serial port wired to the recorder as the application wires them: the stimulus
// hardware's lines and the start message land in the run record, on the recording clock whose
// zero the record gives.
class RecorderSerialTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void monotonicClockIsClockMonotonic();
    void linesInTheRunRecord();
    void floodDuringARecording();
    void deviceLostMidRecording();

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<PseudoTerminalPair> pair;
    // The microcontroller's end of the line.
    std::unique_ptr<QSerialPort> peer;
};

void RecorderSerialTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    pair = std::make_unique<PseudoTerminalPair>();
    QVERIFY2(pair->isReady(), qPrintable(pair->why()));
    peer = std::make_unique<QSerialPort>(pair->peer());
    QVERIFY(peer->open(QIODevice::ReadWrite));
}

void RecorderSerialTest::cleanup()
{
    peer.reset();
    pair.reset();
    folder.reset();
}

// What the README promises scripts: the record's nanoseconds are CLOCK_MONOTONIC's, as Python's
// time.monotonic_ns() reads it.
void RecorderSerialTest::monotonicClockIsClockMonotonic()
{
#ifdef Q_OS_LINUX
    const auto monotonicNs = [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    };
    const qint64 before = monotonicNs();
    const qint64 read = nowNs();
    const qint64 after = monotonicNs();
    QVERIFY(before <= read);
    QVERIFY(read <= after);
#else
    QSKIP("CLOCK_MONOTONIC is Linux's");
#endif
}

void RecorderSerialTest::linesInTheRunRecord()
{

    qint64 zeroNs = 0;
    qint64 csWritten = 0;
    qint64 usWritten = 0;
    std::optional<RunRecord> record;
    {
        // Ends by itself, as an unplugged camera.
        SerialRecording recording("test:320x240@30:frames=45", {pair->device(), 115200}, "go\n",
                                  folder->path());
        QCOMPARE(SerialRecording::readLine(*peer), QByteArray("go\n"));
        csWritten = nowNs();
        peer->write("CS\n");
        QVERIFY(peer->waitForBytesWritten(10000));
        QThread::msleep(100);
        usWritten = nowNs();
        peer->write("US\n");
        QVERIFY(peer->waitForBytesWritten(10000));
        QVERIFY(QTest::qWaitFor([&] { return recording.ended(); }, 60000));
        QString why;
        record = recording.runRecord(&why);
        QVERIFY2(record, qPrintable(why));
    }
    zeroNs = record->recordingClockZeroNs;
    QVERIFY(zeroNs > 0);
    QVERIFY(zeroNs < csWritten);

    QStringList names;
    QMap<QString, qint64> times;
    QStringList timed;
    for (const RunRecord::Event &event : record->events) {
        names << event.name + (event.detail.isEmpty() ? "" : "(" + event.detail + ")");
        timed << names.last() + " at " + QString::number(event.ms);
        times[event.detail] = event.ms;
    }
    const QStringList expected{"recording started", "serial sent(go\\x0a)", "serial(CS)",
                               "serial(US)", "recording ended(camera failed)"};
    QVERIFY2(names == expected, qPrintable(timed.join(", ")));
    qInfo("start message sent %lld ms after the zero", times["go\\x0a"]);
    QVERIFY(times["go\\x0a"] >= 0);
    // Each line's time on the recording clock is its write's, within a few milliseconds (the
    // generous bound is for a busy machine).
    for (const auto &[line, written] : {std::pair{"CS", csWritten}, std::pair{"US", usWritten}}) {
        const qint64 expectedMs = (written - zeroNs) / 1000000;
        const qint64 delay = times[line] - expectedMs;
        qInfo("%s timed %lld ms after its write", line, delay);
        QVERIFY2(delay >= -2 && delay <= 50, qPrintable(QString::number(delay)));
    }
}

// A device that sends a line every 0.1 ms: the run keeps its cap of lines and counts the rest,
// and the recording beside it loses no frame.
void RecorderSerialTest::floodDuringARecording()
{
    std::optional<RunRecord> record;
    const int sent = 30000;
    {
        SerialRecording recording("test:320x240@30", {pair->device(), 115200}, "go\n",
                                  folder->path());
        QCOMPARE(SerialRecording::readLine(*peer), QByteArray("go\n"));
        // Ten lines each millisecond, for three seconds or more.
        for (int line = 0; line < sent; line += 10) {
            QByteArray batch;
            for (int i = line; i < line + 10; ++i)
                batch += "flood " + QByteArray::number(i) + '\n';
            peer->write(batch);
            peer->waitForBytesWritten(1000);
            QThread::msleep(1);
        }
        QThread::msleep(500);
        recording.stop();
        QVERIFY(QTest::qWaitFor([&] { return recording.ended(); }, 60000));
        QString why;
        record = recording.runRecord(&why);
        QVERIFY2(record, qPrintable(why));
    }
    QCOMPARE(record->result, RunRecord::Result::Successful);
    QCOMPARE(record->framesLost, 0);
    QVERIFY(record->frames >= 30);
    int kept = 0;
    QString dropped;
    for (const RunRecord::Event &event : record->events) {
        kept += event.name == RunRecord::Event::serialLine;
        if (event.name == "serial lines dropped")
            dropped = event.detail;
    }
    QCOMPARE(kept, SerialRunWindow::defaultCap);
    // The count is told a few times a second: the last told may miss the last lines read.
    QVERIFY2(dropped.toInt() > 0 && kept + dropped.toInt() <= sent, qPrintable(dropped));
}

// The cable pulled during a recording, then plugged in again: the recording goes on untouched,
// its record tells the loss, and the lines after the port came back are there too.
void RecorderSerialTest::deviceLostMidRecording()
{
    const QString device = folder->filePath("stimulus");
    const QString peerLink = folder->filePath("microcontroller");
    const QString records = folder->filePath("records");
    QVERIFY(QDir().mkdir(records));
    peer.reset();
    pair = std::make_unique<PseudoTerminalPair>(device, peerLink);
    QVERIFY2(pair->isReady(), qPrintable(pair->why()));
    peer = std::make_unique<QSerialPort>(peerLink);
    QVERIFY(peer->open(QIODevice::ReadWrite));
    std::optional<RunRecord> record;
    {
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^Serial port .*/stimulus lost: .*; tried again"));
        SerialRecording recording("test:320x240@30", {device, 115200}, "go\n", records);
        QCOMPARE(SerialRecording::readLine(*peer), QByteArray("go\n"));
        peer->write("before\n");
        QVERIFY(peer->waitForBytesWritten(10000));
        QVERIFY(QTest::qWaitFor([&] { return recording.linesRead() == 1; }, 20000));

        peer.reset();
        pair->unplug();
        pair = std::make_unique<PseudoTerminalPair>(device, peerLink);
        QVERIFY2(pair->isReady(), qPrintable(pair->why()));
        peer = std::make_unique<QSerialPort>(peerLink);
        QVERIFY(peer->open(QIODevice::ReadWrite));
        // Said until the port, tried again every second, has opened and read it.
        QVERIFY(QTest::qWaitFor(
            [&] {
                peer->write("after\n");
                peer->waitForBytesWritten(1000);
                return recording.linesRead() > 1;
            },
            20000));
        recording.stop();
        QVERIFY(QTest::qWaitFor([&] { return recording.ended(); }, 60000));
        QString why;
        record = recording.runRecord(&why);
        QVERIFY2(record, qPrintable(why));
    }
    QCOMPARE(record->result, RunRecord::Result::Successful);
    QCOMPARE(record->framesLost, 0);
    QStringList serialEvents;
    for (const RunRecord::Event &event : record->events)
        if (event.name.startsWith("serial") && event.name != "serial sent")
            serialEvents << (event.name == "serial lost" ? event.name : event.detail);
    serialEvents.removeDuplicates();
    QCOMPARE(serialEvents, (QStringList{"before", "serial lost", "after"}));
}

QTEST_MAIN(RecorderSerialTest)
#include "tst_RecorderSerial.moc"
