#include "capture/GstPipelineSource.h"

#include "common/FrameMemory.h"

#include <QDebug>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <memory>

namespace {

using std::chrono::milliseconds;

// How long the pipeline may take to deliver its first frame when it is opened.
constexpr milliseconds firstFrameBound{5'000};
// How often a wait for a frame looks at the pipeline's errors and end.
constexpr GstClockTime pollInterval = 100 * GST_MSECOND;
// The frames the sink may hold: BGR from a colour camera, GRAY8 from a monochrome one.
constexpr const char *sinkCaps = "video/x-raw, format=(string){ BGR, GRAY8 }";

struct SampleUnref
{
    void operator()(GstSample *sample) const { gst_sample_unref(sample); }
};
using SamplePointer = std::unique_ptr<GstSample, SampleUnref>;

GstElement *findAppSink(GstElement *pipeline)
{
    GstIterator *elements = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    GstElement *found = nullptr;
    while (!found && gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        if (GST_IS_APP_SINK(element))
            found = GST_ELEMENT(gst_object_ref(element));
        g_value_reset(&item);
    }
    if (G_IS_VALUE(&item))
        g_value_unset(&item);
    gst_iterator_free(elements);
    return found;
}

// The system clock reads CLOCK_MONOTONIC unless told otherwise; a clock of the pipeline's own
// says so, whatever another part of the program does to the shared one.
void useMonotonicClock(GstElement *pipeline)
{
    auto *clock = GST_CLOCK(
        g_object_new(GST_TYPE_SYSTEM_CLOCK, "clock-type", GST_CLOCK_TYPE_MONOTONIC, nullptr));
    gst_object_ref_sink(clock);
    gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
    gst_object_unref(clock);
}

// Narrows the sink's caps to the layouts a frame can hold, keeping what the pipeline asked.
void askForFrameLayouts(GstElement *sink)
{
    GstCaps *wanted = gst_caps_from_string(sinkCaps);
    if (GstCaps *given = gst_app_sink_get_caps(GST_APP_SINK(sink))) {
        GstCaps *both = gst_caps_intersect(given, wanted);
        gst_caps_unref(given);
        gst_caps_unref(wanted);
        wanted = both;
    }
    gst_app_sink_set_caps(GST_APP_SINK(sink), wanted);
    gst_caps_unref(wanted);
}

bool isLive(GstElement *pipeline)
{
    GstQuery *query = gst_query_new_latency();
    gboolean live = FALSE;
    if (gst_element_query(pipeline, query))
        gst_query_parse_latency(query, &live, nullptr, nullptr);
    gst_query_unref(query);
    return live;
}

} // namespace

bool GstPipelineSource::isPipeline(const QString &text)
{
    return text.contains(QLatin1String("appsink")) || text.contains(QLatin1String(" ! "));
}

GstPipelineSource::GstPipelineSource(const QString &pipelineText) : text(pipelineText)
{
    opened = build() && start();
    if (!opened)
        release();
}

GstPipelineSource::~GstPipelineSource()
{
    release();
}

bool GstPipelineSource::build()
{
    GError *error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        qDebug("GStreamer did not start: %s", error ? error->message : "no reason given");
        g_clear_error(&error);
        return false;
    }
    pipeline = gst_parse_launch_full(text.toUtf8().constData(), nullptr,
                                     GST_PARSE_FLAG_FATAL_ERRORS, &error);
    if (!pipeline) {
        qDebug("the pipeline could not be made: %s", error ? error->message : "no reason given");
        g_clear_error(&error);
        return false;
    }
    if (!GST_IS_PIPELINE(pipeline) || !(sink = findAppSink(pipeline))) {
        qDebug("the pipeline has no appsink to take frames from: \"%s\"", qPrintable(text));
        return false;
    }
    useMonotonicClock(pipeline);
    askForFrameLayouts(sink);
    return true;
}

// Plays the pipeline until its first frame tells the frames' size, layout and rate.
bool GstPipelineSource::start()
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        if (!reportBusError())
            qDebug("the pipeline did not start playing");
        return false;
    }
    GstSample *first = nullptr;
    if (waitForSample(first, firstFrameBound) != Result::Frame) {
        qDebug("the pipeline gave no first frame");
        return false;
    }
    learnFormat(first);
    gst_sample_unref(first);
    live = isLive(pipeline);
    boundSinkQueue();
    return !size.empty();
}

void GstPipelineSource::learnFormat(GstSample *sample)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
        qDebug("the pipeline's frames have no video format");
        return;
    }
    size = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
    if (GST_VIDEO_INFO_FPS_D(&info) > 0)
        fps = double(GST_VIDEO_INFO_FPS_N(&info)) / GST_VIDEO_INFO_FPS_D(&info);
    format = QString::fromLatin1(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)));
}

