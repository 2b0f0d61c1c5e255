#include "MainWindow.h"

#include "MainWindowForm.h"
#include "PreviewFrame.h"

#include <QCameraInfo>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

MainWindow::MainWindow(QString workingDirectory, int videoLength, int cameraIndex,
                       QStringList extraCameras, QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm)
{
    ui->setupUi(this);
    if (!workingDirectory.isEmpty())
        ui->lineEdit_workingDirectory->setText(workingDirectory);
    if (videoLength >= 0)
        ui->spinBox_videoLength->setValue(videoLength);
    recordInProgress = false;
    fillCameraList(extraCameras);
    selectCamera(cameraIndex);
    startRecorderTimer.setSingleShot(true);
    stopRecorderTimer.setSingleShot(true);
    connect(&startRecorderTimer, &QTimer::timeout, this, &MainWindow::startRecorder);
    connect(&stopRecorderTimer, &QTimer::timeout, this, &MainWindow::stopRecorder);
    connect(&beepTimer, &QTimer::timeout, &beepLoop, &QEventLoop::quit);
    beepTimer.setSingleShot(true);
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
    emit finishRequested();
    qDebug("MW:finish emitted");
    event->accept();
}

void MainWindow::fillCameraList(const QStringList &extraCameras)
{
    const auto cameras = QCameraInfo::availableCameras();
    for (const QCameraInfo &camera : cameras)
        ui->comboBox_chooseCamera->addItem(camera.description());
    ui->comboBox_chooseCamera->addItems(extraCameras);
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

void MainWindow::startRecorder() {}

void MainWindow::stopRecorder() {}

void MainWindow::updatePostponeStart() {}

void MainWindow::recorded(bool successful)
{
    Q_UNUSED(successful)
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

void MainWindow::on_pushButton_newRecord_clicked() {}

void MainWindow::on_pushButton_selectDirectory_clicked() {}

void MainWindow::on_pushButton_SelectApp_clicked() {}
