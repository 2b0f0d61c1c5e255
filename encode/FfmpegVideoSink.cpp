#include "encode/FfmpegVideoSink.h"

#include "encode/EncoderChoice.h"

#include <QDebug>
#include <QThread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <utility>

struct FfmpegVideoSink::Codec
{
    const char *encoderName;
    AVColorRange range; // Motion JPEG is full range by its own standard
    bool isH264;
};

namespace {

// Fixed quantiser for Motion JPEG: its default bit rate would blur an eyelid into blocks.
constexpr int mjpegQuantiser = 3;

bool hasOddSide(cv::Size size)
{
    return size.width % 2 != 0 || size.height % 2 != 0;
}

// 4:2:0 stores one chroma sample for every two by two pixels, so H.264 refuses it for odd
// sides; 4:4:4 stores every frame size as it is.
AVPixelFormat pictureFormatOf(bool isH264, cv::Size frameSize)
{
    return isH264 && hasOddSide(frameSize) ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
}

const char *chromaText(int pictureFormat)
{
    return pictureFormat == AV_PIX_FMT_YUV444P ? "4:4:4" : "4:2:0";
}

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

FfmpegVideoSink::FfmpegVideoSink() = default;

FfmpegVideoSink::FfmpegVideoSink(H264Settings settings)
    : fixedSettings(settings), settings(std::move(settings))
{
}

FfmpegVideoSink::~FfmpegVideoSink()
{
    release();
}

void FfmpegVideoSink::setClock(Clock readClock)
{
    clock = std::move(readClock);
}

void FfmpegVideoSink::chooseFrom(std::shared_ptr<EncoderSpeeds> measured)
{
    speeds = std::move(measured);
}

EncoderChoice FfmpegVideoSink::choose(cv::Size frameSize, bool gray, bool firstFrameSeen) const
{
    if (speeds)
        return speeds->choose(frameSize, cameraRate(), gray, firstFrameSeen);
    return EncoderChoice::forCamera(frameSize, cameraRate(), gray, QThread::idealThreadCount());
}

void FfmpegVideoSink::setCameraRate(double fps)
{
    cameraFps = fps;
}

FfmpegVideoSink::Codec FfmpegVideoSink::codecOf(int fourcc)
{
    return VideoCodes::isH264(fourcc) ? Codec{"libx264", AVCOL_RANGE_MPEG, true}
                                      : Codec{"mjpeg", AVCOL_RANGE_JPEG, false};
}

bool FfmpegVideoSink::open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                           bool isColor)
{
    Q_UNUSED(isColor)
    release();
    failure = OpenFailure::Codec;
    muxedFrames = {};
    framesFlushed = 0;
    // The libraries report each recording's statistics at info level; only errors are news.
    av_log_set_level(AV_LOG_ERROR);
    // Motion JPEG is built into every build of the libraries, so it is the platform's choice.
    if (fourcc == VideoCodes::platformChoice)
        fourcc = VideoCodes::mjpg;
    if (!(std::isfinite(fps) && fps > 0) || frameSize.empty()) {
        qDebug("Video settings not valid");
        return false;
    }
    const bool isH264 = VideoCodes::isH264(fourcc);
    if (!isH264 && fourcc != VideoCodes::mjpg) {
        qDebug("Video codec not supported");
        return false;
    }
    const Codec codec = codecOf(fourcc);
    openedFourcc = fourcc;
    openedFps = fps;
    fitted = false;
    // Colour until the first frame tells otherwise: the settings that keep up in either case.
    if (isH264 && !fixedSettings)
        settings = choose(frameSize, false, false).settings;
    // The file is created only once the encoder accepted the settings, so a codec that is
    // tried and refused leaves no file behind.
    opened = openEncoder(codec, fps, frameSize) && openFile(fileName, unsigned(fourcc));
    if (!opened) {
        close();
        return false;
    }
    encoding = describe();
    if (speeds) {
        speeds->recordingOpened();
        recordingTold = true;
    }
    if (isH264 && hasOddSide(frameSize))
        qDebug("Video frame size %dx%d has an odd side: H.264 in 4:4:4 at that size",
               frameSize.width, frameSize.height);
    failure = OpenFailure::None;
    lastFlush = clock();
    return true;
}

