#include "app/KIVOApplication.h"
#include "app/ShutdownSignals.h"
#include "engine/Recorder.h"
#include "tests/support/ProgramArguments.h"
#include "ui/MainWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<IplImage *>("IplImage*"); }
    void commandLine_data();
    void commandLine();
    void notesAsStatusTooltip_data();
    void notesAsStatusTooltip();
    void wiring();
    void shutdownSignalStopsTheRun();

private:
    static MainWindow *mainWindowOf(KIVOApplication &app) { return app.mainWindow; }
    static void closeAndRun(KIVOApplication &app);
};

void StartupTest::closeAndRun(KIVOApplication &app)
{
    app.mainWindow->close();
    QCOMPARE(app.exec(), 0);
}

void StartupTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("startupLine");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("camera");

    const QStringList twoSources = {"--source", "first", "--source", "second"};
    QTest::newRow("no argument") << twoSources << "1  \"\" -1 0"
                                 << "" << 300 << 0;
    QTest::newRow("one argument is ignored")
        << (twoSources + QStringList{"/data"}) << "2 /data \"\" -1 0"
        << "" << 300 << 0;
    QTest::newRow("directory and length")
        << (twoSources + QStringList{"/data", "60"}) << "3 /data \"/data\" 60 0"
        << "/data" << 60 << 0;
    QTest::newRow("directory, length and camera")
        << (twoSources + QStringList{"/data", "60", "1"}) << "4 /data \"/data\" 60 1"
        << "/data" << 60 << 1;
    QTest::newRow("four or more: the camera is not read")
        << (twoSources + QStringList{"/data", "60", "1", "extra"}) << "5 /data \"/data\" 60 0"
        << "/data" << 60 << 0;
    QTest::newRow("length not a number gives 0")
        << (twoSources + QStringList{"/data", "abc"}) << "3 /data \"/data\" 0 0"
        << "/data" << 0 << 0;
    QTest::newRow("negative length keeps 300")
        << (twoSources + QStringList{"/data", "-1"}) << "3 /data \"/data\" -1 0"
        << "/data" << 300 << 0;
    QTest::newRow("toolkit options are not positional")
        << (QStringList{"-style", "fusion"} + twoSources + QStringList{"/data", "60"})
        << "3 /data \"/data\" 60 0"
        << "/data" << 60 << 0;
    QTest::newRow("sources between positional arguments")
        << QStringList{"/data", "--source", "first", "60", "--source", "second", "1"}
        << "4 /data \"/data\" 60 1"
        << "/data" << 60 << 1;
    QTest::newRow("-- ends the options")
        << (twoSources + QStringList{"--", "--source", "60"}) << "3 --source \"--source\" 60 0"
        << "--source" << 60 << 0;
    QTest::newRow("toolkit options after -- are positional")
        << (twoSources + QStringList{"--", "-reverse", "60"}) << "3 -reverse \"-reverse\" 60 0"
        << "-reverse" << 60 << 0;
    QTest::newRow("toolkit options before -- are not")
        << (QStringList{"-style", "fusion"} + twoSources + QStringList{"--", "/data", "60"})
        << "3 /data \"/data\" 60 0"
        << "/data" << 60 << 0;
    QTest::newRow("unicode directory")
        << (twoSources + QStringList{QString::fromUtf8("/d\u00e4ta"), "5"})
        << QString::fromUtf8("3 /d\u00e4ta \"/d\u00e4ta\" 5 0") << QString::fromUtf8("/d\u00e4ta")
        << 5 << 0;
}

void StartupTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, startupLine);
    QFETCH(QString, directory);
    QFETCH(int, length);
    QFETCH(int, camera);

    ProgramArguments argv(arguments);
    QTest::ignoreMessage(QtDebugMsg, startupLine.toUtf8().constData());
    KIVOApplication app(argv.count, argv.values());
    MainWindow *window = mainWindowOf(app);
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_workingDirectory")->text(), directory);
    QCOMPARE(window->findChild<QSpinBox *>("spinBox_videoLength")->value(), length);
    auto *cameras = window->findChild<QComboBox *>("comboBox_chooseCamera");
    QCOMPARE(cameras->count(), 2);
    QCOMPARE(cameras->itemText(cameras->count() - 1), QStringLiteral("second"));
    QCOMPARE(cameras->currentIndex(), camera);
    closeAndRun(app);
}

