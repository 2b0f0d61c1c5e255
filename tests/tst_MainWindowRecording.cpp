#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "tests/support/RecordingFiles.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

// Whole runs from the window with the real recorder in its own thread and the test camera,
// wired as the application wires them.
class MainWindowRecordingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fullRunThenNextFolder();

private:
    template <typename Widget> Widget *widget(const char *name) const
    {
        return window->findChild<Widget *>(QString::fromLatin1(name));
    }
    QString text(const char *labelOrButton) const;
    void verifyRecordingIn(const QString &folder, qint64 minimumMs);

    std::unique_ptr<QTemporaryDir> workingDirectory;
    std::unique_ptr<MainWindow> window;
    QThread *thread = nullptr;
    Recorder *recorder = nullptr;
};

void MainWindowRecordingTest::initTestCase()
{
    qRegisterMetaType<IplImage *>("IplImage*");
}

void MainWindowRecordingTest::init()
{
    workingDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workingDirectory->isValid());
    const CameraSources cameras({}, {"test"});
    window = std::make_unique<MainWindow>(workingDirectory->path(), 1, 0, cameras.displayNames());
    thread = new QThread;
    recorder = new Recorder;
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory([cameras](int camID) { return cameras.open(camID); });
    recorder->moveToThread(thread);
    connect(window.get(), SIGNAL(startRecording(int)), recorder, SLOT(record(int)));
    connect(window.get(), SIGNAL(workingDirectoryChanged(QString)), recorder,
            SLOT(setFolderAddress(QString)));
    connect(window.get(), SIGNAL(stopRecording()), recorder, SLOT(stop()));
    connect(recorder, SIGNAL(frameAvailable(IplImage *)), window.get(),
            SLOT(showFrame(IplImage *)));
    connect(recorder, SIGNAL(recorded(bool)), window.get(), SLOT(recorded(bool)));
    connect(recorder, SIGNAL(timeChanged(QString)), window.get(), SLOT(updateTime(QString)));
    thread->start();
    window->show();
}

void MainWindowRecordingTest::cleanup()
{
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    window.reset();
    workingDirectory.reset();
}

QString MainWindowRecordingTest::text(const char *labelOrButton) const
{
    return window->findChild<QObject *>(QString::fromLatin1(labelOrButton))
        ->property("text")
        .toString();
}

// One video, one text file and the run record, with a line for every frame, spanning at least
// the time given.
void MainWindowRecordingTest::verifyRecordingIn(const QString &folder, qint64 minimumMs)
{
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 3);
    QVERIFY2(files[0].endsWith(".avi") && files[1].endsWith(".json") && files[2].endsWith(".txt"),
             qPrintable(files.join(' ')));
    QCOMPARE(files[0].chopped(4), files[2].chopped(4));
    QCOMPARE(files[1].chopped(5), files[2].chopped(4));
    const auto lines = RecordingFiles::readLines(QDir(folder).filePath(files[2]));
    QVERIFY(lines);
    QVERIFY(!lines->isEmpty());
    QCOMPARE(RecordingFiles::readVideo(QDir(folder).filePath(files[0])).frameCount, lines->size());
    const qint64 span = lines->last().ms;
    QVERIFY2(span >= minimumMs, qPrintable(QString::number(span)));
}

// Countdown, Recording, Stopped and Finished with P = 1 and L = 1: the stop timer ends the
// recording P + L + 5 s after the press. A second press records into folder 2.
void MainWindowRecordingTest::fullRunThenNextFolder()
{
    auto *button = widget<QPushButton>("pushButton_newRecord");
    widget<QSpinBox>("spinBox_startPostpone")->setValue(1);
    widget<QSpinBox>("spinBox_videoLength")->setValue(1);
    QSignalSpy starts(window.get(), SIGNAL(startRecording(int)));
    QSignalSpy stops(window.get(), SIGNAL(stopRecording()));
    const QString firstFolder = workingDirectory->path() + "/1";
    QStringList sent;
    bool existedWhenSent = true;
    connect(window.get(), &MainWindow::workingDirectoryChanged, this, [&](const QString &folder) {
        sent << folder;
        existedWhenSent = QDir(folder).exists();
    });
    // Queued: runs once the stop has been handled, and before the recorder's answer, which
    // can only be posted later.
    QStringList stoppedTexts;
    connect(
        window.get(), &MainWindow::stopRecording, this,
        [&] {
            stoppedTexts = QStringList{text("label_status"), text("pushButton_newRecord")};
        },
        Qt::QueuedConnection);
    // Every elapsed time the recorder sent, as the window receives them.
    QStringList times;
    connect(recorder, &Recorder::timeChanged, this, [&](const QString &time) { times << time; });

    QElapsedTimer sincePress;
    sincePress.start();
    QTest::ignoreMessage(QtDebugMsg, "spin box value 1");
    button->click();
    QCOMPARE(text("label_status"), QStringLiteral("Recording starts in "));
    QCOMPARE(text("label_time"), QStringLiteral("0:1"));
    QCOMPARE(text("pushButton_newRecord"), QStringLiteral("New record"));
    QCOMPARE(sent, QStringList{firstFolder});
    QVERIFY(!existedWhenSent);
    QVERIFY(QDir(firstFolder).exists());
    QCOMPARE(window->findChild<QTimer *>("stopRecorderTimer")->interval(), 7000);

    QVERIFY(starts.wait(20000));
    QCOMPARE(text("label_status"), QStringLiteral("RECORDING..."));
    QCOMPARE(text("pushButton_newRecord"), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(times.contains("00:02"), 20000);

    QVERIFY(stops.wait(30000));
    QVERIFY2(sincePress.elapsed() >= 7000, qPrintable(QString::number(sincePress.elapsed())));
    QTRY_COMPARE(stoppedTexts, (QStringList{"RECORDING...", "New record"}));
    QTRY_COMPARE_WITH_TIMEOUT(text("label_status"), QStringLiteral("RECORD SUCCESSFUL"), 20000);
    QCOMPARE(text("pushButton_newRecord"), QStringLiteral("New record"));
    QCOMPARE(text("label_time"), times.last());
    // Recording was asked 1 s after the press, and stopped 7 s after it.
    verifyRecordingIn(firstFolder, 5000);

    widget<QSpinBox>("spinBox_startPostpone")->setValue(0);
    times.clear();
    button->click();
    QCOMPARE(sent.last(), workingDirectory->path() + "/2");
    QVERIFY(starts.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(times.contains("00:01"), 20000);
    button->click();
    QTRY_COMPARE_WITH_TIMEOUT(text("label_status"), QStringLiteral("RECORD SUCCESSFUL"), 20000);
    verifyRecordingIn(workingDirectory->path() + "/2", 1000);
    QCOMPARE(QDir(firstFolder).entryList(QDir::Files).size(), 3);
}

QTEST_MAIN(MainWindowRecordingTest)
#include "tst_MainWindowRecording.moc"
