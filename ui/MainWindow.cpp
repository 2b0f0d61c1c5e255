#include "ui/MainWindow.h"

#include "engine/PreviewFrame.h"
#include "eyelid/EyelidRegion.h"
#include "ui/MainWindowForm.h"
#include "ui/PreviewWindow.h"
#include "ui/StatusLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <utility>

MainWindow::MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
                       QStringList cameraNames, QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm), beepTone(this), run(*this, this),
      session(run, *this, this)
{
    ui->setupUi(this);
    if (!workingDirectory.isEmpty())
        ui->lineEdit_workingDirectory->setText(workingDirectory);
    if (videoLength >= 0)
        ui->spinBox_videoLength->setValue(videoLength);
    ui->comboBox_chooseCamera->addItems(cameraNames);
    selectCamera(cameraIndex);
    connect(&run, &RunControl::stopRecording, this, &MainWindow::passOnStop);
    connect(&run, &RunControl::startRecording, this, &MainWindow::passOnStart);
    connect(&run, &RunControl::workingDirectoryChanged, this, &MainWindow::workingDirectoryChanged);
    connect(&run, &RunControl::runEvent, this, &MainWindow::runEvent);
    connect(&session, &SessionControl::runEvent, this, &MainWindow::runEvent);
    connect(&session, &SessionControl::cameraWantedChanged, this, &MainWindow::followRun);
    run.setBeep([this] { return beepTone.play(); });
    buildPreviewWindow();
}

void MainWindow::buildPreviewWindow()
{
    previewWindow = new PreviewWindow();
    previewWindow->setStyleSheet(styleSheet());
    connect(previewWindow, &PreviewWindow::watchToggled, this, &MainWindow::setWatching);
    connect(previewWindow, &PreviewWindow::regionDrawn, this,
            [this](QRect box) {
                // The text that gives the same region on the command line.
                qDebug().noquote()
                    << "eyelid region drawn:"
                    << EyelidRegion{cv::Rect(box.x(), box.y(), box.width(), box.height())}.text();
                regionKnown(box);
            });
    // The operator's click opens the window while no run is on, so that the camera can be
    // watched before recording; a run shows and hides it as it did.
    connect(ui->checkbox_showVideo, &QCheckBox::clicked, this, [this](bool checked) {
        if (!runOn())
            previewWindow->setVisible(checked);
    });
    connect(ui->comboBox_chooseCamera, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] {
                // Watched again, the new camera, once the old one is released.
                askWatcherToStop();
            });
}

MainWindow::~MainWindow()
{
    qDebug("MW: destructor");
    delete ui;
    // A top-level window of its own, outside this window's widget tree.
    delete previewWindow;
}

void MainWindow::closeOnSignal()
{
    closingOnSignal = true;
    close();
}

void MainWindow::explainStart(const QString &note)
{
    ui->label_status->showStatus(ui->label_status->text(), note);
}

void MainWindow::setEyelidRegion(QRect box)
{
    previewWindow->setRegion(box);
    regionKnown(box);
}

void MainWindow::setSessionPlan(const SessionPlan &plan)
{
    session.setPlan(plan);
}

void MainWindow::regionKnown(QRect box)
{
    session.setEyeRegionKnown(!box.isEmpty());
    emit eyelidRegionChanged(box);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    watchWanted = false;
    session.windowClosed();
    followRun();
    // The recorder is ending for good: a run still counting down must not ask it to record.
    run.windowClosed(closingOnSignal);
    emit finishRequested();
    qDebug("MW:finish emitted");
    event->accept();
}

void MainWindow::selectCamera(int cameraIndex)
{
    QComboBox *cameras = ui->comboBox_chooseCamera;
    if (cameraIndex >= 0 && cameraIndex < cameras->count()) {
        cameras->setCurrentIndex(cameraIndex);
        return;
    }
    if (cameras->count() > 0) {
        qDebug().noquote() << QStringLiteral(
                                  "Camera index %1 names no listed camera, using the first")
                                  .arg(cameraIndex);
        cameras->setCurrentIndex(0);
    }
}

void MainWindow::updateTime(QString time)
{
    ui->label_time->setText(time);
}

void MainWindow::explainResult(QString reason)
{
    run.explainResult(reason);
}

void MainWindow::showSaving(int percent)
{
    ui->label_status->showStatus(
        QStringLiteral("SAVING %1%").arg(percent),
        QStringLiteral("frames that waited on disk are being written into the video"));
}

void MainWindow::startRecorder()
{
    run.startRecorder();
}

void MainWindow::stopRecorder()
{
    run.stopRecorder();
}

void MainWindow::updatePostponeStart()
{
    run.updatePostponeStart();
}

void MainWindow::recorded(bool successful)
{
    run.recorded(successful);
    followRun();
}

