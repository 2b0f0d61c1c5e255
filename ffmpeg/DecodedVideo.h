#pragma once

#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>

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

    // A frame that decoded without damage, as full-range 8-bit luminance: width x height
    // pixels, rows stride bytes apart, valid during the call.
    struct GreyFrame
    {
        int index = 0; // among the frames that decoded without damage, from 0
        int width = 0;
        int height = 0;
        int stride = 0;
        const std::uint8_t *pixels = nullptr;
    };
    using GreyFrameVisitor = std::function<void(const GreyFrame &)>;

    // Decodes the whole file; each good frame is shown to visit when it is given.
    static DecodedVideo of(const QString &fileName, const GreyFrameVisitor &visit = {});
};
