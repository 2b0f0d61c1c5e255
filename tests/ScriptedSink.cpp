#include "ScriptedSink.h"

#include "FramePattern.h"

#include <QSemaphore>
#include <QThread>

#include <utility>

ScriptedSink::ScriptedSink(Script script, Written written, std::unique_ptr<VideoSink> inner)
    : script(script), written(std::move(written)), inner(std::move(inner))
{
}

bool ScriptedSink::open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                        bool isColor)
{
    opened = !inner || inner->open(fileName, fourcc, fps, frameSize, isColor);
    return opened;
}

bool ScriptedSink::isOpened() const
{
    return opened;
}

bool ScriptedSink::write(const cv::Mat &frame)
{
    if (writes++ == 0 && script.gate)
        script.gate->acquire();
    if (script.stallEvery > 0 && writes % script.stallEvery == 0)
        QThread::msleep(script.stallMilliseconds);
    if (script.firstFailingWrite >= 0 && writes > script.firstFailingWrite)
        return false;
    if (inner && !inner->write(frame))
        return false;
    const auto stamp = FramePattern::read(frame);
    written->append(stamp ? int(stamp->index) : -1);
    if (script.writesCompleted)
        ++*script.writesCompleted;
    return true;
}

bool ScriptedSink::release()
{
    const bool released = !inner || inner->release();
    opened = false;
    return released && script.releaseSucceeds;
}