void MainWindow::watchingStopped()
{
    watchesOpen = std::max(0, watchesOpen - 1);
    stopAsked = stopAsked && watchesOpen > 0;
    if (watchesOpen == 0 && heldStart) {
        emit startRecording(*std::exchange(heldStart, std::nullopt));
        if (std::exchange(heldStop, false))
            emit stopRecording();
    }
    followRun();
}

void MainWindow::watchFailed(QString reason)
{
    previewWindow->watchFailed(reason);
}

void MainWindow::showClosure(double ms, double closure)
{
    previewWindow->showClosure(ms, closure);
}

void MainWindow::showWatchedClosure(double ms, double closure)
{
    previewWindow->showClosure(ms, closure);
    session.closureMeasured(ms, closure);
}

void MainWindow::showThreshold(int level)
{
    previewWindow->showThreshold(level);
}

void MainWindow::showFrame(IplImage *image)
{
    if (previewWindow->isVisible() && ui->checkbox_showVideo->isChecked())
        previewWindow->showPicture(image);
    // Every frame is lent by the recording and goes back whether it was drawn or dropped.
    PreviewFrame::giveBack(image);
}

void MainWindow::showWatchedFrame(IplImage *image)
{
    if (previewWindow->isVisible())
        previewWindow->showPicture(image);
    PreviewFrame::giveBack(image);
}

QImage MainWindow::convert(const IplImage *iplImage)
{
    return PreviewWindow::convert(iplImage);
}

void MainWindow::on_pushButton_newRecord_clicked()
{
    if (session.planned())
        session.press();
    else
        run.press();
    followRun();
}

void MainWindow::on_pushButton_selectDirectory_clicked()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setNameFilter(QStringLiteral("directories"));
    if (dialog.exec() == 0)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty())
        ui->lineEdit_workingDirectory->setText(chosen.first());
}

// A cancelled dialog gives an empty path, which means that no program runs.
void MainWindow::on_pushButton_SelectApp_clicked()
{
    ui->lineEdit_PathToRunProgram->setText(QFileDialog::getOpenFileName(
        this, tr("Select app"), QString(), QString(), nullptr, QFileDialog::Options()));
}

QString MainWindow::workingDirectory() const
{
    return ui->lineEdit_workingDirectory->text();
}

int MainWindow::postponementSeconds() const
{
    return ui->spinBox_startPostpone->value();
}

int MainWindow::videoLengthSeconds() const
{
    return ui->spinBox_videoLength->value();
}

QString MainWindow::programPath() const
{
    return ui->lineEdit_PathToRunProgram->text();
}

bool MainWindow::beepsWanted() const
{
    return ui->checkBox_3beeps->isChecked();
}

bool MainWindow::previewWanted() const
{
    return ui->checkbox_showVideo->isChecked();
}

int MainWindow::camera() const
{
    return ui->comboBox_chooseCamera->currentIndex();
}

void MainWindow::chooseWorkingDirectory()
{
    on_pushButton_selectDirectory_clicked();
}

void MainWindow::showStatus(const QString &status, const QString &reason)
{
    ui->label_status->showStatus(session.trialStatus(status), session.trialReason(reason));
    // A run that ends by its own timers (a cancel) hands the camera back too; the run settles
    // its phase after the status.
    QTimer::singleShot(0, this, &MainWindow::followRun);
}

void MainWindow::showTime(const QString &time)
{
    ui->label_time->setText(time);
}

void MainWindow::showButtonCaption(const QString &caption)
{
    ui->pushButton_newRecord->setText(caption);
}

// The window stays open after a run for the watching that resumes.
void MainWindow::showPreview(bool shown)
{
    if (shown || !watchWanted)
        previewWindow->setVisible(shown);
}

bool MainWindow::runOn() const
{
    return run.recordInProgress() || run.phase() == RunControl::Phase::Stopped;
}

void MainWindow::followRun()
{
    previewWindow->setWatchEnabled(!runOn());
    const bool watchNow = (watchWanted || session.wantsCamera()) && !runOn();
    if (!watchNow) {
        askWatcherToStop();
    } else if (watchesOpen == 0) {
        ++watchesOpen;
        previewWindow->clearTrace();
        emit watchCamera(camera());
    }
}

void MainWindow::askWatcherToStop()
{
    if (watchesOpen == 0 || stopAsked)
        return;
    stopAsked = true;
    emit stopWatching();
}

void MainWindow::setWatching(bool on)
{
    watchWanted = on;
    followRun();
}

void MainWindow::passOnStart(int index)
{
    previewWindow->clearTrace();
    if (watchesOpen > 0) {
        heldStart = index;
        askWatcherToStop();
        return;
    }
    emit startRecording(index);
}

void MainWindow::passOnStop()
{
    if (heldStart) {
        heldStop = true;
        return;
    }
    emit stopRecording();
}
