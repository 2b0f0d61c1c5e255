#pragma once

#include <QByteArray>

#include <optional>
#include <string>

// One line of a recording's text file: a frame's index in the video and its time in
// milliseconds on the recording clock, "<index> <milliseconds>", both whole decimal numbers
// without leading zeros. The recorder writes the lines and every reader parses them here.
struct FrameLine
{
    qint64 index = 0;
    qint64 ms = 0;

    // The line as written, with its line end.
    std::string text() const;
    // A line without its LF (a CR before it, as written on Windows, is allowed); nothing when it
    // is not of the form.
    static std::optional<FrameLine> parse(const QByteArray &line);

    bool operator==(const FrameLine &other) const { return index == other.index && ms == other.ms; }
};
