#pragma once

#include "engine/IplImagePointer.h"

#include <QImage>
#include <QRect>
#include <QWidget>

class EyelidTrace;
class QPushButton;
class RegionPicture;

// The "Camera output" window: the live picture, scaled to the window, with the eye's region
// drawn over it and drawn on it with the mouse; beneath it the eyelid's closure over the last
// seconds, and the "Watch camera" button that shows the camera while no run is on.
class PreviewWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    // The frame as a toolkit image of its own pixels, or a null image, with a debug line, for
    // a frame that is not 8-bit grey, BGR or BGRA.
    static QImage convert(const IplImage *iplImage);
    // A frame that cannot be shown empties the picture.
    void showPicture(const IplImage *image);
    // Watching is for when no run is on.
    void setWatchEnabled(bool enabled);

signals:
    void watchToggled(bool on);
    // Drawn by the operator, in frame pixels.
    void regionDrawn(QRect box);

public slots:
    // A region given from elsewhere (the command line): outlined, not told back.
    void setRegion(QRect box);
    void showClosure(double ms, double closure);
    void showThreshold(int level);
    void clearTrace();
    // Watching ended by itself: the button is released and says why.
    void watchFailed(QString reason);

protected:
    // Closed, the window watches no more.
    void closeEvent(QCloseEvent *event) override;

private:
    static QString watchTip();

    RegionPicture *picture;
    EyelidTrace *trace;
    QPushButton *watchButton;
};
