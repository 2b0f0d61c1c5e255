#include "app/ShutdownSignals.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Set in the copy of this program that a test starts to be ended by a signal.
const char childVariable[] = "SHUTDOWN_SIGNALS_CHILD";

} // namespace
#endif

class ShutdownSignalsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
#ifdef Q_OS_UNIX
    void requestBecomesSignal_data();
    void requestBecomesSignal();
    void ignoredRequestStaysIgnored();
    void earlierHandlersComeBack();
    void fileSizeLimitFailsTheWrite();
    void secondRequestEndsAtOnce();
#endif
};

// Whatever this test was started with, each test begins with the default dispositions.
void ShutdownSignalsTest::init()
{
#ifdef Q_OS_UNIX
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ, SIGPIPE})
        std::signal(number, SIG_DFL);
#endif
}

#ifdef Q_OS_UNIX
void ShutdownSignalsTest::requestBecomesSignal_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("SIGINT: Ctrl-C") << SIGINT;
    QTest::newRow("SIGTERM: kill, shutdown") << SIGTERM;
    QTest::newRow("SIGHUP: terminal closed") << SIGHUP;
}

void ShutdownSignalsTest::requestBecomesSignal()
{
    QFETCH(int, number);
    ShutdownSignals requests;
    QSignalSpy requested(&requests, &ShutdownSignals::endRequested);
    std::raise(number);
    QVERIFY(requested.wait(10000));
    QCOMPARE(requested.count(), 1);
}

// As under nohup: the program was told to outlive its terminal.
void ShutdownSignalsTest::ignoredRequestStaysIgnored()
{
    std::signal(SIGHUP, SIG_IGN);
    ShutdownSignals requests;
    QSignalSpy requested(&requests, &ShutdownSignals::endRequested);
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    QVERIFY(requested.wait(10000));
    QCOMPARE(requested.count(), 1);
    struct sigaction hangUp = {};
    sigaction(SIGHUP, nullptr, &hangUp);
    QVERIFY(hangUp.sa_handler == SIG_IGN);
}

namespace {
void earlierHandler(int) {}
} // namespace

void ShutdownSignalsTest::earlierHandlersComeBack()
{
    std::signal(SIGTERM, earlierHandler);
    std::signal(SIGPIPE, SIG_IGN);
    {
        ShutdownSignals requests;
        struct sigaction during = {};
        sigaction(SIGTERM, nullptr, &during);
        QVERIFY(during.sa_handler != earlierHandler);
    }
    struct sigaction terminate = {}, pipe = {}, fileSize = {};
    sigaction(SIGTERM, nullptr, &terminate);
    sigaction(SIGPIPE, nullptr, &pipe);
    sigaction(SIGXFSZ, nullptr, &fileSize);
    QVERIFY(terminate.sa_handler == earlierHandler);
    QVERIFY(pipe.sa_handler == SIG_IGN);
    QVERIFY(fileSize.sa_handler == SIG_DFL);
}

// By default the kernel would end the process here; the write must fail instead, and a
// program started from here must find the default again.
void ShutdownSignalsTest::fileSizeLimitFailsTheWrite()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    ShutdownSignals requests;
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    QFile file(folder.filePath("limited"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'x');
    const qint64 first = file.write(block);
    const qint64 second = file.write(block);
    setrlimit(RLIMIT_FSIZE, &previous);
    QCOMPARE(first, qint64(4096));
    QCOMPARE(second, qint64(-1));

    QProcess shell;
    shell.setWorkingDirectory(folder.path());
    shell.start("sh", {"-c", "ulimit -f 1; head -c 4096 /dev/zero > limited; echo $?"});
    QVERIFY(shell.waitForFinished(10000));
    // 128 + the signal: the shell's child was ended by the limit, as it would be elsewhere.
    QCOMPARE(shell.readAllStandardOutput().trimmed(), QByteArray::number(128 + SIGXFSZ));
}

// The first request is served; a second one before the program has ended ends it at once, with
// the signal's own ending. Run in a copy of this program, which the test lets die.
void ShutdownSignalsTest::secondRequestEndsAtOnce()
{
    if (qEnvironmentVariableIsSet(childVariable)) {
        ShutdownSignals requests;
        QSignalSpy requested(&requests, &ShutdownSignals::endRequested);
        std::raise(SIGINT);
        QVERIFY(requested.wait(10000));
        std::printf("first request served\n");
        std::fflush(stdout);
        std::raise(SIGTERM);
        std::printf("still running\n");
        return;
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"secondRequestEndsAtOnce"});
    QVERIFY(child.waitForFinished(30000));
    const QByteArray output = child.readAllStandardOutput();
    QVERIFY2(output.contains("first request served"), output.constData());
    QVERIFY2(!output.contains("still running"), output.constData());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(child.exitCode(), SIGTERM);
}
#endif

QTEST_GUILESS_MAIN(ShutdownSignalsTest)
#include "tst_ShutdownSignals.moc"
