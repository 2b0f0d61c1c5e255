#pragma once

#include <QString>

#include <optional>

// A camera's frame size, rate and, optionally, pixel format, as asked for on the command line
// ("1280x720@60", "1280x720@60:MJPG") or as the camera reports it.
struct CameraMode
{
    int width = 0;
    int height = 0;
    double fps = 0;
    // A FOURCC such as "MJPG" or "YUYV"; empty: the camera's own choice.
    QString fourcc;

    // The mode a text asks for, or nothing when it is not "WxH@FPS" or "WxH@FPS:FOURCC".
    static std::optional<CameraMode> parse(const QString &text);
    // The option's value: nothing when it is empty, or, with a debug line, when it is not a
    // mode.
    static std::optional<CameraMode> fromOption(const QString &text);
    // True when given is what this mode asked for; rates may differ by the rounding of a
    // frame interval.
    bool grantedBy(const CameraMode &given) const;
    QString text() const;

    // The FOURCC as the video library's code, and back.
    static int fourccCode(const QString &fourcc);
    static QString fourccText(int code);
};
