#pragma once

#include <QString>

// The recording's elapsed time as the window shows it while recording.
class ElapsedText
{
public:
    // "MM:SS" with minutes not wrapped at 60, each part at least two digits.
    static QString of(qint64 milliseconds);
};
