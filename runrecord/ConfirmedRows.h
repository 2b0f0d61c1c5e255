#pragma once

#include <deque>
#include <fstream>
#include <string>

// A file of one row per frame of a recording's video, such as its text file and its eyelid
// table. A frame's row waits until the writer tells that the frame is in the video file, so
// that the file never tells of a frame that the video does not hold; rows are queued in the
// order their frames were queued for the writer, so the first waiting rows are those
// confirmed. Every batch written is flushed, so that a kill leaves what was confirmed.
class ConfirmedRows
{
public:
    // Creates the file with header as its first text (may be empty); false when it cannot be
    // created.
    bool open(const std::string &fileName, const std::string &header = {});
    // The row of the next frame queued, with its line end.
    void queue(std::string row);
    // Writes the rows of the first framesInFile frames queued that have none yet, as far as
    // they are queued.
    void writeConfirmed(int framesInFile);
    // Writes what the completed video confirms, drops the rows of frames it lacks and closes
    // the file; false when a row could not be written or the file was never open.
    bool close(int framesInFile);

    bool isOpen() const { return file.is_open(); }
    // A row could not be written.
    bool failed() const { return !file; }
    int written() const { return rowsWritten; }
    // Rows queued so far, written or waiting: the index of the next frame's row.
    int queued() const { return rowsWritten + int(waiting.size()); }

private:
    std::ofstream file;
    std::deque<std::string> waiting;
    int rowsWritten = 0;
};
