#include "encode/FrameWriter.h"

#include <utility>

FrameWriter::FrameWriter(Done frameDone) : frameDone(std::move(frameDone)) {}

void FrameWriter::begin(std::unique_ptr<VideoSink> opened)
{
    sink = std::move(opened);
    failed = false;
    inFile = 0;
    finished = {};
}

void FrameWriter::write(const cv::Mat &frame)
{
    encode(frame);
    frameDone(frame);
}

void FrameWriter::encode(const cv::Mat &frame)
{
    // After a failure the rest are only counted off: the recording is ending anyway.
    if (!failed && !(sink && sink->write(frame)))
        failed = true;
    if (sink)
        inFile = sink->framesInFile();
}

bool FrameWriter::finish()
{
    if (!sink)
        return true;
    const bool released = sink->release();
    inFile = sink->framesInFile();
    finished = sink->description();
    sink.reset();
    return released && !failed;
}
