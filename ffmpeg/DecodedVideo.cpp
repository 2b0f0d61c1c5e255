#include "ffmpeg/DecodedVideo.h"

#include "ffmpeg/FfmpegDeleter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <vector>

namespace {

struct InputDeleter
{
    void operator()(AVFormatContext *input) const { avformat_close_input(&input); }
};

template <class T> using Owned = std::unique_ptr<T, FfmpegDeleter>;

QString fourccText(unsigned int tag)
{
    QString text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char character = char((tag >> shift) & 0xff);
        text += character >= 0x20 && character < 0x7f ? QLatin1Char(character) : QLatin1Char('?');
    }
    return text;
}

bool isDamaged(const AVFrame *frame)
{
    return (frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags != 0;
}

// Turns decoded pictures into full-range grey, the levels the camera's frames had: a grey
// frame encoded in limited-range YUV reads back with its levels restored.
class GreyConverter
{
public:
    DecodedVideo::GreyFrame convert(const AVFrame *frame, int index)
    {
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                          AVPixelFormat(frame->format), frame->width, frame->height,
                                          AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr));
        if (!scaler)
            return {};
        const int *coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        const int fullRange = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
        sws_setColorspaceDetails(scaler.get(), coefficients, fullRange, coefficients, 1, 0, 1 << 16,
                                 1 << 16);
        const int stride = (frame->width + 31) & ~31;
        grey.resize(std::size_t(stride) * std::size_t(frame->height));
        std::uint8_t *const planes[] = {grey.data(), nullptr, nullptr, nullptr};
        const int strides[] = {stride, 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
        return {index, frame->width, frame->height, stride, grey.data()};
    }

private:
    std::unique_ptr<SwsContext, FfmpegDeleter> scaler;
    std::vector<std::uint8_t> grey;
};

class Decoder
{
public:
    Decoder(AVCodecContext *context, AVFrame *frame, DecodedVideo &video,
            const DecodedVideo::GreyFrameVisitor &visit)
        : context(context), frame(frame), video(video), visit(visit)
    {
    }

    // nullptr: the end of the stream, which returns the frames the decoder still holds.
    void decode(const AVPacket *packet)
    {
        if (packet)
            ++video.packets;
        if (avcodec_send_packet(context, packet) < 0) {
            ++video.refusedPackets;
            return;
        }
        while (avcodec_receive_frame(context, frame) >= 0) {
            if (isDamaged(frame))
                ++video.damagedFrames;
            else
                show(video.frames++);
            av_frame_unref(frame);
        }
    }

private:
    void show(int index)
    {
        if (!visit)
            return;
        const DecodedVideo::GreyFrame grey = converter.convert(frame, index);
        if (grey.pixels)
            visit(grey);
    }

    AVCodecContext *context;
    AVFrame *frame;
    DecodedVideo &video;
    const DecodedVideo::GreyFrameVisitor &visit;
    GreyConverter converter;
};

} // namespace

DecodedVideo DecodedVideo::of(const QString &fileName, const GreyFrameVisitor &visit)
{
    DecodedVideo video;
    av_log_set_level(AV_LOG_QUIET); // the verdict says what is wrong
    AVFormatContext *opened = nullptr;
    // The protocol prefix keeps a colon in a file name from being read as a protocol name.
    if (avformat_open_input(&opened, ("file:" + fileName.toStdString()).c_str(), nullptr, nullptr) <
        0) {
        video.problem = QStringLiteral("video does not open");
        return video;
    }
    const std::unique_ptr<AVFormatContext, InputDeleter> input(opened);
    const AVCodec *codec = nullptr;
    const int index = avformat_find_stream_info(input.get(), nullptr) < 0
                          ? -1
                          : av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    const Owned<AVCodecContext> context(codec ? avcodec_alloc_context3(codec) : nullptr);
    const AVStream *stream = index >= 0 ? input->streams[index] : nullptr;
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0 ||
        avcodec_open2(context.get(), codec, nullptr) < 0) {
        video.problem = QStringLiteral("video has no stream that decodes");
        return video;
    }
    video.opened = true;
    video.declaredFrames = stream->nb_frames;
    video.declaredFps = stream->avg_frame_rate.den ? av_q2d(stream->avg_frame_rate) : 0;
    video.frameSize = QSize(stream->codecpar->width, stream->codecpar->height);
    video.fourcc = fourccText(stream->codecpar->codec_tag);

    const Owned<AVPacket> packet(av_packet_alloc());
    const Owned<AVFrame> frame(av_frame_alloc());
    Decoder decoder(context.get(), frame.get(), video, visit);
    int read = 0;
    while ((read = av_read_frame(input.get(), packet.get())) >= 0) {
        if (packet->stream_index == index)
            decoder.decode(packet.get());
        av_packet_unref(packet.get());
    }
    if (read != AVERROR_EOF)
        video.problem = QStringLiteral("video ends in the middle of a frame");
    decoder.decode(nullptr);
    return video;
}
