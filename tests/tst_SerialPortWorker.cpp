#include "stimulus/SerialPortWorker.h"
#include "stimulus/SerialText.h"
#include "tests/support/PseudoTerminalPair.h"

#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               MonotonicClock::now().time_since_epoch())
        .count();
}

// A line's time may be read up to this late on a busy machine; the goal is 2 ms.
const qint64 generousMs = 50;

// The run events a worker in another thread tells, collected in the test's thread.
class EventLog : public QObject
{
    Q_OBJECT
public:
    struct Event
    {
        QString name;
        qint64 ns;
        QString detail;
    };
    QVector<Event> events;

    int count(const QString &name) const
    {
        return int(std::count_if(events.begin(), events.end(),
                                 [&](const Event &event) { return event.name == name; }));
    }
    QString lastDetail(const QString &name) const
    {
        for (auto event = events.rbegin(); event != events.rend(); ++event) {
            if (event->name == name)
                return event->detail;
        }
        return {};
    }

public slots:
    void note(QString name, qint64 ns, QString detail) { events.append({name, ns, detail}); }
};

} // namespace

// The serial worker against a pseudo-terminal pair: the test writes as the stimulus hardware
// would at the pair's other end.
class SerialPortWorkerTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void linesTimedByTheirArrival_data();
    void linesTimedByTheirArrival();
    void linesOutsideARunDropped();
    void startMessageSent();
    void unpluggedAndBack();
    void floodKeptToTheCap();

private:
    // The worker on the pair's device end, started in a thread of its own as the application
    // starts it.
    void startWorker(QByteArray startMessage = {}, int cap = SerialRunWindow::defaultCap);
    // Runs what in the worker's thread, and waits for it.
    void inWorker(const std::function<void(SerialPortWorker &)> &what);
    // Asks the worker, queued, as the window and the recorder do.
    void ask(void (SerialPortWorker::*slot)());
    bool openPeer(const QString &name);
    void send(const QByteArray &bytes);
    // Waits for the worker to read (and drop) count lines between runs.
    bool readBetweenRuns(int count);
    bool portOpen();

    std::unique_ptr<PseudoTerminalPair> pair;
    std::unique_ptr<QSerialPort> peer;
    QThread thread;
    SerialPortWorker *worker = nullptr;
    EventLog log;
};

void SerialPortWorkerTest::init()
{
    pair = std::make_unique<PseudoTerminalPair>();
    QVERIFY2(pair->isReady(), qPrintable(pair->why()));
    QVERIFY(openPeer(pair->peer()));
    log.events.clear();
}

void SerialPortWorkerTest::cleanup()
{
    // Nothing may hang: the worker's thread ends at once.
    thread.quit();
    QVERIFY(thread.wait(30000));
    worker = nullptr;
    peer.reset();
    pair.reset();
}

void SerialPortWorkerTest::startWorker(QByteArray startMessage, int cap)
{
    worker = new SerialPortWorker(SerialSetting{pair->device(), 115200}, std::move(startMessage));
    worker->setLineCap(cap);
    worker->moveToThread(&thread);
    connect(&thread, &QThread::started, worker, &SerialPortWorker::start);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &SerialPortWorker::runEvent, &log, &EventLog::note);
    connect(worker, &SerialPortWorker::lost, &log,
            [this](const QString &why) { log.note("lost signal", 0, why); });
    thread.start();
    QVERIFY(portOpen());
}

void SerialPortWorkerTest::inWorker(const std::function<void(SerialPortWorker &)> &what)
{
    SerialPortWorker *target = worker;
    QMetaObject::invokeMethod(
        worker, [target, what] { what(*target); }, Qt::BlockingQueuedConnection);
}

void SerialPortWorkerTest::ask(void (SerialPortWorker::*slot)())
{
    QMetaObject::invokeMethod(worker, slot, Qt::QueuedConnection);
}

bool SerialPortWorkerTest::portOpen()
{
    bool open = false;
    inWorker([&open](SerialPortWorker &w) { open = w.port->isOpen(); });
    return open;
}

bool SerialPortWorkerTest::openPeer(const QString &name)
{
    peer = std::make_unique<QSerialPort>(name);
    return peer->open(QIODevice::ReadWrite);
}

void SerialPortWorkerTest::send(const QByteArray &bytes)
{
    peer->write(bytes);
    QVERIFY(peer->waitForBytesWritten(10000));
}

bool SerialPortWorkerTest::readBetweenRuns(int count)
{
    return QTest::qWaitFor(
        [&] {
            int read = 0;
            inWorker([&read](SerialPortWorker &w) { read = w.window.betweenRuns(); });
            return read == count;
        },
        20000);
}

void SerialPortWorkerTest::linesTimedByTheirArrival_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("one line") << QList<QByteArray>{"CS on\n"} << QStringList{"CS on"};
    QTest::newRow("split across two writes")
        << QList<QByteArray>{"trial 3 ", "US on\r\n"} << QStringList{"trial 3 US on"};
    QTest::newRow("binary bytes") << QList<QByteArray>{QByteArray("\x02\xff\\\0ok\n", 7)}
                                  << QStringList{"\\x02\\xff\\x5c\\x00ok"};
    QTest::newRow("300 bytes: cut")
        << QList<QByteArray>{QByteArray(300, 'x') + '\n'} << QStringList{QString(256, 'x')};
}

