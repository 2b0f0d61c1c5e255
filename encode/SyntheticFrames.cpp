#include "encode/SyntheticFrames.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>

namespace {

cv::Mat shading(cv::Size size)
{
    cv::Mat background(size, CV_8UC3);
    for (int row = 0; row < size.height; ++row)
        background.row(row).setTo(cv::Scalar(60 + row * 120 / size.height, 90, 140));
    return background;
}

} // namespace

std::vector<cv::Mat> SyntheticFrames::make(cv::Size size, int count, bool gray)
{
    std::vector<cv::Mat> frames;
    const cv::Mat background = shading(size);
    const cv::Point centre(size.width / 2, size.height / 2);
    cv::RNG random(6);
    for (int index = 0; index < count; ++index) {
        cv::Mat frame = background.clone();
        const int opening = std::abs(index % 30 - 15) * size.height / 80;
        cv::ellipse(frame, centre, cv::Size(size.width / 6, opening + 1), 0, 0, 360,
                    cv::Scalar(20, 25, 30), cv::FILLED);
        const int x = index * 7 % size.width;
        cv::rectangle(frame, cv::Rect(x, 0, size.width / 20, size.height), cv::Scalar(200, 200, 40),
                      cv::FILLED);
        cv::Mat noise(size, CV_8UC3);
        random.fill(noise, cv::RNG::NORMAL, 0, 4);
        cv::add(frame, noise, frame);
        if (gray)
            cv::cvtColor(frame, frame, cv::COLOR_BGR2GRAY);
        frames.push_back(frame);
    }
    return frames;
}
