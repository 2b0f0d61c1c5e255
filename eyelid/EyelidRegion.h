#pragma once

#include <QString>

#include <opencv2/core/types.hpp>

#include <optional>

// Where the eye lies in the camera's frame: the ellipse that fills box, in the frame's pixels.
// The lid is measured on the pixels whose centres lie inside that ellipse.
struct EyelidRegion
{
    // The part of a region that lies in a frame of a given size.
    struct Clipped
    {
        // The pixels of box inside the frame; empty when the region was refused.
        cv::Rect inside;
        bool partlyOutside = false;
        // Why the region was refused or, when it lies partly outside, a line saying so.
        QString reason;

        bool usable() const { return !inside.empty(); }
    };

    cv::Rect box;

    // "X,Y,W,H" in whole pixels, blanks around each number allowed. X and Y may be negative,
    // for an eye at the frame's top or left edge, as a region may reach past the other two;
    // W and H must be 1 or more. Nothing, with the reason, for another text.
    static std::optional<EyelidRegion> parse(const QString &text, QString &reason);
    QString text() const;
    // Refuses a region that is empty or has no pixel in the frame; one that reaches beyond
    // the frame is kept, clipped to it.
    Clipped clippedTo(cv::Size frameSize) const;

    bool operator==(const EyelidRegion &other) const { return box == other.box; }
};
