#include "stimulus/SerialLines.h"

#include "stimulus/SerialText.h"

#include <QDebug>

SerialLines::SerialLines(qint32 baud)
    : byteTime(baud > 0 ? std::chrono::duration_cast<MonotonicClock::duration>(
                              std::chrono::nanoseconds(10'000'000'000LL / baud))
                        : MonotonicClock::duration::zero())
{
}

QVector<SerialLines::Line> SerialLines::take(const QByteArray &bytes,
                                             MonotonicClock::time_point arrival)
{
    QVector<Line> lines;
    for (int i = 0; i < bytes.size(); ++i) {
        if (!begun) {
            begun = true;
            firstByte = std::max<MonotonicClock::time_point>(
                arrival - byteTime * (bytes.size() - i), floor);
        }
        if (bytes[i] != '\n') {
            append(bytes[i]);
            continue;
        }
        lines.append({lineText(), firstByte});
        clear();
    }
    notBefore(arrival);
    return lines;
}

void SerialLines::clear()
{
    partial.clear();
    begun = false;
    cut = false;
}

void SerialLines::append(char byte)
{
    // One byte beyond the longest line, so that a \r ending a line of full length is seen.
    if (partial.size() <= longestLine)
        partial += byte;
    else
        cut = true;
}

QString SerialLines::lineText()
{
    if (partial.endsWith('\r'))
        partial.chop(1);
    if (cut || partial.size() > longestLine) {
        qDebug("Serial line longer than %d bytes cut", longestLine);
        partial.truncate(longestLine);
    }
    return SerialText::escaped(partial);
}
