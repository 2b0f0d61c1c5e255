#include "bench/PreviewDrawer.h"

#include "engine/PreviewFrame.h"

#include <QImage>

void PreviewDrawer::showFrame(IplImage *image)
{
    const QImage bgr(reinterpret_cast<const uchar *>(image->imageData), image->width, image->height,
                     image->widthStep, QImage::Format_RGB888);
    picture = QPixmap::fromImage(bgr.rgbSwapped(), Qt::AutoColor);
    PreviewFrame::giveBack(image);
    ++drawnCount;
}
