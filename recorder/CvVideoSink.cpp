#include "CvVideoSink.h"

bool CvVideoSink::open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                       bool isColor)
{
    this->frameSize = frameSize;
    frameType = isColor ? CV_8UC3 : CV_8UC1;
    return writer.open(fileName, fourcc, fps, frameSize, isColor);
}

bool CvVideoSink::isOpened() const
{
    return writer.isOpened();
}

bool CvVideoSink::write(const cv::Mat &frame)
{
    // The library drops frames of another size or type without a word, and tells nothing of
    // its own write errors: refuse what it would drop, at least.
    if (!writer.isOpened() || frame.size() != frameSize || frame.type() != frameType)
        return false;
    writer.write(frame);
    return true;
}

bool CvVideoSink::release()
{
    // The library tells nothing of whether completing the file worked.
    writer.release();
    return true;
}
