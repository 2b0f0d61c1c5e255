#pragma once

#include "runrecord/ConfirmedRows.h"

#include <QVector>

#include <string>

// A recording's text file, one line per frame of its video, written as the video confirms its
// frames (ConfirmedRows).
class LineFile
{
public:
    // Creates the file, empty; false when it cannot be created.
    bool open(const std::string &fileName);
    // A frame was queued for the writer, timed at ms on the recording clock.
    void frameQueued(qint64 ms);
    // Writes the lines of the first framesInFile frames queued that have none yet.
    void writeConfirmed(int framesInFile);
    // Writes what the completed video confirms, drops the lines of frames it lacks and closes
    // the file; false when a line could not be written or the file was never open.
    bool close(int framesInFile);

    // A line could not be written.
    bool failed() const { return rows.failed(); }
    // The lines written, and their times in file order.
    int lines() const { return rows.written(); }
    QVector<qint64> times() const { return queuedTimes.mid(0, lines()); }

private:
    ConfirmedRows rows;
    // The times of every frame queued, written or waiting, in file order.
    QVector<qint64> queuedTimes;
};
