#pragma once

#include "engine/IplImagePointer.h"
#include "ui/BeepTone.h"
#include "ui/RunControl.h"
#include "ui/RunPanel.h"
#include "ui/SessionControl.h"

#include <QImage>
#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <optional>

class PreviewWindow;
struct MainWindowForm;

// The main window: the settings of a recording run, its progress and result, and the preview.
// The run itself is a RunControl, which reads the settings from this window's form.
class MainWindow : public QMainWindow, private RunPanel
{
    Q_OBJECT
public:
    // cameraNames is the camera list, in the order of the camera numbers.
    MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
               QStringList cameraNames = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Closes the window for the system's request to end the program (a shutdown signal): as
    // the operator's close, but the stop of a recording is put down to the signal.
    void closeOnSignal();
    // What the command line gave that could not be used as it stood: the status's tooltip
    // until a run explains a result of its own.
    void explainStart(const QString &note);
    // A region given on the command line: outlined on the picture and told on, as if drawn.
    void setEyelidRegion(QRect box);
    // A session of trials for each press, when the plan has any.
    void setSessionPlan(const SessionPlan &plan);

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    void stopRecording();
    void startRecording(int index);
    void workingDirectoryChanged(QString);
    void finishRequested();
    // The run's events for the run record, on the monotonic clock of QElapsedTimer.
    void runEvent(QString event, qint64 monotonicMs, QString detail);
    // To the camera watcher, which answers each watchCamera with one watchingStopped.
    void watchCamera(int index);
    void stopWatching();
    // The eye's region, in frame pixels, for the watcher and the recorder.
    void eyelidRegionChanged(QRect box);

public slots:
    void updateTime(QString time);
    // The recorder's reason for the result it sends next, in one line: the status's tooltip.
    void explainResult(QString reason);
    // After the last frame, while the recorder still encodes frames that waited on disk: how
    // much of the recording is in the video, until its result.
    void showSaving(int percent);
    // The camera watcher's answers.
    void watchingStopped();
    void watchFailed(QString reason);
    // The closure measured by the watcher or the recorder, for the trace under the picture.
    void showClosure(double ms, double closure);
    // The watcher's closures, which also tell a session whether the eye is open.
    void showWatchedClosure(double ms, double closure);
    void showThreshold(int level);

private slots:
    // The run's events, each handed over to the run. The run's own timers reach it directly.
    void startRecorder();
    void stopRecorder();
    void updatePostponeStart();
    void recorded(bool successful);
    void showFrame(IplImage *image);
    // A frame lent by the camera watcher: drawn whenever the window is open.
    void showWatchedFrame(IplImage *image);
    QImage convert(const IplImage *iplImage);
    void on_pushButton_newRecord_clicked();
    void on_pushButton_selectDirectory_clicked();
    void on_pushButton_SelectApp_clicked();

private:
    QString workingDirectory() const override;
    int postponementSeconds() const override;
    int videoLengthSeconds() const override;
    QString programPath() const override;
    bool beepsWanted() const override;
    bool previewWanted() const override;
    int camera() const override;
    void chooseWorkingDirectory() override;
    void showStatus(const QString &status, const QString &reason) override;
    void showTime(const QString &time) override;
    void showButtonCaption(const QString &caption) override;
    void showPreview(bool shown) override;

    void buildPreviewWindow();
    void selectCamera(int cameraIndex);
    // From the press until the result the camera is the recorder's.
    bool runOn() const;
    // Watches when the operator wants it and no run is on, and stops watching otherwise.
    void followRun();
    // Once for each camera the watcher holds.
    void askWatcherToStop();
    void setWatching(bool on);
    void regionKnown(QRect box);
    // The run's start waits until the watcher has released the camera; a stop follows it.
    void passOnStart(int index);
    void passOnStop();

    PreviewWindow *previewWindow = nullptr;
    MainWindowForm *ui;
    BeepTone beepTone;
    RunControl run;
    SessionControl session;
    bool closingOnSignal = false;
    bool watchWanted = false;
    // watchCamera requests not yet answered with watchingStopped.
    int watchesOpen = 0;
    bool stopAsked = false;
    std::optional<int> heldStart;
    bool heldStop = false;
};
