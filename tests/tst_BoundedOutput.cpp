#include "app/DiagnosticMessages.h"
#include "common/BoundedOutput.h"
#include "common/StandardStreams.h"
#include "tests/support/StandInProgram.h"
#include "ui/StimulusProgram.h"

#include <QTemporaryDir>

#include <QTemporaryFile>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(BoundedOutput::Kind)

namespace {

#ifdef Q_OS_UNIX
// One of the process's own outputs into a file of its own while it exists.
class Redirected
{
public:
    explicit Redirected(int handle) : handle(handle), saved(::dup(handle))
    {
        valid = file.open() && saved >= 0 && ::dup2(file.handle(), handle) >= 0;
    }
    ~Redirected() { restore(); }
    bool isValid() const { return valid; }
    // Gives the output back and returns what was written into the file.
    QByteArray restore()
    {
        if (saved >= 0) {
            ::dup2(saved, handle);
            ::close(saved);
            saved = -1;
        }
        // The file's offset is shared with the output, which left it at the end.
        return file.seek(0) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryFile file;
    int handle;
    int saved;
    bool valid = false;
};
#endif

// A terminal that takes nothing until it is opened, and then everything; shared with the
// writer, which may outlive the output and the test's own objects.
class Terminal
{
public:
    bool write(const QByteArray &bytes)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ++started;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
        taken += bytes;
        ++finished;
        changed.notify_all();
        return accepts;
    }
    void openUp()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
    // Writes fail from now on, as into a pipe whose reader has gone.
    void breakOff()
    {
        std::lock_guard<std::mutex> lock(mutex);
        accepts = false;
    }
    // Until count writes have begun, or have ended when ended is true.
    bool waitForWrites(int count, bool ended)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return (ended ? finished : started) >= count; });
    }
    int writesEnded()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finished;
    }
    QByteArray text()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return taken;
    }

private:
    int started = 0;
    int finished = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool accepts = true;
    QByteArray taken;
};

BoundedOutput::Write into(const std::shared_ptr<Terminal> &terminal)
{
    return [terminal](const QByteArray &bytes) { return terminal->write(bytes); };
}

QByteArray numbered(const char *what, int number)
{
    return QByteArray(what) + ' ' + QByteArray::number(number).rightJustified(4, '0') + '\n';
}

} // namespace

// The way to the program's own outputs: producers never wait for the terminal, what does not
// fit is dropped and counted, and what is written keeps its order.
class BoundedOutputTest : public QObject
{
    Q_OBJECT
private slots:
    void blockedTerminalDropsWhatDoesNotFit_data();
    void blockedTerminalDropsWhatDoesNotFit();
    void producersNeverWait();
    void drainWaitsForTheTerminal();
    void failedWritesCountAsDropped();
    void stuckWriterLeftBehind();
    void messagesKeepTheirTextAndOrder();
    void programOutputReachesOurOwn();
};

void BoundedOutputTest::blockedTerminalDropsWhatDoesNotFit_data()
{
    QTest::addColumn<BoundedOutput::Kind>("kind");
    QTest::addColumn<QByteArray>("report");
    // 20 pieces of 10 bytes into room for 100: the first 10 fit.
    QTest::newRow("messages") << BoundedOutput::Kind::Message
                              << QByteArray("10 diagnostic lines dropped: the terminal did not "
                                            "take them\n");
    QTest::newRow("a program's output")
        << BoundedOutput::Kind::ProgramOutput
        << QByteArray("100 bytes of the program's output dropped: the terminal did not take "
                      "them\n");
}

// What the terminal did not take shows once as a count, after what came before the gap; what
// comes once it takes text again follows as usual.
void BoundedOutputTest::blockedTerminalDropsWhatDoesNotFit()
{
    QFETCH(BoundedOutput::Kind, kind);
    QFETCH(QByteArray, report);
    const auto terminal = std::make_shared<Terminal>();
    BoundedOutput output(into(terminal), 100);
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        const QByteArray piece = numbered("step", i);
        QCOMPARE(piece.size(), 10);
        QCOMPARE(output.push(piece, kind), i < 10);
        if (i < 10)
            expected += piece;
    }
    QCOMPARE(output.dropped().messages, kind == BoundedOutput::Kind::Message ? 10 : 0);
    QCOMPARE(output.dropped().programBytes, kind == BoundedOutput::Kind::Message ? 0 : 100);
    terminal->openUp();
    QVERIFY(output.drain(20s));
    QCOMPARE(terminal->text(), expected + report);

    QVERIFY(output.push(numbered("after", 1), kind));
    QVERIFY(output.drain(20s));
    QCOMPARE(terminal->text(), expected + report + numbered("after", 1));
}

