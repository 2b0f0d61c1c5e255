#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

// A live stream from the ffmpeg command line that stops sending without closing, as a camera
// on the network does when it hangs: the video library's read then blocks for its own 30 s.
namespace {

const char childOption[] = "--record-until-stuck";

// Serves a 30 fps stream on a local socket until stopped.
class StreamServer
{
public:
    explicit StreamServer(const QString &socket) : socket(socket)
    {
        server.start("ffmpeg", {"-loglevel", "error", "-re", "-f", "lavfi", "-i",
                                "testsrc=size=320x240:rate=30", "-t", "120", "-c:v", "mpeg4", "-f",
                                "mpegts", "-listen", "1", "unix:" + socket});
    }
    ~StreamServer()
    {
        resume();
        server.kill();
        server.waitForFinished();
    }
    bool listening() const { return QFileInfo::exists(socket); }
    QString address() const { return "unix:" + socket; }
    // Keeps the connection open, sending nothing.
    void freeze() { pause(true); }
    void resume() { pause(false); }

private:
    void pause(bool paused)
    {
#ifdef Q_OS_UNIX
        if (server.processId() > 0)
            ::kill(pid_t(server.processId()), paused ? SIGSTOP : SIGCONT);
#else
        Q_UNUSED(paused)
#endif
    }

    QString socket;
    QProcess server;
};

#ifdef Q_OS_UNIX
// Binds a UDP socket on the local address to port (0: any free one) and returns the port
// bound, or 0 when the port is taken.
int bindUdp(int port)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
                       ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size) == 0;
    ::close(socket);
    return bound ? ntohs(address.sin_port) : 0;
}
#endif

// Sends a 30 fps stream to a UDP port on the local address until stopped.
class UdpSender
{
public:
    explicit UdpSender(int port) : address(QString("udp://127.0.0.1:%1").arg(port))
    {
        sender.start("ffmpeg",
                     {"-loglevel", "error", "-re", "-f", "lavfi", "-i",
                      "testsrc=size=320x240:rate=30", "-t", "120", "-f", "mpegts", address});
    }
    ~UdpSender()
    {
        signal(SIGCONT);
        sender.kill();
        sender.waitForFinished();
    }
    void freeze() { signal(SIGSTOP); }

    const QString address;

private:
    void signal(int number)
    {
#ifdef Q_OS_UNIX
        if (sender.processId() > 0)
            ::kill(pid_t(sender.processId()), number);
#else
        Q_UNUSED(number)
#endif
    }
    QProcess sender;
};

// The program's threads, as the application shell makes them.
struct RecordingThreads
{
    explicit RecordingThreads(const QString &address, const QString &folder)
    {
        recorder->setSourceFactory(
            [address](int camID) { return CameraSources({}, {address}).open(camID); });
        recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
        recorder->setFolderAddress(folder);
        recorder->moveToThread(&thread);
        QObject::connect(recorder, &Recorder::finished, &thread, &QThread::quit);
        QObject::connect(recorder, &Recorder::finished, recorder, &QObject::deleteLater);
        thread.start();
    }
    ~RecordingThreads()
    {
        thread.quit();
        thread.wait();
    }
    void call(void (Recorder::*slot)()) { QMetaObject::invokeMethod(recorder, slot); }

    QThread thread;
    Recorder *recorder = new Recorder;
};

// The child process: records the stream until it is stuck, then quits as closing the window
// does, and ends.
int recordUntilStuck(const QString &address, const QString &folder)
{
    RecordingThreads threads(address, folder);
    QObject::connect(threads.recorder, &Recorder::timeChanged, [](const QString &time) {
        if (time == QLatin1String("00:01")) {
            std::fputs("streaming\n", stdout);
            std::fflush(stdout);
        }
    });
    QObject::connect(threads.recorder, &Recorder::recorded, threads.recorder, &Recorder::quit);
    QObject::connect(threads.recorder, &Recorder::finished, qApp, &QCoreApplication::quit);
    QMetaObject::invokeMethod(threads.recorder, "record", Q_ARG(int, 0));
    return QCoreApplication::exec();
}

} // namespace

class StalledStreamTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void recordingEndsWithinTheBound();
    void programEndsWhileTheReadIsStuck();
    void stoppedSenderFreesThePort();

private:
    bool noLineFor(qint64 milliseconds);

    std::unique_ptr<QTemporaryDir> folder;
    qint64 textSize = -1;
    QElapsedTimer sinceLastLine;
    std::unique_ptr<StreamServer> server;
};

