#pragma once

#include <opencv2/core/mat.hpp>

#include <vector>

// Camera-like frames for measuring the encoder: soft shading, a dark ellipse that closes and
// opens like an eyelid, a moving bar, and sensor noise that differs from frame to frame, so
// that the encoder has as much work as with a real camera.
class SyntheticFrames
{
public:
    // count frames of size, 8-bit BGR, or grey as a monochrome camera delivers them.
    static std::vector<cv::Mat> make(cv::Size size, int count, bool gray);
};
