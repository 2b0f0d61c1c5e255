#include "app/KIVOApplication.h"

#include "app/CommandLine.h"
#include "app/PlatformCameras.h"
#include "app/ShutdownSignals.h"
#include "capture/CameraSources.h"
#include "capture/FrameSource.h"
#include "encode/EncoderTuning.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/CameraWatcher.h"
#include "engine/Recorder.h"
#include "stimulus/SerialPortWorker.h"
#include "ui/MainWindow.h"

#include <QDebug>
#include <QThread>

// The operands after "--" are kept from the toolkit, which would otherwise take its own options
// out of them.
KIVOApplication::KIVOApplication(int &argc, char **argv)
    : KIVOApplication(argc, argv, CommandLine::holdBackOperands(argc, argv))
{
}

KIVOApplication::KIVOApplication(int &argc, char **argv, const CommandLine::Operands &operands)
    : QApplication(argc, argv)
{
    const CommandLine commandLine = CommandLine::parse(argc, argv, operands);
    qDebug() << argc << (argc > 1 ? argv[1] : "") << commandLine.workingDirectory
             << commandLine.videoLength << commandLine.cameraIndex;

    // One camera list for the window and the recorder, so that an entry's position is its
    // camera number.
    const CameraSources cameras(PlatformCameras::available(), commandLine.sources,
                                CameraMode::fromOption(commandLine.cameraMode));
    mainWindow = new MainWindow(commandLine.workingDirectory, commandLine.videoLength,
                                commandLine.cameraIndex, cameras.displayNames());
    mainWindow->setSessionPlan(commandLine.session);
    if (!commandLine.notes.isEmpty())
        mainWindow->explainStart(commandLine.notes.join(QStringLiteral("; ")));
    workerThread = new QThread(this);
    recorder = new Recorder();
    recorder->setSourceFactory([cameras](int camID) { return cameras.open(camID); });
    recorder->setSinkFactory(startEncoderTuning());
    recorder->setEyelidThreshold(commandLine.eyelidThreshold);
    recorder->moveToThread(workerThread);

    connect(mainWindow, SIGNAL(startRecording(int)), recorder, SLOT(record(int)));
    connect(mainWindow, SIGNAL(workingDirectoryChanged(QString)), recorder,
            SLOT(setFolderAddress(QString)));
    connect(mainWindow, SIGNAL(stopRecording()), recorder, SLOT(stop()));
    connect(mainWindow, SIGNAL(finishRequested()), recorder, SLOT(quit()));
    connect(recorder, SIGNAL(frameAvailable(IplImage *)), mainWindow, SLOT(showFrame(IplImage *)));
    connect(recorder, SIGNAL(recorded(bool)), mainWindow, SLOT(recorded(bool)));
    connect(recorder, SIGNAL(timeChanged(QString)), mainWindow, SLOT(updateTime(QString)));
    connect(recorder, SIGNAL(saving(int)), mainWindow, SLOT(showSaving(int)));
    connect(recorder, SIGNAL(finished()), workerThread, SLOT(quit()));
    connect(recorder, SIGNAL(finished()), recorder, SLOT(deleteLater()));
    connect(workerThread, SIGNAL(finished()), workerThread, SLOT(deleteLater()));
    setQuitOnLastWindowClosed(false);
    connect(recorder, SIGNAL(finished()), this, SLOT(quit()));
    connect(mainWindow, SIGNAL(runEvent(QString, qint64, QString)), recorder,
            SLOT(noteRunEvent(QString, qint64, QString)));
    connect(recorder, SIGNAL(resultExplained(QString)), mainWindow, SLOT(explainResult(QString)));
    connect(mainWindow, &MainWindow::eyelidRegionChanged, recorder, &Recorder::setEyelidRegion);
    connect(recorder, &Recorder::closureMeasured, mainWindow, &MainWindow::showClosure);
    connect(recorder, &Recorder::eyelidThresholdChosen, mainWindow, &MainWindow::showThreshold);
    // Between recordings the machine has time to measure what the last one met.
    connect(recorder, SIGNAL(recorded(bool)), tuning, SLOT(measureWanted()));
    // Asked by the system to end, the program ends the way closing its window ends it, but
    // the run puts the stop down to the signal; with its window closed it is ending already.
    connect(new ShutdownSignals(this), &ShutdownSignals::endRequested, mainWindow, [this] {
        if (mainWindow->isVisible())
            mainWindow->closeOnSignal();
    });

    startWatcher(cameras, commandLine.eyelidThreshold);
    // The region given on the command line reaches the recorder and the watcher as a drawn one.
    if (const std::optional<EyelidRegion> eye = commandLine.eyelidRegion)
        mainWindow->setEyelidRegion(QRect(eye->box.x, eye->box.y, eye->box.width, eye->box.height));
    startSerialPort(commandLine);
    workerThread->start(QThread::InheritPriority);
    mainWindow->show();
}

