#pragma once

#include <opencv2/core/mat.hpp>

// What a frame shows of the test camera's eye, measured from its pixels alone, against what
// the geometry of an ellipse says a lid should leave of it.
struct EyeMeasurement
{
    // Pixels of the eye's box darker than halfway between eye and skin.
    int darkPixels = 0;
    // Rows of the eye's box that hold a dark pixel, and the first of them (-1: none).
    int darkRows = 0;
    int firstDarkRow = -1;
    // Dark pixels outside the eye's box, within the skin around it: there should be none.
    int darkAround = 0;
    // Pixels in the skin around the eye whose channels differ: there should be none.
    int coloured = 0;

    static EyeMeasurement of(const cv::Mat &frame);
    // The share of an ellipse's area below a line that cuts off the top closedFraction of its
    // height, from the area of a circle's segment.
    static double visibleShare(double closedFraction);
};
