#include "tests/support/ScriptedSink.h"

#include "capture/FramePattern.h"

#include <QDebug>
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
    accepted = 0;
    flushed = 0;
    writes = 0;
    failureReported = false;
    return opened;
}

bool ScriptedSink::isOpened() const
{
    return opened;
}

VideoSink::OpenFailure ScriptedSink::openFailure() const
{
    return inner ? inner->openFailure() : OpenFailure::None;
}

VideoSink::Description ScriptedSink::description() const
{
    return inner ? inner->description() : Description{QStringLiteral("scripted"), {}, {}};
}

int ScriptedSink::platformChoiceCode() const
{
    return inner ? inner->platformChoiceCode() : VideoSink::platformChoiceCode();
}

int ScriptedSink::framesInFile() const
{
    return inner ? inner->framesInFile() : flushed;
}

bool ScriptedSink::write(const cv::Mat &frame)
{
    if (writes++ == 0 && script.gate)
        script.gate->acquire();
    if (script.stallEvery > 0 && writes % script.stallEvery == 0)
        QThread::msleep(script.stallMilliseconds);
    if (script.firstFailingWrite >= 0 && writes > script.firstFailingWrite) {
        if (!std::exchange(failureReported, true))
            qDebug("Video file write failed");
        return false;
    }
    if (inner && !inner->write(frame))
        return false;
    const auto stamp = FramePattern::read(frame);
    written->append(stamp ? int(stamp->index) : -1);
    ++accepted;
    if (script.flushEvery > 0 && accepted % script.flushEvery == 0)
        flushed = accepted;
    if (script.writesCompleted)
        ++*script.writesCompleted;
    return true;
}

bool ScriptedSink::release()
{
    const bool released = (!inner || inner->release()) && script.releaseSucceeds;
    if (opened && !script.releaseSucceeds)
        qDebug("Video file close failed");
    if (released && opened)
        flushed = accepted;
    opened = false;
    return released;
}