// Threads that write while the terminal takes nothing all get through; each one's text keeps
// its order, and every piece is either written or counted as dropped.
void BoundedOutputTest::producersNeverWait()
{
    const auto terminal = std::make_shared<Terminal>();
    BoundedOutput output(into(terminal), 64 * 1024);
    constexpr int producers = 4;
    constexpr int pieces = 5000;
    std::atomic<int> done{0};
    std::atomic<int> queued{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            const QByteArray name = "producer" + QByteArray::number(p);
            for (int i = 0; i < pieces; ++i)
                queued += output.push(numbered(name.constData(), i), BoundedOutput::Kind::Message);
            ++done;
        });
    }
    // Through while the terminal is still closed: none of them waited for it.
    QTRY_COMPARE_WITH_TIMEOUT(done.load(), producers, 20000);
    terminal->openUp();
    for (std::thread &thread : threads)
        thread.join();
    QVERIFY(output.drain(20s));

    const BoundedOutput::Dropped dropped = output.dropped();
    QVERIFY(dropped.messages > 0);
    QCOMPARE(queued + dropped.messages, qint64(producers * pieces));
    QList<QByteArray> lines = terminal->text().split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.takeLast(), BoundedOutput::dropReport(dropped).trimmed());
    QCOMPARE(lines.size(), queued.load());
    std::vector<int> last(producers, -1);
    for (const QByteArray &line : qAsConst(lines)) {
        const QList<QByteArray> fields = line.split(' ');
        const int producer = fields[0].mid(8).toInt();
        const int number = fields[1].toInt();
        QVERIFY2(number > last[producer], line.constData());
        last[producer] = number;
    }
}

void BoundedOutputTest::drainWaitsForTheTerminal()
{
    const auto terminal = std::make_shared<Terminal>();
    BoundedOutput output(into(terminal));
    QVERIFY(output.drain(0ms));
    QVERIFY(output.push("held\n", BoundedOutput::Kind::Message));
    QVERIFY(terminal->waitForWrites(1, false));
    QVERIFY(!output.drain(50ms));
    terminal->openUp();
    QVERIFY(output.drain(20s));
    QCOMPARE(terminal->text(), QByteArray("held\n"));
}

// A terminal that is gone takes nothing more: what was meant for it counts as dropped, and
// nothing waits or spins on it.
void BoundedOutputTest::failedWritesCountAsDropped()
{
    const auto terminal = std::make_shared<Terminal>();
    terminal->openUp();
    terminal->breakOff();
    BoundedOutput output(into(terminal));
    QVERIFY(output.push("one\n", BoundedOutput::Kind::Message));
    QVERIFY(output.drain(20s));
    QVERIFY(output.push("two\n", BoundedOutput::Kind::Message));
    QVERIFY(output.push("xyz", BoundedOutput::Kind::ProgramOutput));
    QVERIFY(output.drain(20s));
    QCOMPARE(output.dropped().messages, 2);
    QCOMPARE(output.dropped().programBytes, 3);
}

// An output whose terminal never takes its text ends all the same: its writer stays behind in
// the write, and finishes safely whenever the write returns.
void BoundedOutputTest::stuckWriterLeftBehind()
{
    const auto terminal = std::make_shared<Terminal>();
    std::thread ending([&] {
        BoundedOutput output(into(terminal));
        output.push("stuck\n", BoundedOutput::Kind::Message);
        terminal->waitForWrites(1, false);
        output.push("queued behind it\n", BoundedOutput::Kind::Message);
    });
    // The destructor returns while the write still waits.
    ending.join();
    QCOMPARE(terminal->writesEnded(), 0);
    terminal->openUp();
    QVERIFY(terminal->waitForWrites(2, true));
    QCOMPARE(terminal->text(), QByteArray("stuck\nqueued behind it\n"));
}

// The application's messages reach the standard error as the toolkit's own handler writes
// them: the text, a newline, in the order written.
void BoundedOutputTest::messagesKeepTheirTextAndOrder()
{
#ifdef Q_OS_UNIX
    Redirected error(STDERR_FILENO);
    QVERIFY(error.isValid());
    {
        const DiagnosticMessages diagnostics;
        qDebug("MW:finish emitted");
        qDebug("Disk space low: %d bytes free, %d bytes needed", 10, 20);
        qDebug() << "3"
                 << "/data" << QStringLiteral("/data") << 60;
        std::thread([] { qDebug("BD: finish emitted"); }).join();
        qWarning("Kivo app destructor");
    }
    QVERIFY(StandardStreams::error().drain(20s));
    QCOMPARE(error.restore(), QByteArray("MW:finish emitted\n"
                                         "Disk space low: 10 bytes free, 20 bytes needed\n"
                                         "3 /data \"/data\" 60\n"
                                         "BD: finish emitted\n"
                                         "Kivo app destructor\n"));
#else
    QSKIP("the outputs are redirected the Unix way");
#endif
}

// What the stimulus program writes comes out of this program's own outputs, each to its own.
void BoundedOutputTest::programOutputReachesOurOwn()
{
#ifdef Q_OS_UNIX
    QTemporaryDir folder;
    const StandInProgram script(folder.filePath("talks"),
                                "echo 'to the output'\necho 'to the error' >&2\n"
                                "echo 'output again'\n");
    QVERIFY(script.isValid());
    Redirected output(STDOUT_FILENO);
    Redirected error(STDERR_FILENO);
    QVERIFY(output.isValid() && error.isValid());
    {
        StimulusProgram program;
        QString failure;
        QVERIFY2(program.start(script.path(), &failure), qPrintable(failure));
        QTRY_VERIFY_WITH_TIMEOUT(!program.isRunning(), 20000);
    }
    QVERIFY(StandardStreams::output().drain(20s));
    QVERIFY(StandardStreams::error().drain(20s));
    QCOMPARE(output.restore(), QByteArray("to the output\noutput again\n"));
    QCOMPARE(QString::fromUtf8(error.restore()), QString("to the error\n"));
#else
    QSKIP("the outputs are redirected the Unix way");
#endif
}

QTEST_GUILESS_MAIN(BoundedOutputTest)
#include "tst_BoundedOutput.moc"
