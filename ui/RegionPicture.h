#pragma once

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QRectF>

#include <optional>

// The live picture: a frame scaled to fit whatever size the window has, its proportions kept,
// with the eye's region outlined over it. The operator draws the region with the mouse, from
// corner to corner; the box is told in the frame's own pixels, whatever the scaling. The
// pixmap stays the frame at its own size; only its drawing is scaled.
class RegionPicture : public QLabel
{
    Q_OBJECT
public:
    // A drag shorter than this on either side, in screen pixels, is a click and draws nothing.
    static constexpr int shortestDrag = 5;

    explicit RegionPicture(QWidget *parent = nullptr);

    // An empty box outlines nothing.
    void setRegion(QRect box);
    QRect region() const { return regionBox; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Drawn by the operator, in frame pixels, clipped to the frame.
    void regionDrawn(QRect box);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Where the frame is drawn: the largest rectangle of its proportions, centred.
    QRectF pictureRect() const;
    QPointF toFrame(QPoint widgetPoint) const;
    QRectF toWidget(QRect frameBox) const;

    QRect regionBox;
    std::optional<QPoint> dragStart;
    QPoint dragEnd;
};
