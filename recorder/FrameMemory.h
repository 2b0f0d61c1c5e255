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

    // The pixel memory a frame holds.
    static qint64 bytesOf(const cv::Mat &frame);
    // How many frames of frameBytes fit in budget, at least least and at most most.
    static int framesWithin(qint64 budget, qint64 frameBytes, int least, int most);

private:
    // The machine's physical memory; 0 where it cannot tell.
    static qint64 physicalMemory();
};