Recorder::SinkFactory KIVOApplication::startEncoderTuning()
{
    speeds = std::make_shared<EncoderSpeeds>();
    tuningThread = new QThread(this);
    tuningThread->setObjectName(QStringLiteral("encoder tuning"));
    tuning = new EncoderTuning(speeds);
    tuning->moveToThread(tuningThread);
    connect(tuningThread, &QThread::finished, tuning, &QObject::deleteLater);
    tuningThread->start(QThread::LowestPriority);
    return [speeds = speeds] {
        auto sink = std::make_unique<FfmpegVideoSink>();
        sink->chooseFrom(speeds);
        return sink;
    };
}

// The window hands the camera between the watcher and the recorder: never both hold it.
void KIVOApplication::startWatcher(const CameraSources &cameras,
                                   std::optional<EyelidThreshold> threshold)
{
    watchThread = new QThread(this);
    watcher = new CameraWatcher();
    watcher->setSourceFactory([cameras](int camID) { return cameras.open(camID); });
    if (threshold)
        watcher->setEyelidThreshold(threshold->level);
    watcher->moveToThread(watchThread);
    connect(mainWindow, &MainWindow::watchCamera, watcher, &CameraWatcher::watch);
    connect(mainWindow, &MainWindow::stopWatching, watcher, &CameraWatcher::stopWatching);
    connect(mainWindow, &MainWindow::eyelidRegionChanged, watcher, &CameraWatcher::setEyelidRegion);
    connect(watcher, SIGNAL(frameAvailable(IplImage *)), mainWindow,
            SLOT(showWatchedFrame(IplImage *)));
    connect(watcher, &CameraWatcher::watchingStopped, mainWindow, &MainWindow::watchingStopped);
    connect(watcher, &CameraWatcher::watchFailed, mainWindow, &MainWindow::watchFailed);
    connect(watcher, &CameraWatcher::closureMeasured, mainWindow, &MainWindow::showWatchedClosure);
    connect(watcher, &CameraWatcher::eyelidThresholdChosen, mainWindow, &MainWindow::showThreshold);
    // A watched camera's format is measured before the first recording needs it.
    connect(watcher, &CameraWatcher::formatSeen, tuning, [this](QSize frameSize, bool gray) {
        speeds->want(cv::Size(frameSize.width(), frameSize.height()), gray);
        tuning->measureWanted();
    });
    watchThread->start();
}

void KIVOApplication::startSerialPort(const CommandLine &commandLine)
{
    if (!commandLine.serial)
        return;
    serialThread = new QThread(this);
    serialThread->setObjectName(QStringLiteral("serial port"));
    auto *serial = new SerialPortWorker(*commandLine.serial, commandLine.serialStart);
    serial->moveToThread(serialThread);
    connect(serialThread, &QThread::started, serial, &SerialPortWorker::start);
    connect(serialThread, &QThread::finished, serial, &QObject::deleteLater);
    // Connected after the recorder's own: a run's folder reaches the recorder before the lines.
    connect(mainWindow, &MainWindow::workingDirectoryChanged, serial, &SerialPortWorker::openRun);
    connect(recorder, &Recorder::recorded, serial, &SerialPortWorker::closeRun);
    connect(recorder, &Recorder::recordingClockStarted, serial,
            &SerialPortWorker::sendStartMessage);
    connect(serial, &SerialPortWorker::runEvent, recorder, &Recorder::noteRunEventNs);
    connect(serial, &SerialPortWorker::lost, mainWindow, &MainWindow::explainStart);
    serialThread->start();
}

KIVOApplication::~KIVOApplication()
{
    qDebug("Kivo app destructor");
    if (serialThread) {
        serialThread->quit();
        serialThread->wait();
    }
    tuning->stop();
    tuningThread->quit();
    tuningThread->wait();
    if (workerThread && workerThread->isRunning()) {
        qDebug("thread still runnning, terminating");
        workerThread->quit();
        workerThread->wait();
        qDebug("thread terminated");
        delete workerThread;
        qDebug("thread deleted");
    }
    // A thread in its last steps already reports itself as not running while it still
    // deletes the recorder: only once it has ended is the guard below reliable.
    if (workerThread)
        workerThread->wait();
    // A recorder that never finished outlives its ended thread; nothing else deletes it.
    delete recorder;
    // The watcher's camera goes with it.
    watchThread->quit();
    watchThread->wait();
    delete watcher;
    delete mainWindow;
    mainWindow = nullptr;
}
