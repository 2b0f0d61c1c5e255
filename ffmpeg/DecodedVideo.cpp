#include "ffmpeg/DecodedVideo.h"

#include "ffmpeg/FfmpegDeleter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>

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

class Decoder
{
public:
    Decoder(AVCodecContext *context, AVFrame *frame, DecodedVideo &video)
        : context(context), frame(frame), video(video)
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
                ++video.frames;
            av_frame_unref(frame);
        }
    }

private:
    AVCodecContext *context;
    AVFrame *frame;
    DecodedVideo &video;
};

} // namespace

DecodedVideo DecodedVideo::of(const QString &fileName)
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
    Decoder decoder(context.get(), frame.get(), video);
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
