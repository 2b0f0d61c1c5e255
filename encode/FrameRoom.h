#pragma once

#include <QSemaphore>

#include <opencv2/core/mat.hpp>

// Room for frames that wait in a queue, bounded twice: in frames, and in the bytes their
// pixels take. A frame takes its room when queued and gives it back once handled; a single
// frame larger than the byte budget counts as the whole budget, so that it may still wait,
// alone. Safe to use from any thread.
class FrameRoom
{
public:
    // Makes room for frames frames of at most bytes bytes together; call it while no frame
    // holds room.
    void resize(int frames, qint64 bytes);
    // Takes a frame's room; false, and nothing taken, when there is not enough.
    bool tryTake(const cv::Mat &frame);
    // Takes a frame's room, waiting for it first.
    void take(const cv::Mat &frame);
    void giveBack(const cv::Mat &frame);
    // The bytes taken, to the kibibyte.
    qint64 bytesTaken() const;

private:
    // Bytes are counted in kibibytes, so that a budget of gigabytes fits a semaphore.
    int kibibytesOf(const cv::Mat &frame) const;

    QSemaphore frameRoom;
    QSemaphore byteRoom;
    int budgetKibibytes = 1;
};
