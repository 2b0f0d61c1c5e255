#pragma once

#include "encode/FrameRoom.h"
#include "encode/SpillFile.h"

#include <QMutex>
#include <QObject>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>
#include <optional>

// Where frames go when the writer's queue is full: into a spill file, written by a thread of
// its own behind a small bounded queue, so that the capture never waits for the disk. Each
// frame carries its place among the recording's frames, so that the writer can take the spilled
// frames back in their turn among the queued ones. A frame that finds the small queue full, or
// that cannot be written, is lost; after a failed write every later frame is refused, so that
// the frames lost are the last ones given.
class FrameSpill : public QObject
{
    Q_OBJECT
public:
    // The small queue: a moment's frames, enough to ride out a disk's busy moment.
    static constexpr int queueFrames = 16;
    static constexpr qint64 queueBytes = 64 * 1024 * 1024;

    explicit FrameSpill(QObject *parent = nullptr);
    ~FrameSpill() override;

    // Spills the next recording's frames into fileName; an empty name spills nothing. Call it
    // between recordings, once finish() has ended the last one.
    void start(const QString &fileName);
    // Queues a frame for the spill file; false when it cannot be spilled. sequence: its place
    // among the recording's frames, rising from one frame added to the next.
    bool tryAdd(const cv::Mat &frame, int sequence);
    // Frames were added that are neither taken back nor found lost.
    bool isBusy() const;
    // The place of the oldest frame added and neither taken back nor found lost.
    std::optional<int> oldest() const;
    enum class Take { Frame, Lost, NotYet };
    // The oldest frame: read back from the spill file, or Lost when it could not be written or
    // read; NotYet while the spill thread is still writing it, unless wait, which waits for it.
    // Called by one thread only.
    Take takeOldest(cv::Mat &frame, bool wait);
    // Waits until every frame added is in the spill file or lost.
    void flush();
    // Ends the recording's spill once every frame in it was taken back: the file, of no more
    // use, is deleted. Only a process that ends before leaves it.
    void finish();

    // The recording's frames written into the spill file.
    int framesSpilled() const { return file ? file->framesAppended() : 0; }
    // Frames added that could not be written there, or read back.
    int framesLost() const { return lost + unreadable; }
    // What the spill file takes on the disk.
    qint64 bytes() const { return file ? file->bytes() : 0; }
    bool hasFailed() const { return file && file->hasFailed(); }

signals:
    // Sent in the spill thread once a frame is in the file, to be taken back.
    void frameInFile();

private:
    void write(const cv::Mat &frame);
    void dropOldest();

    std::unique_ptr<SpillFile> file;
    FrameRoom room;
    std::atomic<int> added{0};
    std::atomic<int> lost{0};
    std::atomic<int> unreadable{0};
    // Frames taken back or found lost, by the taking thread.
    int resolved = 0;
    // The places of the frames added and not yet taken back or found lost, oldest first.
    mutable QMutex placesMutex;
    std::deque<int> places;
    // Lives in the spill thread: the writes run there.
    QObject writing;
    QThread thread;
};
