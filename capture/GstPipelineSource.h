#pragma once

#include "capture/FrameSource.h"

#include <QString>

#include <chrono>
#include <optional>

typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;

// A GStreamer pipeline that ends in an appsink, read through GStreamer's own interface so that
// every frame keeps its buffer's time. The pipeline runs on a monotonic system clock, so a
// buffer's running time (its PTS within its segment) plus the pipeline's base time is the
// moment a live source captured it, on MonotonicClock. The appsink is asked for BGR or GRAY8,
// and each frame is copied into pixels of its own. Losses are left to the timeline's gaps
// between capture times: buffer offsets count frames in some elements and bytes in others, so
// they are not taken for sequence numbers.
class GstPipelineSource : public FrameSource
{
public:
    // Whether a source text is a pipeline: it names an appsink, or links elements with " ! ".
    static bool isPipeline(const QString &text);

    explicit GstPipelineSource(const QString &pipelineText);
    ~GstPipelineSource() override;
    GstPipelineSource(const GstPipelineSource &) = delete;
    GstPipelineSource &operator=(const GstPipelineSource &) = delete;

    bool isOpened() const override;
    // Frames captured before the first read are dropped: like a capture driver, the source
    // streams for the recording from its first read on.
    Result readFrame(Frame &frame) override;
    void release() override;
    cv::Size frameSize() override;
    double frameRate() const override;
    bool deliversOnDemand() const override;
    Description description() const override;

private:
    bool build();
    bool start();
    void learnFormat(GstSample *sample);
    void boundSinkQueue();
    // Waits up to bound for a sample: Result::Frame with sample set, or why none came.
    Result waitForSample(GstSample *&sample, std::chrono::milliseconds bound);
    bool reportBusError();
    bool
    capturedBeforeStreaming(const std::optional<MonotonicClock::time_point> &captureTime) const;
    static bool copyPixels(GstSample *sample, cv::Mat &pixels);
    std::optional<MonotonicClock::time_point> captureTimeOf(GstSample *sample) const;

    const QString text;
    GstElement *pipeline = nullptr;
    GstElement *sink = nullptr;
    bool opened = false;
    // Live sources make frames on their own schedule; others wait for the reader.
    bool live = false;
    // The first read's moment.
    std::optional<MonotonicClock::time_point> streamingSince;
    cv::Size size;
    double fps = 0;
    QString format;
};
