#include "capture/FramePattern.h"

#include <opencv2/core.hpp>

#include <array>

namespace {

// 16 px blocks outlast the 8x8 and 16x16 transform blocks of the usual codecs.
constexpr int blockSize = 16;
constexpr int columns = 16;
constexpr int rows = 7;
// Index (4 bytes), delivery time (6 bytes), the eye's closed thousandths (2 bytes) and the
// checksum (2 bytes) fill the 112 blocks.
constexpr int payloadBytes = 12;
// The closed thousandths of a frame without an eye.
constexpr std::uint16_t noEye = 0xffff;
constexpr int totalBytes = payloadBytes + 2;
static_assert(totalBytes * 8 == columns * rows, "every block carries one bit");

using Bytes = std::array<std::uint8_t, totalBytes>;

// CRC-16/CCITT: an all-black or all-white corner, a mirrored or a shifted pattern fails it.
std::uint16_t checksum(const Bytes &bytes)
{
    std::uint16_t crc = 0xffff;
    for (int i = 0; i < payloadBytes; ++i) {
        crc ^= std::uint16_t(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

void putBigEndian(Bytes &bytes, int offset, int count, std::uint64_t value)
{
    for (int i = count - 1; i >= 0; --i, value >>= 8)
        bytes[offset + i] = std::uint8_t(value & 0xff);
}

std::uint64_t getBigEndian(const Bytes &bytes, int offset, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[offset + i];
    return value;
}

cv::Rect blockOf(int bit)
{
    return {(bit % columns) * blockSize, (bit / columns) * blockSize, blockSize, blockSize};
}

// The block's middle only: its edges blur into the neighbours under compression.
cv::Rect coreOf(int bit)
{
    const cv::Rect block = blockOf(bit);
    return {block.x + blockSize / 4, block.y + blockSize / 4, blockSize / 2, blockSize / 2};
}

bool isBright(const cv::Mat &area)
{
    const cv::Scalar mean = cv::mean(area);
    double sum = 0;
    for (int channel = 0; channel < area.channels(); ++channel)
        sum += mean[channel];
    return sum / area.channels() > 127.5;
}

} // namespace

cv::Size FramePattern::area()
{
    return {columns * blockSize, rows * blockSize};
}

void FramePattern::draw(cv::Mat &frame, const Stamp &stamp)
{
    Bytes bytes{};
    putBigEndian(bytes, 0, 4, stamp.index);
    putBigEndian(bytes, 4, 6, std::uint64_t(stamp.deliveryMicroseconds));
    putBigEndian(bytes, 10, 2, stamp.closedThousandths.value_or(noEye));
    putBigEndian(bytes, payloadBytes, 2, checksum(bytes));
    for (int bit = 0; bit < columns * rows; ++bit) {
        const bool set = (bytes[bit / 8] >> (7 - bit % 8)) & 1;
        frame(blockOf(bit)).setTo(cv::Scalar::all(set ? 255 : 0));
    }
}

std::optional<FramePattern::Stamp> FramePattern::read(const cv::Mat &frame)
{
    if (frame.depth() != CV_8U || frame.cols < area().width || frame.rows < area().height)
        return std::nullopt;
    Bytes bytes{};
    for (int bit = 0; bit < columns * rows; ++bit) {
        if (isBright(frame(coreOf(bit))))
            bytes[bit / 8] |= std::uint8_t(1 << (7 - bit % 8));
    }
    if (getBigEndian(bytes, payloadBytes, 2) != checksum(bytes))
        return std::nullopt;
    Stamp stamp;
    stamp.index = std::uint32_t(getBigEndian(bytes, 0, 4));
    stamp.deliveryMicroseconds = std::int64_t(getBigEndian(bytes, 4, 6));
    const auto closed = std::uint16_t(getBigEndian(bytes, 10, 2));
    if (closed != noEye)
        stamp.closedThousandths = closed;
    return stamp;
}
