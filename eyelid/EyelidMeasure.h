#pragma once

#include "eyelid/EyelidRegion.h"
#include "eyelid/EyelidThreshold.h"

#include <opencv2/core/mat.hpp>

#include <optional>

// How closed the eyelid is on a frame. Under infrared light lid and fur are bright and the open
// eye dark, so the closure is the share of the region's pixels brighter than a threshold. The
// region's mask is made once per region and frame size, and only the region's box of each
// frame is read, so measuring every frame of a fast camera costs little. Frames are 8-bit grey,
// BGR or BGRA; colour is measured on its luminance. One object serves one thread.
class EyelidMeasure
{
public:
    // How a threshold parts the region's pixels: the mean grey levels on either side of it and
    // the share above it.
    struct Split
    {
        double darkMean = 0;
        double brightMean = 0;
        double brightShare = 0;
    };

    // The share of the region's pixels in frame strictly brighter than threshold, from 0 (open)
    // to 1 (closed), counted over the part of the region inside the frame. Nothing for a frame
    // of another kind or a region without a pixel in it.
    std::optional<double> closure(const cv::Mat &frame, const EyelidRegion &region, int threshold);
    // The threshold that Otsu's method finds in the histogram of the region's own pixels (the
    // ellipse alone, not its box), in the middle of the gap that parts dark from bright. A
    // region of one grey level has no such gap: its level is taken, so that it reads as open.
    std::optional<EyelidThreshold> otsuThreshold(const cv::Mat &frame, const EyelidRegion &region);
    // Nothing for a frame of another kind or a region without a pixel in it. A side without a
    // pixel has the threshold as its mean.
    std::optional<Split> split(const cv::Mat &frame, const EyelidRegion &region, int threshold);

private:
    bool prepare(const cv::Mat &frame, const EyelidRegion &region);
    // The luminance of the region's box: the frame's own pixels when it is grey.
    cv::Mat luminance(const cv::Mat &frame);
    // The luminance of the ellipse's pixels, one row.
    cv::Mat ellipsePixels(const cv::Mat &boxLuminance) const;

    // What the mask was made for.
    cv::Rect maskBox;
    cv::Size maskFrameSize;
    // The region's pixels inside the frame, and the ellipse's among them (255).
    cv::Rect inside;
    cv::Mat mask;
    int maskPixels = 0;
    // Reused from frame to frame.
    cv::Mat grey;
    cv::Mat bright;
};
