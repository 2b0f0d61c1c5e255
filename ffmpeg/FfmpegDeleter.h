#pragma once

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// Frees what FFmpeg's libraries allocated, each with its own release function, so that their
// objects can be held by std::unique_ptr.
struct FfmpegDeleter
{
    void operator()(AVCodecContext *context) const;
    void operator()(AVFormatContext *format) const;
    void operator()(AVFrame *frame) const;
    void operator()(AVPacket *packet) const;
    void operator()(SwsContext *scaler) const;
};
