#include "encode/PictureConverter.h"

#include <QDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>

#include <cstring>

namespace {

AVPixelFormat sourceFormatOf(int matType)
{
    switch (matType) {
    case CV_8UC3:
        return AV_PIX_FMT_BGR24;
    case CV_8UC4:
        return AV_PIX_FMT_BGRA;
    case CV_8UC1:
        return AV_PIX_FMT_GRAY8;
    default:
        return AV_PIX_FMT_NONE;
    }
}

// The fast BGR to YUV path knows only the limited range; the full range of Motion JPEG needs
// the exact one.
SwsContext *makeScaler(AVPixelFormat source, const AVCodecContext *encoder)
{
    if (source == AV_PIX_FMT_NONE)
        return nullptr;
    const bool fullRange = encoder->color_range == AVCOL_RANGE_JPEG;
    SwsContext *scaler = sws_getContext(
        encoder->width, encoder->height, source, encoder->width, encoder->height, encoder->pix_fmt,
        SWS_BICUBIC | (fullRange ? SWS_ACCURATE_RND : 0), nullptr, nullptr, nullptr);
    const int *coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    if (scaler && fullRange &&
        sws_setColorspaceDetails(scaler, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16) <
            0) {
        sws_freeContext(scaler);
        return nullptr;
    }
    return scaler;
}

} // namespace

void PictureConverter::reset(const AVCodecContext *newEncoder)
{
    encoder = newEncoder;
    scaler.reset();
    scalerSourceType = -1;
    if (!encoder)
        return;
    for (int level = 0; level < int(lumaOfGray.size()); ++level)
        lumaOfGray[std::size_t(level)] = encoder->color_range == AVCOL_RANGE_JPEG
                                             ? uint8_t(level)
                                             : uint8_t(16 + (level * 219 + 127) / 255);
}

bool PictureConverter::fill(const cv::Mat &frame, AVFrame *picture)
{
    if (frame.type() != CV_8UC1)
        return fillColour(frame, picture);
    fillGray(frame, picture);
    return true;
}

bool PictureConverter::fillColour(const cv::Mat &frame, AVFrame *picture)
{
    if (frame.type() != scalerSourceType) {
        scaler.reset(makeScaler(sourceFormatOf(frame.type()), encoder));
        scalerSourceType = scaler ? frame.type() : -1;
        if (!scaler) {
            qDebug("Video frame format not supported");
            return false;
        }
    }
    const uint8_t *const planes[] = {frame.data};
    const int strides[] = {int(frame.step[0])};
    sws_scale(scaler.get(), planes, strides, 0, frame.rows, picture->data, picture->linesize);
    return true;
}

// Grey is luma alone: one pass over the pixels into the stored levels, and chroma without
// colour.
void PictureConverter::fillGray(const cv::Mat &frame, AVFrame *picture) const
{
    cv::Mat luma(frame.rows, frame.cols, CV_8UC1, picture->data[0],
                 std::size_t(picture->linesize[0]));
    cv::LUT(frame,
            cv::Mat(1, int(lumaOfGray.size()), CV_8UC1, const_cast<uint8_t *>(lumaOfGray.data())),
            luma);
    const int chromaRows =
        picture->format == AV_PIX_FMT_YUV444P ? frame.rows : (frame.rows + 1) / 2;
    constexpr int noColour = 128;
    for (int plane = 1; plane <= 2; ++plane)
        std::memset(picture->data[plane], noColour,
                    std::size_t(picture->linesize[plane]) * std::size_t(chromaRows));
}
