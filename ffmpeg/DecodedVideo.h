#pragma once

#include <QSize>
#include <QString>

// What decoding a video file frame by frame shows: every packet is decoded and only the
// frames that decode without damage are counted.
struct DecodedVideo
{
    bool opened = false;
    // Why it did not open, or why reading stopped before the end of the file.
    QString problem;
    int frames = 0;
    int damagedFrames = 0;
    int packets = 0;
    int refusedPackets = 0;
    // The frame count and rate the file declares in its header; 0 when it declares none.
    qint64 declaredFrames = 0;
    double declaredFps = 0;
    QSize frameSize;
    QString fourcc;

    static DecodedVideo of(const QString &fileName);
};
