#include "ui/PreviewWindow.h"

#include "ui/EyelidTrace.h"
#include "ui/RegionPicture.h"

#include <QCloseEvent>
#include <QDebug>
#include <QHBoxLayout>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

PreviewWindow::PreviewWindow(QWidget *parent)
    : QWidget(parent), picture(new RegionPicture), trace(new EyelidTrace),
      watchButton(new QPushButton(tr("Watch camera")))
{
    setWindowTitle(tr("Camera output"));
    // Opened by the box or a run's start, it leaves the keyboard with the main window, whose
    // button starts and stops the run.
    setAttribute(Qt::WA_ShowWithoutActivating);
    watchButton->setObjectName(QStringLiteral("pushButton_watchCamera"));
    watchButton->setCheckable(true);
    watchButton->setToolTip(watchTip());
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(watchButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(picture, 1);
    layout->addWidget(trace);
    layout->addLayout(buttons);
    connect(watchButton, &QPushButton::toggled, this, [this](bool on) {
        // A new watch: the last one's failure is no longer news.
        if (on)
            watchButton->setToolTip(watchTip());
        emit watchToggled(on);
    });
    connect(picture, &RegionPicture::regionDrawn, this, &PreviewWindow::regionDrawn);
}

QImage PreviewWindow::convert(const IplImage *iplImage)
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
    // The frame's pixels go back to the camera's reader after it is shown: the result owns a
    // copy.
    return format == QImage::Format_RGB888 ? frame.rgbSwapped() : frame.copy();
}

void PreviewWindow::showPicture(const IplImage *image)
{
    picture->setPixmap(QPixmap::fromImage(convert(image), Qt::AutoColor));
}

QString PreviewWindow::watchTip()
{
    return tr("Show the camera while no recording runs");
}

void PreviewWindow::setWatchEnabled(bool enabled)
{
    watchButton->setEnabled(enabled);
}

void PreviewWindow::setRegion(QRect box)
{
    picture->setRegion(box);
}

void PreviewWindow::showClosure(double ms, double closure)
{
    trace->showClosure(ms, closure);
}

void PreviewWindow::showThreshold(int level)
{
    trace->showThreshold(level);
}

void PreviewWindow::clearTrace()
{
    trace->clear();
}

void PreviewWindow::watchFailed(QString reason)
{
    watchButton->setChecked(false);
    watchButton->setToolTip(reason);
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    watchButton->setChecked(false);
    event->accept();
}
