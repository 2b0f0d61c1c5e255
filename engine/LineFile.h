#pragma once

#include <QVector>

#include <deque>
#include <fstream>
#include <string>

// A recording's text file, one line per frame of its video. A frame's line waits until the
// writer tells that the frame is in the video file, so that the text file never tells of a
// frame that the video does not hold; frames reach the file in the order they were queued, so
// the first waiting lines are those confirmed.
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
    bool failed() const { return !file; }
    // The lines written, and their times in file order.
    int lines() const { return int(written.size()); }
    const QVector<qint64> &times() const { return written; }

private:
    std::ofstream file;
    // The times of frames queued for the writer whose lines wait, oldest first.
    std::deque<qint64> waiting;
    QVector<qint64> written;
};
