#include "tests/support/EyeMeasurement.h"

#include "capture/BlinkingEye.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int darkBelow = (BlinkingEye::eyeLevel + BlinkingEye::skinLevel) / 2;

} // namespace

EyeMeasurement EyeMeasurement::of(const cv::Mat &frame)
{
    EyeMeasurement measured;
    const cv::Rect eye = BlinkingEye::eyeBox(frame.size());
    const cv::Rect skin = BlinkingEye::skinBox(frame.size());
    cv::Mat grey = frame;
    if (frame.channels() == 3) {
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        std::vector<cv::Mat> channels;
        cv::split(frame(skin), channels);
        measured.coloured = cv::countNonZero(channels[0] != channels[1]) +
                            cv::countNonZero(channels[1] != channels[2]);
    }
    for (int y = skin.y; y < skin.y + skin.height; ++y) {
        const int darkInRow =
            cv::countNonZero(grey(cv::Rect(skin.x, y, skin.width, 1)) < darkBelow);
        const int darkInEye =
            eye.contains({eye.x, y})
                ? cv::countNonZero(grey(cv::Rect(eye.x, y, eye.width, 1)) < darkBelow)
                : 0;
        measured.darkAround += darkInRow - darkInEye;
        measured.darkPixels += darkInEye;
        if (darkInEye > 0) {
            ++measured.darkRows;
            if (measured.firstDarkRow < 0)
                measured.firstDarkRow = y - eye.y;
        }
    }
    return measured;
}

double EyeMeasurement::visibleShare(double closedFraction)
{
    // On the unit circle the lid cuts off a cap of height d, 2 x closedFraction.
    const double d = 2 * closedFraction;
    const double cap = std::acos(1 - d) - (1 - d) * std::sqrt(std::max(0.0, 2 * d - d * d));
    return 1 - cap / M_PI;
}
