#pragma once

#include "IplImagePointer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QStringList>
#include <QTimer>

class QLabel;
struct MainWindowForm;

// The main window: the settings of a recording run, the run itself and its result.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // cameraNames is the camera list, in the order of the camera numbers.
    MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
               QStringList cameraNames = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    void stopRecording();
    void startRecording(int index);
    void workingDirectoryChanged(QString);
    void finishRequested();

public slots:
    void updateTime(QString time);

private slots:
    void startRecorder();
    void stopRecorder();
    void updatePostponeStart();
    void recorded(bool successful);
    void showFrame(IplImage *image);
    QImage convert(const IplImage *iplImage);
    void on_pushButton_newRecord_clicked();
    void on_pushButton_selectDirectory_clicked();
    void on_pushButton_SelectApp_clicked();

private:
    void buildPreviewWindow();
    void selectCamera(int cameraIndex);
    void beginRun();
    void cancelRun();
    bool isCurrentRun(quint64 run) const;
    void startProgram();
    bool beepThreeTimes(quint64 run);
    void askForRecording();

    QProcess process;
    QWidget *previewWindow = nullptr;
    QLabel *previewLabel = nullptr;
    QTimer stopRecorderTimer;
    QTimer startRecorderTimer;
    MainWindowForm *ui;
    // Monotonic, so that a countdown across midnight or a change of the system time still
    // shows the right time.
    QElapsedTimer postponeStartClock;
    bool recordInProgress = false;
    QEventLoop beepLoop;
    QTimer beepTimer;
    // Ticks the countdown display; one timer, so that a new run never leaves a second
    // display chain running beside its own.
    QTimer countdownTimer;
    // Counts the runs begun, so that a start waiting in a chooser or between beeps can tell
    // that its run has ended meanwhile.
    quint64 runId = 0;
    // The current run has asked the recorder to record.
    bool recordingAsked = false;
    // The recorder was asked to record and has not yet answered with recorded().
    bool recorderRecording = false;
    // The current run reached its start while the recorder was still busy with the previous
    // recording; it starts when that recording's result arrives.
    bool startWaitsForRecorder = false;
};
