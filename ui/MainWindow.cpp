#include "ui/MainWindow.h"

#include "engine/PreviewFrame.h"
#include "ui/MainWindowForm.h"
#include "ui/StatusLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

MainWindow::MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
                       QStringList cameraNames, QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm), beepTone(this), run(*this, this)
{
    ui->setupUi(this);
    if (!workingDirectory.isEmpty())
        ui->lineEdit_workingDirectory->setText(workingDirectory);
    if (videoLength >= 0)
        ui->spinBox_videoLength->setValue(videoLength);
    ui->comboBox_chooseCamera->addItems(cameraNames);
    selectCamera(cameraIndex);
    connect(&run, &RunControl::stopRecording, this, &MainWindow::stopRecording);
    connect(&run, &RunControl::startRecording, this, &MainWindow::startRecording);
    connect(&run, &RunControl::workingDirectoryChanged, this, &MainWindow::workingDirectoryChanged);
    connect(&run, &RunControl::runEvent, this, &MainWindow::runEvent);
    run.setBeep([this] { return beepTone.play(); });
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

void MainWindow::closeOnSignal()
{
    closingOnSignal = true;
    close();
}

void MainWindow::explainStart(const QString &note)
{
    ui->label_status->showStatus(ui->label_status->text(), note);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
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
    const QImage frame =
        format == QImage::Format_Invalid
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
    run.press();
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
    ui->label_status->showStatus(status, reason);
}

void MainWindow::showTime(const QString &time)
{
    ui->label_time->setText(time);
}

void MainWindow::showButtonCaption(const QString &caption)
{
    ui->pushButton_newRecord->setText(caption);
}

void MainWindow::showPreview(bool shown)
{
    previewWindow->setVisible(shown);
}
