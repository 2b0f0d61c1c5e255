#include "MainWindow.h"

#include "MainWindowForm.h"
#include "PreviewFrame.h"

#include "CountdownText.h"
#include "RecordNumber.h"
#include "RunTimes.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

MainWindow::MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
                       QStringList cameraNames, QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm)
{
    ui->setupUi(this);
    if (!workingDirectory.isEmpty())
        ui->lineEdit_workingDirectory->setText(workingDirectory);
    if (videoLength >= 0)
        ui->spinBox_videoLength->setValue(videoLength);
    recordInProgress = false;
    ui->comboBox_chooseCamera->addItems(cameraNames);
    selectCamera(cameraIndex);
    startRecorderTimer.setSingleShot(true);
    stopRecorderTimer.setSingleShot(true);
    // Coarse timers may fire 5% early or late and round long intervals to whole seconds;
    // recording must start when the countdown reaches zero and last the time asked for.
    startRecorderTimer.setTimerType(Qt::PreciseTimer);
    stopRecorderTimer.setTimerType(Qt::PreciseTimer);
    connect(&startRecorderTimer, &QTimer::timeout, this, &MainWindow::startRecorder);
    connect(&stopRecorderTimer, &QTimer::timeout, this, &MainWindow::stopRecorder);
    connect(&beepTimer, &QTimer::timeout, &beepLoop, &QEventLoop::quit);
    beepTimer.setSingleShot(true);
    countdownTimer.setSingleShot(true);
    countdownTimer.setTimerType(Qt::PreciseTimer);
    connect(&countdownTimer, &QTimer::timeout, this, &MainWindow::updatePostponeStart);
    connect(&process, &QProcess::errorOccurred, this, [](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            qDebug("MW: program failed to start");
    });
    buildPreviewWindow();
}

void MainWindow::buildPreviewWindow()
{
    previewWindow = new QWidget();
    previewWindow->setWindowTitle(tr("Camera output"));
    previewWindow->setStyleSheet(styleSheet());
    previewLabel = new QLabel();
    auto *layout = new QHBoxLayout(previewWindow);
    layout->addWidget(previewLabel);
}

MainWindow::~MainWindow()
{
    qDebug("MW: destructor");
    delete ui;
    // A top-level window of its own, outside this window's widget tree.
    delete previewWindow;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The recorder is ending for good: a run still counting down must not ask it to record.
    if (recordInProgress && !recordingAsked)
        cancelRun();
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
        qDebug().noquote() << QStringLiteral("Camera index %1 names no listed camera, using the first")
                                  .arg(cameraIndex);
        cameras->setCurrentIndex(0);
    }
}

void MainWindow::updateTime(QString time)
{
    ui->label_time->setText(time);
}

void MainWindow::startRecorder()
{
    countdownTimer.stop();
    if (recorderRecording) {
        // Asking now would start a second recording beside the one still ending.
        startWaitsForRecorder = true;
        return;
    }
    const quint64 run = runId;
    if (ui->lineEdit_workingDirectory->text().isEmpty()) {
        on_pushButton_selectDirectory_clicked();
        if (!isCurrentRun(run))
            return;
    }
    startProgram();
    if (ui->checkBox_3beeps->isChecked() && !beepThreeTimes(run))
        return;
    askForRecording();
}

void MainWindow::stopRecorder()
{
    if (!recordingAsked) {
        cancelRun();
        return;
    }
    emit stopRecording();
    recordInProgress = false;
    ui->pushButton_newRecord->setText(tr("New record"));
}

void MainWindow::updatePostponeStart()
{
    const qint64 remaining = CountdownText::remainingSeconds(ui->spinBox_startPostpone->value(),
                                                             postponeStartClock.elapsed());
    if (remaining <= 0)
        return;
    ui->label_time->setText(CountdownText::of(remaining));
    // Aimed at the next whole second since the press, so late ticks do not add up.
    countdownTimer.start(int(1000 - postponeStartClock.elapsed() % 1000));
}

void MainWindow::recorded(bool successful)
{
    recorderRecording = false;
    ui->label_status->setText(successful ? tr("RECORD SUCCESSFUL") : tr("RECORD FAILED"));
    previewWindow->hide();
    if (startWaitsForRecorder) {
        startWaitsForRecorder = false;
        startRecorder();
    }
}

