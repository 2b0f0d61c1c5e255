#include "capture/CameraSources.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "runrecord/RunRecord.h"
#include "stimulus/SerialPortWorker.h"
#include "tests/support/PseudoTerminalPair.h"

#include <QDir>
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
    void monotonicClockIsClockMonotonic();
    void linesInTheRunRecord();
};

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
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    PseudoTerminalPair pair;
    QVERIFY2(pair.isReady(), qPrintable(pair.why()));
    QSerialPort peer(pair.peer());
    QVERIFY(peer.open(QIODevice::ReadWrite));

    QThread recorderThread;
    auto *recorder = new Recorder;
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory(
        // Ends by itself, as an unplugged camera.
        [](int camera) { return CameraSources({}, {"test:320x240@30:frames=45"}).open(camera); });
    recorder->moveToThread(&recorderThread);
    std::atomic<int> results{0};
    connect(
        recorder, &Recorder::recorded, recorder, [&results] { ++results; }, Qt::DirectConnection);

    QThread serialThread;
    auto *serial = new SerialPortWorker(SerialSetting{pair.device(), 115200}, "go\n");
    serial->moveToThread(&serialThread);
    connect(&serialThread, &QThread::started, serial, &SerialPortWorker::start);
    connect(&serialThread, &QThread::finished, serial, &QObject::deleteLater);
    connect(recorder, &Recorder::recorded, serial, &SerialPortWorker::closeRun);
    connect(recorder, &Recorder::recordingClockStarted, serial,
            &SerialPortWorker::sendStartMessage);
    connect(serial, &SerialPortWorker::runEvent, recorder, &Recorder::noteRunEventNs);
    recorderThread.start();
    serialThread.start();

    // As the window's press: the folder to the recorder first, then the run to the port.
    const QString path = folder.path();
    QMetaObject::invokeMethod(recorder, [recorder, path] { recorder->setFolderAddress(path); });
    QMetaObject::invokeMethod(serial, &SerialPortWorker::openRun);
    QMetaObject::invokeMethod(recorder, [recorder] { recorder->record(0); });

    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            peer.waitForReadyRead(100);
            received += peer.readAll();
            return received.contains('\n');
        },
        30000));
    QCOMPARE(received, QByteArray("go\n"));
    const qint64 csWritten = nowNs();
    peer.write("CS\n");
    QVERIFY(peer.waitForBytesWritten(10000));
    QThread::msleep(100);
    const qint64 usWritten = nowNs();
    peer.write("US\n");
    QVERIFY(peer.waitForBytesWritten(10000));
    QVERIFY(QTest::qWaitFor([&] { return results > 0; }, 60000));

    QMetaObject::invokeMethod(
        recorder, [recorder] { delete recorder; }, Qt::BlockingQueuedConnection);
    recorderThread.quit();
    serialThread.quit();
    QVERIFY(recorderThread.wait(30000));
    QVERIFY(serialThread.wait(30000));

    const QStringList records = QDir(folder.path()).entryList({"*.json"}, QDir::Files);
    QCOMPARE(records.size(), 1);
    QString why;
    const std::optional<RunRecord> record =
        RunRecord::read(QDir(folder.path()).filePath(records.first()), &why);
    QVERIFY2(record, qPrintable(why));
    const qint64 zeroNs = record->recordingClockZeroNs;
    QVERIFY(zeroNs > 0);
    QVERIFY(zeroNs < csWritten);

    QStringList names;
    QMap<QString, qint64> times;
    for (const RunRecord::Event &event : record->events) {
        names << event.name + (event.detail.isEmpty() ? "" : "(" + event.detail + ")");
        times[event.detail] = event.ms;
    }
    QCOMPARE(names, (QStringList{"recording started", "serial sent(go\\x0a)", "serial(CS)",
                                 "serial(US)", "recording ended(camera failed)"}));
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

QTEST_MAIN(RecorderSerialTest)
#include "tst_RecorderSerial.moc"
