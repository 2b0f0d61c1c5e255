#pragma once

#include "engine/IplImagePointer.h"

#include <QObject>
#include <QPixmap>

// Draws the recorder's preview frames the way the window does, in the GUI thread: a copy in
// the screen's channel order, made into a pixmap, and the frame given back.
class PreviewDrawer : public QObject
{
    Q_OBJECT
public:
    int drawn() const { return drawnCount; }

public slots:
    void showFrame(IplImage *image);

private:
    QPixmap picture;
    int drawnCount = 0;
};
