#include "engine/PreviewFrame.h"

#include <utility>

PreviewFrame::PreviewFrame(const cv::Mat &pixels, Counter lentOut)
    : header(cvIplImage(pixels)), pixels(pixels), lentOut(std::move(lentOut))
{
    header.imageId = this;
}

IplImage *PreviewFrame::lend(const cv::Mat &pixels, const Counter &lentOut, int limit)
{
    if (pixels.empty() || lentOut->fetch_add(1) >= limit) {
        if (!pixels.empty())
            lentOut->fetch_sub(1);
        return nullptr;
    }
    return &(new PreviewFrame(pixels, lentOut))->header;
}

void PreviewFrame::giveBack(IplImage *image)
{
    if (!image || !image->imageId)
        return;
    auto *frame = static_cast<PreviewFrame *>(image->imageId);
    frame->lentOut->fetch_sub(1);
    delete frame;
}
