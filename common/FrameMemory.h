#pragma once

#include <QtGlobal>

#include <opencv2/core/mat.hpp>

// How much memory the frames of a recording may take while they wait: in the camera's queue,
// read ahead, and queued for the writer. Each place keeps its count of frames where that is
// the smaller bound; large frames are bounded in bytes, so that a lab camera's mode never
// makes the machine swap. Together at most 352 MiB, which with the encoder, the preview and
// the program keeps a recording below 600 MB even with frames of 12 MB.
class FrameMemory
{
public:
    static constexpr qint64 mebibyte = 1024 * 1024;
    // Frames the test camera keeps for a late reader.
    static constexpr qint64 cameraQueueBytes = 48 * mebibyte;
    // Frames the reader has taken from the source ahead of the recorder.
    static constexpr qint64 readAheadBytes = 48 * mebibyte;
    // Frames waiting for the encoder: 256 MiB, or an eighth of the machine's memory where
    // that is less.
    static qint64 writerQueueBytes();

    // A declared rate above this is no camera's (streams declare 90000).
    static constexpr double mostFps = 1000;
    // The rate the queues and the encoder are sized for: a rate above mostFps counts as
    // mostFps, an unknown, negative or not-a-number one as 30 fps.
    static double believableFps(double fps);
    // Frames that may wait for the writer: two seconds of the camera's rate, which rides out
    // the encoder's longest stalls, at least 60 (a source that does not know its rate counts as
    // 30 fps). writerQueueBytes bounds them further.
    static int writerQueueFrames(double fps);
    // Frames read ahead of the recorder: a quarter second's worth, at least 8, which rides out
    // a busy moment of the recorder's thread. readAheadBytes bounds them further.
    static int readAheadFrames(double fps);

    // The pixel memory a frame holds.
    static qint64 bytesOf(const cv::Mat &frame);
    // How many frames of frameBytes fit in budget, at least least and at most most.
    static int framesWithin(qint64 budget, qint64 frameBytes, int least, int most);
};
