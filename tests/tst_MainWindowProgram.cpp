#include "WindowUnderTest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

private:
    QString log() const;

    QScopedPointer<QTemporaryDir> workingDirectory;
    QScopedPointer<WindowUnderTest> w;
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
    // Logs its start with its argument count, runs a while, and logs its end.
    script = root.filePath("stimulus programs/show stimulus.sh");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n"
               "echo \"start $#\" >> \"$0.log\"\n"
               "sleep 2\n"
               "echo end >> \"$0.log\"\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
    w.reset(new WindowUnderTest(workingDirectory->path()));
    w->postpone->setValue(0);
}

void MainWindowProgramTest::cleanup()
{
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    w.reset();
}

QString MainWindowProgramTest::log() const
{
    QFile file(script + ".log");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The whole field is the program's path, blanks and all, and it gets no arguments. A run
// that starts while the program of an earlier run still runs leaves it be.
void MainWindowProgramTest::startedOnceWhileRunning()
{
    w->programField->setText(script);
    w->press();
    QVERIFY(w->starts.wait(1000));
    QTRY_COMPARE(log(), QStringLiteral("start 0\n"));
    w->press();
    QTRY_COMPARE(w->status->text(), QStringLiteral("RECORD SUCCESSFUL"));

    QTest::ignoreMessage(QtDebugMsg, "MW: program still running, not started again");
    w->press();
    QVERIFY(w->starts.wait(1000));
    w->press();
    QTRY_COMPARE_WITH_TIMEOUT(log(), QStringLiteral("start 0\nend\n"), 4000);

    w->press();
    QVERIFY(w->starts.wait(1000));
    w->press();
    QTRY_COMPARE_WITH_TIMEOUT(log(), QStringLiteral("start 0\nend\nstart 0\nend\n"), 4000);
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

QTEST_MAIN(MainWindowProgramTest)
#include "tst_MainWindowProgram.moc"
