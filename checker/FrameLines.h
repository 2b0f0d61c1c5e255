#pragma once

#include "runrecord/FrameLine.h"

#include <QString>
#include <QVector>

// A recording's text file: one line "<index> <milliseconds>" per frame of the video.
struct FrameLines
{
    bool opened = false;
    // Every line in the file, whatever its form.
    int count = 0;
    // The lines of the right form, in file order.
    QVector<FrameLine> lines;
    // Line numbers, from 1, of the lines that are not of that form.
    QVector<int> malformed;

    QVector<qint64> times() const;
    // Lines end in LF, or CR LF as written on Windows; a last line without its end counts as
    // malformed, as a recording cut off in the middle of a line leaves it.
    static FrameLines read(const QString &fileName);
};
