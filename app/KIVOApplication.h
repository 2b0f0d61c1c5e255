#pragma once

#include "app/CommandLine.h"
#include "engine/Recorder.h"

#include <QApplication>
#include <QPointer>

#include <memory>

class EncoderSpeeds;
class EncoderTuning;
class CameraSources;
class CameraWatcher;
class MainWindow;
class QThread;

// Creates the main window, the worker thread and the recorder, wires them together and takes
// them down in order when the recorder has finished.
class KIVOApplication : public QApplication
{
    Q_OBJECT
public:
    KIVOApplication(int &argc, char **argv);
    ~KIVOApplication() override;

private:
    KIVOApplication(int &argc, char **argv, const CommandLine::Operands &operands);
    // The sinks choose their settings from what the tuning measures.
    Recorder::SinkFactory startEncoderTuning();
    void startWatcher(const CameraSources &cameras, std::optional<EyelidThreshold> threshold);
    // The stimulus hardware's port, in a thread of its own, when the command line names one.
    void startSerialPort(const CommandLine &commandLine);

    MainWindow *mainWindow = nullptr;
    // Guarded: the thread deletes itself once it has finished.
    QPointer<QThread> workerThread;
    // Guarded: the recorder deletes itself in its thread after it has finished.
    QPointer<Recorder> recorder;
    // Measures this machine's encoder speeds between recordings, in a thread of its own.
    QThread *tuningThread = nullptr;
    EncoderTuning *tuning = nullptr;
    std::shared_ptr<EncoderSpeeds> speeds;
    // Shows the camera while no recording runs, in a thread of its own; deleted once that
    // thread has ended.
    QThread *watchThread = nullptr;
    CameraWatcher *watcher = nullptr;
    QThread *serialThread = nullptr;

    friend class StartupTest;
    friend class ShutdownTest;
    friend class LivePreviewTest;
};
