#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>

// A frame's own index and time, written into its top-left corner as big black and white
// blocks with a checksum, so that both survive lossy video compression and can be read back
// from the recorded file.
class FramePattern
{
public:
    struct Stamp
    {
        std::uint32_t index = 0;
        // When the source delivered the frame from its sensor, its capture time: microseconds
        // since the source opened; 48 bits are kept.
        std::int64_t deliveryMicroseconds = 0;
        // How far the test camera's eye was closed, in thousandths of its height (0 to 1000);
        // nothing in frames without an eye.
        std::optional<std::uint16_t> closedThousandths = std::nullopt;

        bool operator==(const Stamp &other) const
        {
            return index == other.index && deliveryMicroseconds == other.deliveryMicroseconds &&
                   closedThousandths == other.closedThousandths;
        }
    };

    // The corner that the pattern covers; frames must be at least this large.
    static cv::Size area();
    // Draws stamp into an 8-bit frame with one or three channels.
    static void draw(cv::Mat &frame, const Stamp &stamp);
    // The stamp in frame, or nothing when its corner holds no intact pattern.
    static std::optional<Stamp> read(const cv::Mat &frame);
};