// An appsink left unbounded would keep every frame a stalled reader leaves; it keeps half a
// second instead, as the test camera does, and a live source then loses what does not fit.
void GstPipelineSource::boundSinkQueue()
{
    if (gst_app_sink_get_max_buffers(GST_APP_SINK(sink)) != 0)
        return;
    const int channels = format == QLatin1String("GRAY8") ? 1 : 3;
    const qint64 frameBytes = qint64(size.area()) * channels;
    const int halfSecond = int(FrameMemory::believableFps(fps) + 1) / 2;
    gst_app_sink_set_max_buffers(GST_APP_SINK(sink), guint(FrameMemory::framesWithin(
                                                         FrameMemory::cameraQueueBytes, frameBytes,
                                                         4, std::max(4, halfSecond))));
}

FrameSource::Result GstPipelineSource::waitForSample(GstSample *&sample, milliseconds bound)
{
    const MonotonicClock::time_point deadline = MonotonicClock::now() + bound;
    for (;;) {
        sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), pollInterval);
        if (sample)
            return Result::Frame;
        // A sink that stopped on an error reads as ended too.
        if (reportBusError())
            return Result::Failed;
        if (gst_app_sink_is_eos(GST_APP_SINK(sink)))
            return Result::Ended;
        if (MonotonicClock::now() >= deadline)
            return Result::Failed;
    }
}

// Takes the bus's messages, which nobody else reads; says the first error, if any.
bool GstPipelineSource::reportBusError()
{
    GstBus *bus = gst_element_get_bus(pipeline);
    bool failed = false;
    while (GstMessage *message = gst_bus_pop(bus)) {
        if (!failed && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError *error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            qDebug("GStreamer error from %s: %s", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)),
                   error ? error->message : "no reason given");
            g_clear_error(&error);
            failed = true;
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return failed;
}

FrameSource::Result GstPipelineSource::readFrame(Frame &frame)
{
    frame = Frame();
    if (!opened)
        return Result::Failed;
    if (!streamingSince)
        streamingSince = MonotonicClock::now();
    // Ten seconds, or twenty frame periods of a slow camera; the reader's own bound is shorter.
    const milliseconds bound =
        std::max(milliseconds(10'000), milliseconds(fps > 0 ? qint64(20'000 / fps) : 0));
    SamplePointer sample;
    do {
        GstSample *pulled = nullptr;
        const Result result = waitForSample(pulled, bound);
        if (result != Result::Frame)
            return result;
        sample.reset(pulled);
        frame.captureTime = captureTimeOf(sample.get());
    } while (capturedBeforeStreaming(frame.captureTime));
    return copyPixels(sample.get(), frame.pixels) ? Result::Frame : Result::Failed;
}

// A live pipeline plays from its opening, but the frames captured before the first read are
// not the recording's.
bool GstPipelineSource::capturedBeforeStreaming(
    const std::optional<MonotonicClock::time_point> &captureTime) const
{
    return live && captureTime && *captureTime < *streamingSince &&
           *streamingSince - *captureTime < std::chrono::seconds(10);
}

bool GstPipelineSource::copyPixels(GstSample *sample, cv::Mat &pixels)
{
    GstVideoInfo info;
    GstVideoFrame video;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        !gst_video_frame_map(&video, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
        qDebug("a frame of the pipeline could not be read");
        return false;
    }
    const int type = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_GRAY8 ? CV_8UC1 : CV_8UC3;
    // Rows may be padded; the copy is the frame's own and of its exact width.
    pixels = cv::Mat(GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_WIDTH(&info), type,
                     GST_VIDEO_FRAME_PLANE_DATA(&video, 0),
                     std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0)))
                 .clone();
    gst_video_frame_unmap(&video);
    return true;
}

// The buffer's running time plus the base time: the clock's reading when it was captured.
std::optional<MonotonicClock::time_point> GstPipelineSource::captureTimeOf(GstSample *sample) const
{
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    const GstSegment *segment = gst_sample_get_segment(sample);
    if (!buffer || !segment || segment->format != GST_FORMAT_TIME ||
        !GST_BUFFER_PTS_IS_VALID(buffer))
        return std::nullopt;
    const guint64 running =
        gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    const GstClockTime base = gst_element_get_base_time(sink);
    if (!GST_CLOCK_TIME_IS_VALID(running) || !GST_CLOCK_TIME_IS_VALID(base))
        return std::nullopt;
    return MonotonicClock::time_point(std::chrono::duration_cast<MonotonicClock::duration>(
        std::chrono::nanoseconds(running + base)));
}

void GstPipelineSource::release()
{
    opened = false;
    if (pipeline)
        gst_element_set_state(pipeline, GST_STATE_NULL);
    if (sink)
        gst_object_unref(sink);
    if (pipeline)
        gst_object_unref(pipeline);
    sink = nullptr;
    pipeline = nullptr;
}

bool GstPipelineSource::isOpened() const
{
    return opened;
}

cv::Size GstPipelineSource::frameSize()
{
    return size;
}

double GstPipelineSource::frameRate() const
{
    return fps;
}

// A pipeline that is not live (a file decoded, say) waits for its reader.
bool GstPipelineSource::deliversOnDemand() const
{
    return !live;
}

FrameSource::Description GstPipelineSource::description() const
{
    Description facts;
    facts.listText = text;
    facts.device = text;
    facts.backend = QStringLiteral("GStreamer appsink");
    facts.frameSize = size;
    facts.pixelFormat = format;
    facts.timeSource = TimeSource::Camera;
    return facts;
}
