#include "ui/RegionPicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdlib>

namespace {

QColor regionColour()
{
    return QColor(255, 160, 0);
}

} // namespace

RegionPicture::RegionPicture(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::CrossCursor);
}

void RegionPicture::setRegion(QRect box)
{
    regionBox = box;
    update();
}

QSize RegionPicture::sizeHint() const
{
    const QPixmap frame = pixmap(Qt::ReturnByValue);
    return frame.isNull() ? QSize(320, 240) : frame.size();
}

// The window may be made smaller than the frame: the picture shrinks with it.
QSize RegionPicture::minimumSizeHint() const
{
    return {160, 120};
}

void RegionPicture::paintEvent(QPaintEvent *)
{
    const QPixmap frame = pixmap(Qt::ReturnByValue);
    if (frame.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(pictureRect(), frame, QRectF(frame.rect()));
    if (!regionBox.isEmpty()) {
        painter.setPen(QPen(regionColour(), 2));
        painter.drawEllipse(toWidget(regionBox));
        painter.setPen(QPen(regionColour(), 1, Qt::DotLine));
        painter.drawRect(toWidget(regionBox));
    }
    if (dragStart) {
        painter.setPen(QPen(regionColour(), 1, Qt::DashLine));
        painter.drawRect(QRect(*dragStart, dragEnd).normalized());
    }
}

void RegionPicture::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || pixmap(Qt::ReturnByValue).isNull())
        return;
    dragStart = event->pos();
    dragEnd = event->pos();
}

void RegionPicture::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragStart)
        return;
    dragEnd = event->pos();
    update();
}

void RegionPicture::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !dragStart)
        return;
    const QPoint start = *dragStart;
    dragStart.reset();
    update();
    const QPoint end = event->pos();
    if (std::abs(end.x() - start.x()) < shortestDrag ||
        std::abs(end.y() - start.y()) < shortestDrag)
        return;
    const QPointF from = toFrame(start);
    const QPointF to = toFrame(end);
    const QRect box =
        QRect(QPoint(qRound(std::min(from.x(), to.x())), qRound(std::min(from.y(), to.y()))),
              QPoint(qRound(std::max(from.x(), to.x())), qRound(std::max(from.y(), to.y()))))
            .adjusted(0, 0, -1, -1);
    if (box.isEmpty())
        return;
    setRegion(box);
    emit regionDrawn(box);
}

QRectF RegionPicture::pictureRect() const
{
    const QRectF space = contentsRect();
    const QSizeF size =
        QSizeF(pixmap(Qt::ReturnByValue).size()).scaled(space.size(), Qt::KeepAspectRatio);
    QRectF picture(QPointF(), size);
    picture.moveCenter(space.center());
    return picture;
}

// Clipped to the frame: a drag may end beside the picture.
QPointF RegionPicture::toFrame(QPoint widgetPoint) const
{
    const QRectF picture = pictureRect();
    const QSize frame = pixmap(Qt::ReturnByValue).size();
    const double x = (widgetPoint.x() - picture.left()) * frame.width() / picture.width();
    const double y = (widgetPoint.y() - picture.top()) * frame.height() / picture.height();
    return {std::clamp(x, 0.0, double(frame.width())), std::clamp(y, 0.0, double(frame.height()))};
}

QRectF RegionPicture::toWidget(QRect frameBox) const
{
    const QRectF picture = pictureRect();
    const QSize frame = pixmap(Qt::ReturnByValue).size();
    const double scale = picture.width() / frame.width();
    return {picture.left() + frameBox.x() * scale, picture.top() + frameBox.y() * scale,
            frameBox.width() * scale, frameBox.height() * scale};
}
