#include "KIVOApplication.h"

#include "CommandLine.h"
#include "MainWindow.h"
#include "Recorder.h"

#include <QDebug>
#include <QThread>

KIVOApplication::KIVOApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    const CommandLine commandLine = CommandLine::parse(argc, argv);
    qDebug() << argc << (argc > 1 ? argv[1] : "") << commandLine.workingDirectory
             << commandLine.videoLength << commandLine.cameraIndex;

    mainWindow = new MainWindow(commandLine.workingDirectory, commandLine.videoLength,
                                commandLine.cameraIndex, commandLine.sources);
    workerThread = new QThread(this);
    recorder = new Recorder();
    recorder->moveToThread(workerThread);

    connect(mainWindow, SIGNAL(startRecording(int)), recorder, SLOT(record(int)));
    connect(mainWindow, SIGNAL(workingDirectoryChanged(QString)), recorder,
            SLOT(setFolderAddress(QString)));
    connect(mainWindow, SIGNAL(stopRecording()), recorder, SLOT(stop()));
    connect(mainWindow, SIGNAL(finishRequested()), recorder, SLOT(quit()));
    connect(recorder, SIGNAL(frameAvailable(IplImage*)), mainWindow, SLOT(showFrame(IplImage*)));
    connect(recorder, SIGNAL(recorded(bool)), mainWindow, SLOT(recorded(bool)));
    connect(recorder, SIGNAL(timeChanged(QString)), mainWindow, SLOT(updateTime(QString)));
    connect(recorder, SIGNAL(finished()), workerThread, SLOT(quit()));
    connect(recorder, SIGNAL(finished()), recorder, SLOT(deleteLater()));
    connect(workerThread, SIGNAL(finished()), workerThread, SLOT(deleteLater()));
    setQuitOnLastWindowClosed(false);
    connect(recorder, SIGNAL(finished()), this, SLOT(quit()));

    workerThread->start(QThread::InheritPriority);
    mainWindow->show();
}

KIVOApplication::~KIVOApplication()
{
    qDebug("Kivo app destructor");
    if (workerThread && workerThread->isRunning()) {
        qDebug("thread still runnning, terminating");
        workerThread->quit();
        workerThread->wait();
        qDebug("thread terminated");
        delete workerThread;
        qDebug("thread deleted");
    }
    // isRunning() turns false before an ending thread has run its last deletions (the recorder's
    // among them): only after wait() may the recorder and the window be touched from here.
    if (workerThread)
        workerThread->wait();
    // A recorder that never finished outlives its ended thread; nothing else deletes it.
    delete recorder;
    delete mainWindow;
    mainWindow = nullptr;
}
