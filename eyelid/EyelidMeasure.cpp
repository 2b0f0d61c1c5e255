#include "eyelid/EyelidMeasure.h"

#include <opencv2/imgproc.hpp>

namespace {

bool measurable(const cv::Mat &frame)
{
    const int channels = frame.channels();
    return frame.depth() == CV_8U && (channels == 1 || channels == 3 || channels == 4);
}

// The ellipse that fills box, drawn on the part of it inside the frame. The drawing puts pixel
// centres on whole coordinates: an ellipse through the centres of the box's edge pixels stays
// inside the box and keeps its symmetry.
cv::Mat ellipseMask(const cv::Rect &box, const cv::Rect &inside)
{
    cv::Mat mask(inside.size(), CV_8U, cv::Scalar(0));
    const cv::Point2f centre(float(double(box.x) - inside.x + (box.width - 1) / 2.0),
                             float(double(box.y) - inside.y + (box.height - 1) / 2.0));
    const cv::Size2f axes(float(box.width - 1), float(box.height - 1));
    cv::ellipse(mask, cv::RotatedRect(centre, axes, 0), cv::Scalar(255), cv::FILLED);
    return mask;
}

} // namespace

std::optional<double> EyelidMeasure::closure(const cv::Mat &frame, const EyelidRegion &region,
                                             int threshold)
{
    if (!prepare(frame, region))
        return std::nullopt;
    cv::threshold(luminance(frame), bright, threshold, 255, cv::THRESH_BINARY);
    cv::bitwise_and(bright, mask, bright);
    return double(cv::countNonZero(bright)) / maskPixels;
}

std::optional<EyelidThreshold> EyelidMeasure::otsuThreshold(const cv::Mat &frame,
                                                            const EyelidRegion &region)
{
    if (!prepare(frame, region))
        return std::nullopt;
    const cv::Mat values = ellipsePixels(luminance(frame));
    double lowest = 0;
    double highest = 0;
    cv::minMaxLoc(values, &lowest, &highest);
    if (lowest == highest)
        return EyelidThreshold{int(lowest), EyelidThreshold::ChosenBy::Otsu};
    cv::Mat parted;
    const double split = cv::threshold(values, parted, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    // Every level from the dark class's top to just below the bright class's bottom parts the
    // region alike, and the method takes the first, at the dark pixels' edge. The middle of the
    // gap keeps an eye that turns a little brighter later in the recording from counting as lid.
    double darkTop = 0;
    double brightBottom = 0;
    cv::minMaxLoc(values, nullptr, &darkTop, nullptr, nullptr, values <= split);
    cv::minMaxLoc(values, &brightBottom, nullptr, nullptr, nullptr, values > split);
    return EyelidThreshold{int(darkTop + brightBottom) / 2, EyelidThreshold::ChosenBy::Otsu};
}

std::optional<EyelidMeasure::Split> EyelidMeasure::split(const cv::Mat &frame,
                                                         const EyelidRegion &region, int threshold)
{
    if (!prepare(frame, region))
        return std::nullopt;
    const cv::Mat values = ellipsePixels(luminance(frame));
    const cv::Mat brightPixels = values > threshold;
    const int brightCount = cv::countNonZero(brightPixels);
    const int darkCount = maskPixels - brightCount;
    Split parts;
    parts.brightShare = double(brightCount) / maskPixels;
    parts.brightMean = brightCount ? cv::mean(values, brightPixels)[0] : threshold;
    parts.darkMean = darkCount ? cv::mean(values, ~brightPixels)[0] : threshold;
    return parts;
}

bool EyelidMeasure::prepare(const cv::Mat &frame, const EyelidRegion &region)
{
    if (!measurable(frame))
        return false;
    if (region.box != maskBox || frame.size() != maskFrameSize) {
        maskBox = region.box;
        maskFrameSize = frame.size();
        inside = region.clippedTo(frame.size()).inside;
        mask = inside.empty() ? cv::Mat() : ellipseMask(region.box, inside);
        maskPixels = inside.empty() ? 0 : cv::countNonZero(mask);
    }
    return maskPixels > 0;
}

cv::Mat EyelidMeasure::luminance(const cv::Mat &frame)
{
    const cv::Mat box = frame(inside);
    if (frame.channels() == 1)
        return box;
    cv::cvtColor(box, grey, frame.channels() == 3 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGRA2GRAY);
    return grey;
}

cv::Mat EyelidMeasure::ellipsePixels(const cv::Mat &boxLuminance) const
{
    cv::Mat values(1, maskPixels, CV_8U);
    int next = 0;
    for (int row = 0; row < mask.rows; ++row) {
        const uchar *inEllipse = mask.ptr<uchar>(row);
        const uchar *level = boxLuminance.ptr<uchar>(row);
        for (int column = 0; column < mask.cols; ++column)
            if (inEllipse[column])
                values.at<uchar>(next++) = level[column];
    }
    return values;
}
