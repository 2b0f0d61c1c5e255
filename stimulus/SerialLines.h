#pragma once

#include "common/MonotonicClock.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <algorithm>

// Cuts the bytes a serial port delivers into text lines, each timed by the arrival of its first
// byte. The bytes of one read arrived one after another at the port's rate, the last of them
// when the read was stamped, so an earlier byte arrived earlier by the bytes after it; but never
// before the previous read, which found none of them, nor before what notBefore() was told. A
// device faster than its rate (a USB one, a pseudo-terminal) then never has its answer timed
// before the message it answers.
class SerialLines
{
public:
    // Longer lines are cut there, with a debug line.
    static constexpr int longestLine = 256;

    struct Line
    {
        QString text; // escaped as SerialText does, without the line's end
        MonotonicClock::time_point firstByte;
    };

    // baud: the port's rate in bits per second, 10 bits a byte; 0 when the port has none.
    explicit SerialLines(qint32 baud = 0);

    // The lines that bytes, read at arrival, complete; a line's end is \n, or \r\n.
    QVector<Line> take(const QByteArray &bytes, MonotonicClock::time_point arrival);
    // Bytes read from now on arrived after time, such as a message written to the device then.
    void notBefore(MonotonicClock::time_point time) { floor = std::max(floor, time); }
    // Forgets a line begun before the port was lost.
    void clear();

private:
    void append(char byte);
    QString lineText();

    MonotonicClock::duration byteTime;
    QByteArray partial;
    bool begun = false;
    // Bytes of the current line were dropped beyond the longest line.
    bool cut = false;
    MonotonicClock::time_point firstByte;
    MonotonicClock::time_point floor;
};