void MainWindow::showFrame(IplImage *image)
{
    if (previewWindow->isVisible() && ui->checkbox_showVideo->isChecked())
        previewLabel->setPixmap(QPixmap::fromImage(convert(image), Qt::AutoColor));
    // Every frame is lent by the recording and goes back whether it was drawn or dropped.
    PreviewFrame::giveBack(image);
}

QImage MainWindow::convert(const IplImage *iplImage)
{
    QImage::Format format = QImage::Format_Invalid;
    if (iplImage->depth == IPL_DEPTH_8U) {
        switch (iplImage->nChannels) {
        case 4: // blue, green, red and an ignored fourth byte
            format = QImage::Format_RGB32;
            break;
        case 3: // blue, green, red: swapped below
            format = QImage::Format_RGB888;
            break;
        case 1:
            format = QImage::Format_Indexed8;
            break;
        default:
            break;
        }
    }
    const QImage frame = format == QImage::Format_Invalid
        ? QImage()
        : QImage(reinterpret_cast<const uchar *>(iplImage->imageData), iplImage->width,
                 iplImage->height, iplImage->widthStep, format);
    if (frame.isNull()) {
        qDebug("Couldn't convert image");
        return {};
    }
    // The frame's pixels go back to the recording after showFrame: the result owns a copy.
    return format == QImage::Format_RGB888 ? frame.rgbSwapped() : frame.copy();
}

void MainWindow::on_pushButton_newRecord_clicked()
{
    if (!recordInProgress) {
        beginRun();
        return;
    }
    stopRecorderTimer.stop();
    stopRecorder();
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

void MainWindow::beginRun()
{
    const QString directory = ui->lineEdit_workingDirectory->text();
    // An empty path would name the current directory and put the record folder at the root.
    if (directory.isEmpty() || !QDir(directory).exists()) {
        ui->label_status->setText(tr("Please select working directory first!"));
        return;
    }
    const int postpone = ui->spinBox_startPostpone->value();
    const std::optional<RunTimes> times = RunTimes::of(postpone, ui->spinBox_videoLength->value());
    if (!times) {
        ui->label_status->setText(tr("Postponement and video length too long: at most %1 seconds "
                                     "together")
                                      .arg(RunTimes::longestSeconds));
        return;
    }
    const QString folder =
        directory + QLatin1Char('/') + QString::number(RecordNumber::next(directory));
    emit workingDirectoryChanged(folder);
    QDir().mkdir(folder);
    ++runId;
    recordInProgress = true;
    recordingAsked = false;
    postponeStartClock.start();
    qDebug() << "spin box value" << postpone;
    startRecorderTimer.start(times->startMs);
    stopRecorderTimer.start(times->stopMs);
    ui->label_status->setText(tr("Recording starts in "));
    updatePostponeStart();
}

// A run that ends before it asked for recording records nothing: the recorder is told nothing.
void MainWindow::cancelRun()
{
    startRecorderTimer.stop();
    stopRecorderTimer.stop();
    countdownTimer.stop();
    beepTimer.stop();
    if (beepLoop.isRunning())
        beepLoop.quit();
    startWaitsForRecorder = false;
    recordInProgress = false;
    ui->pushButton_newRecord->setText(tr("New record"));
    ui->label_status->setText(tr("RECORD CANCELLED"));
}

bool MainWindow::isCurrentRun(quint64 run) const
{
    return recordInProgress && run == runId;
}

void MainWindow::startProgram()
{
    const QString program = ui->lineEdit_PathToRunProgram->text();
    if (program.isEmpty())
        return;
    if (process.state() != QProcess::NotRunning) {
        qDebug("MW: program still running, not started again");
        return;
    }
    process.start(program, {}, QIODevice::ReadWrite);
}

// Waits in beepLoop, so that the window keeps painting and handling input between the beeps.
// False when the run ended meanwhile.
bool MainWindow::beepThreeTimes(quint64 run)
{
    QApplication::beep();
    for (int pause = 0; pause < 2; ++pause) {
        beepTimer.start(1000);
        beepLoop.exec();
        if (!isCurrentRun(run))
            return false;
        QApplication::beep();
    }
    return true;
}

void MainWindow::askForRecording()
{
    recordingAsked = true;
    recorderRecording = true;
    ui->pushButton_newRecord->setText(tr("Stop"));
    ui->label_status->setText(tr("RECORDING..."));
    if (ui->checkbox_showVideo->isChecked())
        previewWindow->show();
    emit startRecording(ui->comboBox_chooseCamera->currentIndex());
}
