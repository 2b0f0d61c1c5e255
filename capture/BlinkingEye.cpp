#include "capture/BlinkingEye.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr double firstBlinkMs = 1000;
constexpr double blinkEveryMs = 2000;
constexpr double closingMs = 40;
constexpr double closedMs = 40;
constexpr double openingMs = 120;

// The columns whose pixel centres in row y lie inside the ellipse that fills box.
cv::Range ellipseRow(const cv::Rect &box, int y)
{
    const double halfWidth = box.width / 2.0;
    const double halfHeight = box.height / 2.0;
    const double dy = (y + 0.5 - box.y - halfHeight) / halfHeight;
    if (dy * dy > 1)
        return cv::Range(0, 0);
    const double reach = halfWidth * std::sqrt(1 - dy * dy);
    const double centre = box.x + halfWidth;
    // Pixel x's centre is x + 0.5: inside while |x + 0.5 - centre| <= reach.
    const int first = int(std::ceil(centre - reach - 0.5));
    const int last = int(std::floor(centre + reach - 0.5));
    return cv::Range(std::max(first, box.x), std::min(last + 1, box.x + box.width));
}

} // namespace

double BlinkingEye::closedFraction(double msSinceFirstFrame)
{
    if (msSinceFirstFrame < firstBlinkMs)
        return 0;
    const double intoBlink = std::fmod(msSinceFirstFrame - firstBlinkMs, blinkEveryMs);
    if (intoBlink < closingMs)
        return intoBlink / closingMs;
    if (intoBlink < closingMs + closedMs)
        return 1;
    if (intoBlink < closingMs + closedMs + openingMs)
        return 1 - (intoBlink - closingMs - closedMs) / openingMs;
    return 0;
}

cv::Rect BlinkingEye::eyeBox(cv::Size frameSize)
{
    const int width = frameSize.width / 4;
    const int height = frameSize.height / 6;
    return {(frameSize.width - width) / 2, (frameSize.height - height) / 2, width, height};
}

cv::Rect BlinkingEye::skinBox(cv::Size frameSize)
{
    const cv::Rect eye = eyeBox(frameSize);
    const cv::Rect around(eye.x - eye.width / 2, eye.y - eye.height / 2, eye.width * 2,
                          eye.height * 2);
    return around & cv::Rect({0, 0}, frameSize);
}

void BlinkingEye::draw(cv::Mat &frame, double closedFraction)
{
    frame(skinBox(frame.size())).setTo(cv::Scalar::all(skinLevel));
    const cv::Rect eye = eyeBox(frame.size());
    // The lid covers whole rows: the top fraction of the eye's height.
    const int lidRows = int(std::lround(std::clamp(closedFraction, 0.0, 1.0) * eye.height));
    for (int y = eye.y + lidRows; y < eye.y + eye.height; ++y) {
        const cv::Range columns = ellipseRow(eye, y);
        if (!columns.empty())
            frame(cv::Range(y, y + 1), columns).setTo(cv::Scalar::all(eyeLevel));
    }
}
