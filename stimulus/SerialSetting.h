#pragma once

#include <QString>

#include <optional>

// The serial port given as DEVICE[:BAUD], such as "/dev/ttyACM0:115200" or "COM3".
struct SerialSetting
{
    static constexpr qint32 defaultBaud = 115200;

    QString device;
    qint32 baud = defaultBaud;

    // Nothing, and why in one line, for a text that names no device or a rate that is not a
    // whole number of bits per second.
    static std::optional<SerialSetting> fromOption(const QString &text, QString *why = nullptr);
};
