#pragma once

#include "ffmpeg/FfmpegDeleter.h"

#include <opencv2/core/mat.hpp>

#include <array>
#include <cstdint>
#include <memory>

struct AVCodecContext;
struct AVFrame;

// Fills an encoder's pictures from frames: colour frames (BGR, BGRA) through FFmpeg's scaler,
// grey frames straight into the luma plane in one pass, with constant chroma.
class PictureConverter
{
public:
    // For the pictures of encoder, in its size, format and range; nullptr forgets the encoder.
    void reset(const AVCodecContext *encoder);
    // Fills picture, of the encoder's size and format, from frame; false, with a debug line,
    // for a frame in a format it does not know.
    bool fill(const cv::Mat &frame, AVFrame *picture);

private:
    bool fillColour(const cv::Mat &frame, AVFrame *picture);
    void fillGray(const cv::Mat &frame, AVFrame *picture) const;

    const AVCodecContext *encoder = nullptr;
    // Gray levels as the luma plane stores them.
    std::array<uint8_t, 256> lumaOfGray{};
    std::unique_ptr<SwsContext, FfmpegDeleter> scaler;
    int scalerSourceType = -1;
};