// Each line's time is its first byte's arrival: here, within a few milliseconds of the write
// that brought it.
void SerialPortWorkerTest::linesTimedByTheirArrival()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QStringList, texts);
    startWorker();
    ask(&SerialPortWorker::openRun);
    if (texts.first().size() == SerialLines::longestLine)
        QTest::ignoreMessage(QtDebugMsg, "Serial line longer than 256 bytes cut");
    const qint64 firstWrite = nowNs();
    int bytesWritten = 0;
    for (const QByteArray &bytes : writes) {
        send(bytes);
        bytesWritten += bytes.size();
        QThread::msleep(20);
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.events.size(), 1, 20000);
    QCOMPARE(log.events[0].name, QString("serial"));
    QCOMPARE(log.events[0].detail, texts.first());
    const double delay = (log.events[0].ns - firstWrite) / 1e6;
    qInfo("line timed %.3f ms after its first write", delay);
    // The pair moves bytes at once, not at the rate: the time, corrected for the rate, may
    // come before the write by as long as the bytes would take at 115200 baud.
    const double transferMs = bytesWritten * 10 * 1000 / 115200.0;
    QVERIFY2(delay >= -transferMs && delay <= generousMs, qPrintable(QString::number(delay)));
}

void SerialPortWorkerTest::linesOutsideARunDropped()
{
    startWorker();
    send("before\n");
    QVERIFY(readBetweenRuns(1));
    QTest::ignoreMessage(QtDebugMsg, "1 serial lines between runs dropped");
    ask(&SerialPortWorker::openRun);
    send("during\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.events.size(), 1, 20000);
    inWorker([](SerialPortWorker &w) { w.closeRun(); });
    send("after\nand after\n");
    QVERIFY(readBetweenRuns(2));
    QCOMPARE(log.events.size(), 1);
    QCOMPARE(log.events[0].detail, QString("during"));
}

// The message goes out when the recording clock starts, and the run keeps when it went.
void SerialPortWorkerTest::startMessageSent()
{
    const QByteArray message = SerialText::unescaped("start\\x01\\n");
    startWorker(message);
    ask(&SerialPortWorker::openRun);
    const qint64 zero = nowNs();
    ask(&SerialPortWorker::sendStartMessage);
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            peer->waitForReadyRead(100);
            received += peer->readAll();
            return received.size() >= message.size();
        },
        20000));
    QCOMPARE(received, message);
    QTRY_COMPARE_WITH_TIMEOUT(log.events.size(), 1, 20000);
    QCOMPARE(log.events[0].name, QString("serial sent"));
    QCOMPARE(log.events[0].detail, QString("start\\x01\\x0a"));
    qInfo("start message sent %.3f ms after it was asked for", (log.events[0].ns - zero) / 1e6);
    QVERIFY(log.events[0].ns >= zero);
}

// socat ended, as a device unplugged: the run is told, nothing hangs, and the same names made
// again are opened again within seconds.
void SerialPortWorkerTest::unpluggedAndBack()
{
    QTemporaryDir links;
    QVERIFY(links.isValid());
    const QString device = links.filePath("stimulus");
    const QString peerLink = links.filePath("microcontroller");
    peer.reset();
    pair = std::make_unique<PseudoTerminalPair>(device, peerLink);
    QVERIFY2(pair->isReady(), qPrintable(pair->why()));
    QVERIFY(openPeer(peerLink));
    startWorker();
    ask(&SerialPortWorker::openRun);
    send("one\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("serial"), 1, 20000);

    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^Serial port .*/stimulus lost: .*; tried again"));
    pair->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(log.count("serial lost"), 1, 20000);
    QCOMPARE(log.count("lost signal"), 1);
    QVERIFY(log.lastDetail("lost signal").startsWith("serial port " + device + " lost: "));

    peer.reset();
    pair = std::make_unique<PseudoTerminalPair>(device, peerLink);
    QVERIFY2(pair->isReady(), qPrintable(pair->why()));
    QVERIFY(openPeer(peerLink));
    QTRY_VERIFY_WITH_TIMEOUT(portOpen(), 20000);
    send("two\n");
    QTRY_COMPARE_WITH_TIMEOUT(log.count("serial"), 2, 20000);
    QCOMPARE(log.lastDetail("serial"), QString("two"));
    // Lost once, however many tries it took to come back.
    QCOMPARE(log.count("serial lost"), 1);
}

// A line every 0.1 ms, read in the worker's own thread: the run keeps the cap's lines and
// counts the rest.
void SerialPortWorkerTest::floodKeptToTheCap()
{
    startWorker({}, 2000);
    ask(&SerialPortWorker::openRun);
    const int lines = 10000;
    for (int sent = 0; sent < lines; sent += 100) {
        QByteArray batch;
        for (int i = sent; i < sent + 100; ++i)
            batch += "flood " + QByteArray::number(i) + '\n';
        send(batch);
        QThread::msleep(10);
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.lastDetail("serial lines dropped"), QString::number(lines - 2000),
                              30000);
    QCOMPARE(log.count("serial"), 2000);
    QCOMPARE(log.lastDetail("serial"), QString("flood 1999"));
}

QTEST_MAIN(SerialPortWorkerTest)
#include "tst_SerialPortWorker.moc"