double FfmpegVideoSink::cameraRate() const
{
    return cameraFps > 0 ? cameraFps : openedFps;
}

VideoSink::Description FfmpegVideoSink::describe() const
{
    const Codec codec = codecOf(openedFourcc);
    Description description{QString::fromLatin1(codec.encoderName), fourccText(openedFourcc), {}};
    if (codec.isH264) {
        description.settings = {
            {QStringLiteral("preset"), QString::fromStdString(settings.preset)},
            {QStringLiteral("tune"), QString::fromStdString(settings.tune)},
            {QStringLiteral("crf"), settings.crf},
            {QStringLiteral("threads"), settings.threads},
            {QStringLiteral("chroma"), QString::fromLatin1(chromaText(encoder->pix_fmt))}};
        if (!measuredSpeeds.isEmpty())
            description.settings.insert(QStringLiteral("measuredFps"),
                                        EncoderSpeeds::toVariant(measuredSpeeds));
    } else {
        description.settings = {{QStringLiteral("quantiser"), mjpegQuantiser}};
    }
    return description;
}

VideoSink::Description FfmpegVideoSink::description() const
{
    return encoding;
}

bool FfmpegVideoSink::openEncoder(const Codec &codec, double fps, cv::Size frameSize)
{
    const AVCodec *found = avcodec_find_encoder_by_name(codec.encoderName);
    if (!found) {
        qDebug("Video encoder not found");
        return false;
    }
    const AVRational rate = av_d2q(fps, 1001000);
    encoder.reset(avcodec_alloc_context3(found));
    picture.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!encoder || !picture || !packet) {
        qDebug("Video encoder open failed");
        return false;
    }
    encoder->width = frameSize.width;
    encoder->height = frameSize.height;
    encoder->pix_fmt = pictureFormatOf(codec.isH264, frameSize);
    encoder->color_range = codec.range;
    encoder->time_base = av_inv_q(rate);
    encoder->framerate = rate;
    AVDictionary *options = nullptr;
    if (codec.isH264) {
        encoder->thread_count = settings.threads;
        av_dict_set(&options, "preset", settings.preset.c_str(), 0);
        av_dict_set(&options, "tune", settings.tune.c_str(), 0);
        av_dict_set_int(&options, "crf", settings.crf, 0);
    } else {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * mjpegQuantiser;
    }
    const int result = avcodec_open2(encoder.get(), found, &options);
    av_dict_free(&options);
    picture->format = encoder->pix_fmt;
    picture->width = encoder->width;
    picture->height = encoder->height;
    picture->color_range = codec.range;
    if (result < 0 || av_frame_get_buffer(picture.get(), 0) < 0) {
        qDebug("Video encoder open failed");
        return false;
    }
    converter.reset(encoder.get());
    return true;
}

bool FfmpegVideoSink::openFile(const std::string &fileName, unsigned int fourcc)
{
    AVFormatContext *format = nullptr;
    avformat_alloc_output_context2(&format, nullptr, "avi", nullptr);
    file.reset(format);
    stream = format ? avformat_new_stream(format, nullptr) : nullptr;
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0) {
        qDebug("Video stream setup failed");
        return false;
    }
    stream->codecpar->codec_tag = fourcc;
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    // The protocol prefix keeps a colon in a file name from being read as a protocol name.
    const int created = avio_open(&format->pb, ("file:" + fileName).c_str(), AVIO_FLAG_WRITE);
    if (created < 0) {
        failure = OpenFailure::File;
        qDebug("Video file create failed: %s", errorText(created).c_str());
        return false;
    }
    if (avformat_write_header(format, nullptr) < 0) {
        qDebug("Video header write failed");
        return false;
    }
    return true;
}

bool FfmpegVideoSink::isOpened() const
{
    return opened;
}

VideoSink::OpenFailure FfmpegVideoSink::openFailure() const
{
    return failure;
}

int FfmpegVideoSink::framesInFile() const
{
    return framesFlushed;
}

bool FfmpegVideoSink::write(const cv::Mat &frame)
{
    if (!opened)
        return false;
    bool written = fitToFirstFrame(frame) && convert(frame) && encode(picture.get());
    if (clock() - lastFlush >= flushInterval)
        written = flush() && written;
    complete = complete && written;
    return written;
}

