#pragma once

#include <opencv2/core/mat.hpp>

// The eye that the test camera draws in its ":eye" mode, as an infrared camera sees it: a dark
// ellipse on bright skin, whose lid closes from the top. It blinks on a fixed schedule, so that
// a blink detector's findings can be checked against the truth: blink k starts 1 s + 2k s
// after the first frame; its lid closes over 40 ms, stays closed 40 ms and opens over 120 ms.
class BlinkingEye
{
public:
    // Grey levels under infrared: the open eye dark, skin and lid bright.
    static constexpr int eyeLevel = 30;
    static constexpr int skinLevel = 200;

    // How far the lid covers the eye, from 0 (open) to 1 (closed), this long after the first
    // frame was captured.
    static double closedFraction(double msSinceFirstFrame);
    // The box that the eye's ellipse fills: a quarter of the frame's width, a sixth of its
    // height, in its middle.
    static cv::Rect eyeBox(cv::Size frameSize);
    // The skin around the eye: its box and half as much again on every side.
    static cv::Rect skinBox(cv::Size frameSize);
    // Paints skin, eye and lid into an 8-bit frame of one or three channels, grey in both. The
    // eye is the pixels whose centres lie in the ellipse filling eyeBox; the lid turns its top
    // closedFraction x height rows to skin.
    static void draw(cv::Mat &frame, double closedFraction);
};