void StalledStreamTest::init()
{
#ifndef Q_OS_UNIX
    QSKIP("freezes the stream's server with a signal");
#endif
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QSKIP("needs the ffmpeg command line");
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    server = std::make_unique<StreamServer>(folder->filePath("stream.sock"));
    QTRY_VERIFY_WITH_TIMEOUT(server->listening(), 20000);
}

// True once the recording's text file has not grown for that long.
bool StalledStreamTest::noLineFor(qint64 milliseconds)
{
    const QStringList texts = QDir(folder->path()).entryList({"*.txt"}, QDir::Files);
    const qint64 size = texts.isEmpty() ? 0 : QFileInfo(folder->filePath(texts.first())).size();
    if (size != textSize) {
        textSize = size;
        sinceLastLine.start();
    }
    return sinceLastLine.elapsed() >= milliseconds;
}

void StalledStreamTest::recordingEndsWithinTheBound()
{
    RecordingThreads threads(server->address(), folder->path());
    // The answers, carried into this thread.
    int timeTexts = 0;
    QVector<bool> results;
    bool finished = false;
    connect(threads.recorder, &Recorder::timeChanged, this, [&timeTexts] { ++timeTexts; });
    connect(threads.recorder, &Recorder::recorded, this,
            [&results](bool successful) { results << successful; });
    connect(threads.recorder, &Recorder::finished, this, [&finished] { finished = true; });
    QMetaObject::invokeMethod(threads.recorder, "record", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(timeTexts >= 2, 30000);
    QTest::ignoreMessage(QtDebugMsg, "no frame from the source within 2000 ms");
    QTest::ignoreMessage(QtDebugMsg, "capture error");
    QTest::ignoreMessage(QtDebugMsg, "source stuck in a read: left to end with the program");
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    QElapsedTimer frozen;
    frozen.start();
    server->freeze();
    // Frames on their way still come for a moment; then the read is stuck.
    QTRY_VERIFY_WITH_TIMEOUT(noLineFor(1000), 20000);
    // Both wait behind the read, which gives up long before the library would.
    threads.call(&Recorder::stop);
    threads.call(&Recorder::quit);
    QTRY_VERIFY_WITH_TIMEOUT(finished, 25000);
    QVERIFY2(frozen.elapsed() >= 1900, qPrintable(QString::number(frozen.elapsed())));
    QCOMPARE(results, QVector<bool>{false});
}

// The read stays stuck in the library after the recording has ended; the process ends all the
// same, and well before the library's own 30 s.
void StalledStreamTest::programEndsWhileTheReadIsStuck()
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {childOption, server->address(), folder->path()});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine(), 30000);
    QCOMPARE(child.readLine(), QByteArray("streaming\n"));
    QElapsedTimer frozen;
    frozen.start();
    server->freeze();
    QVERIFY(child.waitForFinished(60000));
    const qint64 ended = frozen.elapsed();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(ended < 20000, qPrintable(QString("ended %1 ms after the stream froze").arg(ended)));
}

// A stream received on a UDP port whose sender stops: the read left stuck in the library gives
// up soon after the recording did, well before the library's own 30 s, so that the port is
// free for the next recording; while the sender stays silent, opening the address fails with
// a reason that names it.
void StalledStreamTest::stoppedSenderFreesThePort()
{
    const int port = bindUdp(0);
    QVERIFY(port > 0);
    UdpSender sender(port);
    RecordingThreads threads(sender.address, folder->path());
    int timeTexts = 0;
    QStringList reasons;
    connect(threads.recorder, &Recorder::timeChanged, this, [&timeTexts] { ++timeTexts; });
    connect(threads.recorder, &Recorder::resultExplained, this,
            [&reasons](const QString &reason) { reasons << reason; });
    QMetaObject::invokeMethod(threads.recorder, "record", Q_ARG(int, 0));
    QTRY_VERIFY_WITH_TIMEOUT(timeTexts >= 2, 30000);
    QCOMPARE(bindUdp(port), 0);

    sender.freeze();
    QTRY_COMPARE_WITH_TIMEOUT(reasons, QStringList{"the camera stopped delivering"}, 20000);
    QElapsedTimer sinceFailure;
    sinceFailure.start();
    QTRY_VERIFY_WITH_TIMEOUT(bindUdp(port) == port, 20000);
    qInfo("port free %lld ms after the recording failed", sinceFailure.elapsed());

    QMetaObject::invokeMethod(threads.recorder, "record", Q_ARG(int, 0));
    QTRY_COMPARE_WITH_TIMEOUT(reasons.size(), 2, 30000);
    QCOMPARE(reasons.last(), "camera " + sender.address + " did not open");
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], childOption) == 0)
        return recordUntilStuck(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    qRegisterMetaType<IplImage *>("IplImage*");
    StalledStreamTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_StalledStream.moc"