// Whether the camera is grey shows with its first frame. Grey frames encode faster, so the
// encoder may be opened again, before it has seen a frame, with settings that compress better.
bool FfmpegVideoSink::fitToFirstFrame(const cv::Mat &frame)
{
    if (fitted || !codecOf(openedFourcc).isH264)
        return true;
    fitted = true;
    if (fixedSettings)
        return true;
    const cv::Size frameSize(encoder->width, encoder->height);
    const EncoderChoice choice = choose(frameSize, frame.type() == CV_8UC1, true);
    qDebug("Video encoding: %s", qPrintable(choice.reason));
    measuredSpeeds = choice.measured;
    if (choice.settings.preset == settings.preset && choice.settings.threads == settings.threads) {
        encoding = describe();
        return true;
    }
    settings = choice.settings;
    if (!openEncoder(codecOf(openedFourcc), openedFps, frameSize))
        return false;
    encoding = describe();
    return true;
}

bool FfmpegVideoSink::convert(const cv::Mat &frame)
{
    if (frame.cols != encoder->width || frame.rows != encoder->height) {
        qDebug("Video frame size mismatch");
        return false;
    }
    // The encoder may still hold the previous picture; it then gets a buffer of its own.
    if (av_frame_make_writable(picture.get()) < 0) {
        qDebug("Video encoding failed");
        return false;
    }
    if (!converter.fill(frame, picture.get()))
        return false;
    // Only frames that reach the encoder are numbered: the count of frames in the file relies
    // on numbers without a gap.
    picture->pts = nextPts++;
    return true;
}

// Sends one picture to the encoder (nullptr: the end, which flushes the delayed ones) and
// writes every packet that is ready.
bool FfmpegVideoSink::encode(const AVFrame *input)
{
    if (avcodec_send_frame(encoder.get(), input) < 0) {
        qDebug("Video encoding failed");
        return false;
    }
    int result = 0;
    bool written = true;
    while ((result = avcodec_receive_packet(encoder.get(), packet.get())) >= 0) {
        const long long frameIndex = packet->pts;
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const bool muxed = av_write_frame(file.get(), packet.get()) >= 0;
        if (muxed)
            muxedFrames.note(frameIndex);
        written = muxed && written;
        av_packet_unref(packet.get());
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        qDebug("Video encoding failed");
        return false;
    }
    return !fileFailed(!written, "Video file write failed");
}

// Until now the packets sit in the output buffer, which holds many seconds of a quiet scene:
// a process that ends without release() would leave none of them. Once handed to the system
// they survive the process. The AVI muxer writes each packet as a complete chunk, so the file
// ends on whole frames after every flush.
bool FfmpegVideoSink::flush()
{
    lastFlush = clock();
    avio_flush(file->pb);
    if (fileFailed(file->pb->error < 0, "Video file write failed"))
        return false;
    framesFlushed = muxedFrames.count();
    return true;
}

// Reports the first write that the file refused; those that fail after it, the index and the
// close among them, fail because of it.
bool FfmpegVideoSink::fileFailed(bool failed, const char *message)
{
    if (failed && !writeErrorSeen)
        qDebug("%s", message);
    writeErrorSeen = writeErrorSeen || failed;
    return failed;
}

bool FfmpegVideoSink::release()
{
    if (!opened)
        return true;
    // The frames still inside the encoder, then all of them into the file before the index:
    // should the volume have no room for the index, the frames are there all the same.
    const bool drained = encode(nullptr);
    const bool flushed = flush();
    const bool indexed =
        !fileFailed(av_write_trailer(file.get()) < 0, "Video trailer write failed");
    const bool closed = !fileFailed(avio_closep(&file->pb) < 0, "Video file close failed");
    const bool completed = drained && flushed && indexed && closed && complete;
    close();
    return completed;
}

void FfmpegVideoSink::close()
{
    if (recordingTold)
        speeds->recordingClosed();
    recordingTold = false;
    measuredSpeeds.clear();
    converter.reset(nullptr);
    packet.reset();
    picture.reset();
    stream = nullptr;
    file.reset();
    encoder.reset();
    nextPts = 0;
    opened = false;
    complete = true;
    writeErrorSeen = false;
}
