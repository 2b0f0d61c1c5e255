#pragma once

#include "IplImagePointer.h"

#include <QEventLoop>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QStringList>
#include <QTime>
#include <QTimer>

class QLabel;
struct MainWindowForm;

// The main window: the settings of a recording run, the run itself and its result.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // extraCameras are listed after the platform's cameras, in this order.
    MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
               QStringList extraCameras = {}, QWidget *parent = nullptr);
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
    void fillCameraList(const QStringList &extraCameras);
    void selectCamera(int cameraIndex);

    QProcess process;
    QWidget *previewWindow = nullptr;
    QLabel *previewLabel = nullptr;
    QTimer stopRecorderTimer;
    QTimer startRecorderTimer;
    MainWindowForm *ui;
    QTime postponeStartTime;
    bool recordInProgress = false;
    QEventLoop beepLoop;
    QTimer beepTimer;
};