void StartupTest::notesAsStatusTooltip_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("tooltip");

    QTest::newRow("all understood") << QStringList{"/data", "60", "0"} << "";
    QTest::newRow("length not a number")
        << QStringList{"/data", "abc"}
        << "video length 'abc' is not a whole number of seconds: 0 used";
    QTest::newRow("length and camera")
        << QStringList{"/data", "2.5", "x"}
        << "video length '2.5' is not a whole number of seconds: 0 used; "
           "camera index 'x' is not a whole number: 0 used";
}

// What the command line gave but the window could not use as it stood is said where the
// operator looks: the status, which still reads "ready", explains it in its tooltip.
void StartupTest::notesAsStatusTooltip()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, tooltip);

    ProgramArguments argv(arguments);
    KIVOApplication app(argv.count, argv.values());
    auto *status = mainWindowOf(app)->findChild<QLabel *>("label_status");
    QCOMPARE(status->text(), QStringLiteral("ready"));
    QCOMPARE(status->toolTip(), tooltip);
    closeAndRun(app);
}

namespace {

QStringList connectWarnings;

void keepConnectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("QObject::connect")))
        connectWarnings << message;
}

} // namespace

void StartupTest::wiring()
{
    ProgramArguments argv;
    // Every connection finds its signal and its slot: a wrong signature only warns.
    connectWarnings.clear();
    const QtMessageHandler previousHandler = qInstallMessageHandler(keepConnectWarnings);
    KIVOApplication app(argv.count, argv.values());
    qInstallMessageHandler(previousHandler);
    QCOMPARE(connectWarnings, QStringList());
    QThread *worker = app.workerThread;
    QVERIFY(worker);
    QCOMPARE(worker->parent(), &app);
    QCOMPARE(app.recorder->thread(), worker);
    QVERIFY(worker->isRunning());
    QCOMPARE(app.mainWindow->thread(), app.thread());
    QVERIFY(app.mainWindow->isVisible());
    QVERIFY(!app.quitOnLastWindowClosed());

    // Recorder to window: emitted in the worker thread, shown by the window's slot.
    Recorder *recorder = app.recorder;
    QMetaObject::invokeMethod(recorder, [recorder] { emit recorder->timeChanged("12:34"); });
    auto *time = app.mainWindow->findChild<QLabel *>("label_time");
    QTRY_COMPARE(time->text(), QStringLiteral("12:34"));
    // The reason of a result comes before it and is shown with it.
    QMetaObject::invokeMethod(recorder, [recorder] {
        emit recorder->resultExplained("3 frames lost");
        emit recorder->recorded(false);
    });
    auto *status = app.mainWindow->findChild<QLabel *>("label_status");
    QTRY_COMPARE(status->text(), QStringLiteral("RECORD FAILED"));
    QCOMPARE(status->toolTip(), QStringLiteral("3 frames lost"));

    // Window to recorder and back: closing asks the recorder to quit, whose finished() ends
    // the event loop.
    QTest::ignoreMessage(QtDebugMsg, "MW:finish emitted");
    QTest::ignoreMessage(QtDebugMsg, "BD: quit");
    QTest::ignoreMessage(QtDebugMsg, "BD: finish emitted");
    closeAndRun(app);
    QVERIFY(app.mainWindow->isHidden());
}

// The system's request to end closes the window, and the run that it stops says so.
void StartupTest::shutdownSignalStopsTheRun()
{
    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    ProgramArguments argv({workingDirectory.path(), "10"});
    KIVOApplication app(argv.count, argv.values());
    MainWindow *window = app.mainWindow;
    QSignalSpy events(window, SIGNAL(runEvent(QString, qint64, QString)));
    window->findChild<QSpinBox *>("spinBox_startPostpone")->setValue(100);
    window->findChild<QPushButton *>("pushButton_newRecord")->click();
    QCOMPARE(events.count(), 1);

    auto *requests = app.findChild<ShutdownSignals *>();
    QVERIFY(requests);
    emit requests->endRequested();
    QVERIFY(window->isHidden());
    QCOMPARE(events.count(), 2);
    QCOMPARE(events[1][0].toString(), QStringLiteral("stop asked"));
    QCOMPARE(events[1][2].toString(), QStringLiteral("signal"));
    QCOMPARE(app.exec(), 0);
}

QTEST_APPLESS_MAIN(StartupTest)
#include "tst_Startup.moc"
