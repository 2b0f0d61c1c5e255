// What measuring the eyelid costs per frame: the closure of a 160x80 region in 640x480 frames of
// the test camera's blinking eye with sensor noise, grey and BGR, in microseconds per frame and
// as the share of one core that a 250 fps camera would take. Median of several passes.

#include "capture/BlinkingEye.h"
#include "eyelid/EyelidMeasure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {

constexpr double cameraFps = 250;
constexpr int openEye = 8;

// Frames of a blink, each with noise of its own, more of them than a cache holds.
std::vector<cv::Mat> blinkFrames(cv::Size size, int colourConversion)
{
    std::vector<cv::Mat> frames;
    cv::RNG random(11);
    for (int index = 0; index < 32; ++index) {
        cv::Mat grey(size, CV_8UC1, cv::Scalar(90));
        BlinkingEye::draw(grey, std::abs(index % 16 - openEye) / double(openEye));
        cv::Mat noise(size, CV_8UC1);
        random.fill(noise, cv::RNG::NORMAL, 0, 4);
        cv::add(grey, noise, grey);
        cv::Mat frame = grey;
        if (colourConversion >= 0)
            cv::cvtColor(grey, frame, colourConversion);
        frames.push_back(frame);
    }
    return frames;
}

// Microseconds per frame of one pass over count frames.
double microsecondsPerFrame(const std::vector<cv::Mat> &frames, const EyelidRegion &region,
                            int count, double &closureSum)
{
    EyelidMeasure measure;
    // Chosen on the open eye, as at the start of a recording.
    const int threshold = measure.otsuThreshold(frames[openEye], region)->level;
    QElapsedTimer timer;
    timer.start();
    for (int index = 0; index < count; ++index)
        closureSum += *measure.closure(frames[index % frames.size()], region, threshold);
    return timer.nsecsElapsed() / 1000.0 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The eyelid measure's cost per frame at 640x480.");
    parser.addHelpOption();
    parser.addOption({{"n", "frames"}, "Frames measured per pass (default 20000).", "N", "20000"});
    parser.addOption({{"r", "repeats"}, "Passes; the median counts (default 5).", "N", "5"});
    parser.process(application);
    const int count = std::max(1, parser.value("frames").toInt());
    const int repeats = std::max(1, parser.value("repeats").toInt());

    const cv::Size size(640, 480);
    const EyelidRegion region{BlinkingEye::eyeBox(size)};
    QTextStream out(stdout);
    out << "region " << region.text() << " in " << size.width << "x" << size.height << ", " << count
        << " frames a pass, median of " << repeats << "\n";
    out << "frames   us/frame   share of a core at 250 fps\n";
    for (const auto &[name, conversion] :
         {std::pair<const char *, int>{"grey", -1}, {"BGR", cv::COLOR_GRAY2BGR}}) {
        const std::vector<cv::Mat> frames = blinkFrames(size, conversion);
        std::vector<double> passes;
        double closureSum = 0;
        for (int pass = 0; pass < repeats; ++pass)
            passes.push_back(microsecondsPerFrame(frames, region, count, closureSum));
        std::nth_element(passes.begin(), passes.begin() + repeats / 2, passes.end());
        const double median = passes[repeats / 2];
        out << QString("%1 %2   %3%   (mean closure %4)\n")
                   .arg(name, -6)
                   .arg(median, 10, 'f', 2)
                   .arg(median * cameraFps / 1e4, 8, 'f', 2)
                   .arg(closureSum / count / repeats, 0, 'f', 3);
    }
    return 0;
}
