#pragma once

#include "capture/CameraSources.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/CameraWatcher.h"
#include "engine/Recorder.h"
#include "ui/MainWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QThread>

#include <memory>

// The window and the real recorder in its own thread, wired as the application wires them,
// recording from the test camera.
class WiredRun
{
public:
    WiredRun(const QString &workingDirectory, const QString &camera)
        : cameras({}, {camera}), window(workingDirectory, 1, 0, cameras.displayNames()),
          recorder(new Recorder)
    {
        const CameraSources sources = cameras;
        recorder->setSourceFactory([sources](int camID) { return sources.open(camID); });
        recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
        recorder->moveToThread(&thread);
        MainWindow *w = &window;
        QObject::connect(w, SIGNAL(startRecording(int)), recorder, SLOT(record(int)));
        QObject::connect(w, SIGNAL(workingDirectoryChanged(QString)), recorder,
                         SLOT(setFolderAddress(QString)));
        QObject::connect(w, SIGNAL(stopRecording()), recorder, SLOT(stop()));
        QObject::connect(recorder, SIGNAL(recorded(bool)), w, SLOT(recorded(bool)));
        QObject::connect(recorder, SIGNAL(timeChanged(QString)), w, SLOT(updateTime(QString)));
        QObject::connect(w, SIGNAL(runEvent(QString, qint64, QString)), recorder,
                         SLOT(noteRunEvent(QString, qint64, QString)));
        QObject::connect(recorder, SIGNAL(resultExplained(QString)), w,
                         SLOT(explainResult(QString)));
        QObject::connect(w, &MainWindow::eyelidRegionChanged, recorder, &Recorder::setEyelidRegion);
        thread.start();
        window.show();
    }
    ~WiredRun()
    {
        QMetaObject::invokeMethod(
            recorder, [this] { delete recorder; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        if (watcher) {
            QMetaObject::invokeMethod(
                watcher, [this] { delete watcher; }, Qt::BlockingQueuedConnection);
            watchThread.quit();
            watchThread.wait();
        }
    }

    // The camera watcher in a thread of its own, wired as the application wires it; call
    // before the window asks for the camera.
    CameraWatcher *startWatcher()
    {
        watcher = new CameraWatcher;
        const CameraSources sources = cameras;
        watcher->setSourceFactory([sources](int camID) { return sources.open(camID); });
        watcher->moveToThread(&watchThread);
        MainWindow *w = &window;
        QObject::connect(w, &MainWindow::watchCamera, watcher, &CameraWatcher::watch);
        QObject::connect(w, &MainWindow::stopWatching, watcher, &CameraWatcher::stopWatching);
        QObject::connect(w, &MainWindow::eyelidRegionChanged, watcher,
                         &CameraWatcher::setEyelidRegion);
        QObject::connect(watcher, SIGNAL(frameAvailable(IplImage *)), w,
                         SLOT(showWatchedFrame(IplImage *)));
        QObject::connect(watcher, &CameraWatcher::watchingStopped, w, &MainWindow::watchingStopped);
        QObject::connect(watcher, &CameraWatcher::watchFailed, w, &MainWindow::watchFailed);
        QObject::connect(watcher, &CameraWatcher::closureMeasured, w,
                         &MainWindow::showWatchedClosure);
        watchThread.start();
        return watcher;
    }

    template <typename Widget> Widget *widget(const char *name)
    {
        return window.findChild<Widget *>(QString::fromLatin1(name));
    }
    void press() { widget<QPushButton>("pushButton_newRecord")->click(); }
    QLabel *status() { return widget<QLabel>("label_status"); }

    const CameraSources cameras;
    MainWindow window;
    QThread thread;
    Recorder *recorder;
    QThread watchThread;
    CameraWatcher *watcher = nullptr;
};
