#include "tests/support/StandInProgram.h"
#include "tests/support/WindowUnderTest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Counts the debug messages with one text while it exists, passing every message on to the
// test framework, so that a test can wait for a message that comes asynchronously.
class MessageCounter
{
public:
    explicit MessageCounter(const QString &text)
    {
        watched = text;
        count = 0;
        previous = qInstallMessageHandler(&MessageCounter::handle);
    }
    ~MessageCounter() { qInstallMessageHandler(previous); }
    int seen() const { return count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message == watched)
            ++count;
        previous(type, context, message);
    }
    static inline QString watched;
    static inline int count = 0;
    static inline QtMessageHandler previous = nullptr;
};

// This process's resident memory in kB, from /proc; -1 where there is none.
qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

#ifdef Q_OS_UNIX
// Points this process's standard output and error at the null device while it exists, so that
// what a program started meanwhile writes there is not kept in the test log.
class OutputToNull
{
public:
    OutputToNull() : savedOutput(::dup(STDOUT_FILENO)), savedError(::dup(STDERR_FILENO))
    {
        fflush(stdout);
        fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~OutputToNull()
    {
        fflush(stdout);
        fflush(stderr);
        ::dup2(savedOutput, STDOUT_FILENO);
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedOutput);
        ::close(savedError);
    }

private:
    const int savedOutput;
    const int savedError;
};
#endif

} // namespace

// The program that a run starts at the end of its countdown.
class MainWindowProgramTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startedOnceWhileRunning();
    void programThatCannotStart();
    void outputDoesNotPileUp();
    void programGroupEndsWithTheWindow();

private:
    QString log() const;

    QScopedPointer<QTemporaryDir> workingDirectory;
    QScopedPointer<WindowUnderTest> w;
    StandInProgram program;
    QString script;
};

void MainWindowProgramTest::init()
{
#ifndef Q_OS_UNIX
    QSKIP("The stand-in program is a shell script");
#endif
    workingDirectory.reset(new QTemporaryDir);
    QVERIFY(workingDirectory->isValid());
    QDir root(workingDirectory->path());
    QVERIFY(root.mkdir("stimulus programs"));
    // Logs its start with its argument count, runs until the test releases it, and logs its
    // end.
    script = root.filePath("stimulus programs/show stimulus.sh");
    program = StandInProgram(script, "echo $$ > \"$0.pid\"\n"
                                     "echo \"start $#\" >> \"$0.log\"\n"
                                     "while [ ! -e \"$0.release\" ]; do sleep 0.05; done\n"
                                     "rm \"$0.release\"\n"
                                     "echo end >> \"$0.log\"\n");
    QVERIFY(program.isValid());
    w.reset(new WindowUnderTest(workingDirectory->path()));
    w->postpone->setValue(0);
}

void MainWindowProgramTest::cleanup()
{
    if (w)
        QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset();
}

QString MainWindowProgramTest::log() const
{
    QFile file(script + ".log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The whole field is the program's path, blanks and all, and it gets no arguments. A run
// that starts while the program of an earlier run still runs leaves it be; once it has ended,
// the next run starts it again.
void MainWindowProgramTest::startedOnceWhileRunning()
{
    const auto release = [this] {
        const qint64 pid = program.pid();
        QFile file(script + ".release");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::exists(pid), 20000);
    };
    w->programField->setText(script);
    w->press();
    QVERIFY(w->starts.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(log(), QStringLiteral("start 0\n"), 20000);
    w->press();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));

    QTest::ignoreMessage(QtDebugMsg, "MW: program still running, not started again");
    w->press();
    QVERIFY(w->starts.wait(20000));
    w->press();
    release();
    QCOMPARE(log(), QStringLiteral("start 0\nend\n"));

    w->press();
    QVERIFY(w->starts.wait(20000));
    w->press();
    QTRY_COMPARE_WITH_TIMEOUT(log(), QStringLiteral("start 0\nend\nstart 0\n"), 20000);
    release();
    QCOMPARE(log(), QStringLiteral("start 0\nend\nstart 0\nend\n"));
    QCOMPARE(w->starts.count(), 3);
}

// The run goes on without it; only a debug line tells.
void MainWindowProgramTest::programThatCannotStart()
{
    w->programField->setText(workingDirectory->filePath("no such program"));
    MessageCounter failures("MW: program failed to start");
    QTest::ignoreMessage(QtDebugMsg, "MW: program failed to start");
    w->press();
    QVERIFY(w->starts.wait(1000));
    QTRY_COMPARE(failures.seen(), 1);
    QCOMPARE(w->status->text(), QStringLiteral("RECORDING..."));
}

// A program that writes a great deal while the run records: nothing of it is held in the
// recorder's memory.
void MainWindowProgramTest::outputDoesNotPileUp()
{
    if (residentKilobytes() < 0)
        QSKIP("this platform does not report resident memory");
    const StandInProgram chatty(workingDirectory->filePath("chatty.sh"),
                                "head -c 100000000 /dev/zero\n"
                                "head -c 1000000 /dev/zero >&2\n"
                                "echo done > \"$0.done\"\n"
                                "exec sleep 60\n");
    QVERIFY(chatty.isValid());
    w->programField->setText(chatty.path());
    const qint64 before = residentKilobytes();
    bool started = false;
    {
        // The program's output is this process's own.
        OutputToNull quiet;
        w->press();
        started = w->starts.wait(20000);
    }
    QVERIFY(started);
    QTRY_VERIFY_WITH_TIMEOUT(!chatty.written("done").isEmpty(), 60000);
    // Time for output still on its way to be read, if it were read.
    QTest::qWait(500);
    const qint64 grown = residentKilobytes() - before;
    qInfo("resident memory grew by %lld kB while the program wrote 101 MB", grown);
    QVERIFY(grown < 20 * 1024);
}

// The program of a run that recorded goes on after the run; it and its children end when the
// window goes, even when they ignore the request to end.
void MainWindowProgramTest::programGroupEndsWithTheWindow()
{
    const StandInProgram stubborn(workingDirectory->filePath("stubborn.sh"),
                                  "trap '' TERM\n"
                                  "sleep 60 &\n"
                                  "echo $! > \"$0.child\"\n"
                                  "echo $$ > \"$0.pid\"\n"
                                  "while :; do wait; done\n");
    QVERIFY(stubborn.isValid());
    w->programField->setText(stubborn.path());
    w->press();
    QVERIFY(w->starts.wait(20000));
    w->press();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));
    QTRY_VERIFY_WITH_TIMEOUT(stubborn.pid() > 0, 20000);
    const qint64 program = stubborn.pid();
    const qint64 child = stubborn.pid("child");
    QVERIFY(StandInProgram::isRunning(program));
    QVERIFY(StandInProgram::isRunning(child));

    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    QTest::ignoreMessage(QtDebugMsg, "MW: program killed");
    w.reset();
    QVERIFY(!StandInProgram::exists(program));
    QTRY_VERIFY_WITH_TIMEOUT(!StandInProgram::isRunning(child), 20000);
}

QTEST_MAIN(MainWindowProgramTest)
#include "tst_MainWindowProgram.moc"
