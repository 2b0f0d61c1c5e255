#pragma once

#include "capture/FrameSource.h"

#include <QMutex>
#include <QVector>

#include <memory>

// Passes a source's frames on and notes the index that each delivered frame carries, so that
// a test can tell the frames a camera lost before handing them over (as a starved test camera
// does on a busy machine) from frames lost after.
class WatchedSource : public FrameSource
{
public:
    class Delivered
    {
    public:
        void note(int index);
        // -1 stands for a frame without a readable index.
        QVector<int> indices() const;

    private:
        mutable QMutex mutex;
        QVector<int> noted;
    };

    WatchedSource(std::unique_ptr<FrameSource> watched, std::shared_ptr<Delivered> delivered);
    // Watches source, or gives nothing when there is no source to watch.
    static std::unique_ptr<FrameSource> watch(std::unique_ptr<FrameSource> source,
                                              std::shared_ptr<Delivered> delivered);

    bool isOpened() const override { return watched->isOpened(); }
    Result readFrame(Frame &frame) override;
    void release() override { watched->release(); }
    cv::Size frameSize() override { return watched->frameSize(); }
    double frameRate() const override { return watched->frameRate(); }
    bool deliversOnDemand() const override { return watched->deliversOnDemand(); }
    Description description() const override { return watched->description(); }

private:
    std::unique_ptr<FrameSource> watched;
    std::shared_ptr<Delivered> delivered;
};
