#pragma once

#include "encode/VideoSink.h"

#include <QVector>

#include <atomic>
#include <memory>

class QSemaphore;

// A video sink that behaves as a test tells it: it can hold its first write until a gate
// opens, stall now and then the way an encoder does, fail from a given write on, flush its
// frames into the file only now and then, or fail to complete the file. Frames it accepts go
// on to a real sink when it has one, which then also tells how many are in the file; the
// frame indices it accepted are kept in `written`. It reports its scripted failures as a real
// sink does, once each.
class ScriptedSink : public VideoSink
{
public:
    struct Script
    {
        QSemaphore *gate = nullptr;
        // Counted from 0; -1: no write fails.
        int firstFailingWrite = -1;
        // Every stallEvery-th write blocks for stallMilliseconds; 0: no stalls.
        int stallEvery = 0;
        int stallMilliseconds = 0;
        // Counts the frames written, for a test that watches from another thread.
        std::atomic<int> *writesCompleted = nullptr;
        bool releaseSucceeds = true;
        // The frames accepted so far count as in the file at every flushEvery-th write, and
        // at a successful release; 0: only at release.
        int flushEvery = 1;
    };
    using Written = std::shared_ptr<QVector<int>>;

    ScriptedSink(Script script, Written written, std::unique_ptr<VideoSink> inner = nullptr);

    bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
              bool isColor) override;
    bool isOpened() const override;
    OpenFailure openFailure() const override;
    bool write(const cv::Mat &frame) override;
    bool release() override;
    int framesInFile() const override;
    Description description() const override;
    int platformChoiceCode() const override;

private:
    Script script;
    Written written;
    std::unique_ptr<VideoSink> inner;
    bool opened = false;
    int writes = 0;
    int accepted = 0;
    int flushed = 0;
    bool failureReported = false;
};
