#include "tests/support/ScriptedSource.h"

#include "capture/FramePattern.h"

ScriptedSource::ScriptedSource(Script script) : script(std::move(script)) {}

cv::Size ScriptedSource::frameSize()
{
    return {320, 240};
}

FrameSource::Result ScriptedSource::readFrame(Frame &frame)
{
    frame = Frame();
    if (next == script.heldStep)
        script.gate.wait();
    if (next >= script.steps.size())
        return script.end;
    const Step &step = script.steps.at(next);
    const bool resized = script.resizedFrom >= 0 && next >= script.resizedFrom;
    frame.pixels =
        cv::Mat(resized ? script.resizedTo : frameSize(), CV_8UC3, cv::Scalar(40, 80, 120));
    FramePattern::draw(frame.pixels, {std::uint32_t(next), 0});
    if (step.captureMilliseconds)
        frame.captureTime = script.base + std::chrono::milliseconds(*step.captureMilliseconds);
    frame.sequence = step.sequence;
    ++next;
    return Result::Frame;
}

FrameSource::Description ScriptedSource::description() const
{
    Description facts;
    facts.listText = QStringLiteral("scripted source");
    facts.backend = QStringLiteral("script");
    return facts;
}
