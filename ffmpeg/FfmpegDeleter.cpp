#include "ffmpeg/FfmpegDeleter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

void FfmpegDeleter::operator()(AVCodecContext *context) const
{
    avcodec_free_context(&context);
}

void FfmpegDeleter::operator()(AVFormatContext *format) const
{
    avio_closep(&format->pb);
    avformat_free_context(format);
}

void FfmpegDeleter::operator()(AVFrame *frame) const
{
    av_frame_free(&frame);
}

void FfmpegDeleter::operator()(AVPacket *packet) const
{
    av_packet_free(&packet);
}

void FfmpegDeleter::operator()(SwsContext *scaler) const
{
    sws_freeContext(scaler);
}
