#pragma once

#include "engine/IplImagePointer.h"

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <memory>

// A frame lent to the window for its live picture. The header that travels with
// frameAvailable has its imageId pointing back to the frame, so the
// receiver can give it back when it has drawn it. The pixels are shared with the recording,
// never refilled while lent.
class PreviewFrame
{
public:
    using Counter = std::shared_ptr<std::atomic<int>>;

    // Lends pixels as a header, or returns nullptr when `limit` frames are already out:
    // a slow window then misses frames instead of queueing them.
    static IplImage *lend(const cv::Mat &pixels, const Counter &lentOut, int limit);
    // Gives a lent header back and frees it; a header that was not lent is left alone.
    static void giveBack(IplImage *image);

private:
    PreviewFrame(const cv::Mat &pixels, Counter lentOut);

    IplImage header;
    cv::Mat pixels;
    Counter lentOut;
};
