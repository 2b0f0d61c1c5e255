#pragma once

#include "encode/FrameRoom.h"
#include "encode/SpillFile.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

// Where frames go when the writer's queue is full: into a spill file, written by a thread of
// its own behind a small bounded queue, so that the capture never waits for the disk. The
// writer takes them back in order once it has caught up. A frame that finds the small queue
// full, or that cannot be written, is lost; after a failed write every later frame is refused,
// so that the frames lost are the last ones given.
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
    // Queues a frame for the spill file; false when it cannot be spilled.
    bool tryAdd(const cv::Mat &frame);
    // Frames were added that are neither taken back nor lost: a later frame must follow them
    // through the spill to keep its place.
    bool isBusy() const;
    // The oldest frame in the spill file not yet taken back; false when there is none now.
    bool takeNext(cv::Mat &frame);
    // Waits until every frame added is in the spill file or lost.
    void flush();
    // Ends the recording's spill once every frame in it was taken back: the file, of no more
    // use, is deleted. Only a process that ends before leaves it.
    void finish();

    // The recording's frames written into the spill file.
    int framesSpilled() const { return file ? file->framesAppended() : 0; }
    // Frames added that could not be written there.
    int framesLost() const { return lost; }
    // What the spill file takes on the disk.
    qint64 bytes() const { return file ? file->bytes() : 0; }
    bool hasFailed() const { return file && file->hasFailed(); }

signals:
    // Sent in the spill thread once a frame is in the file, to be taken back.
    void frameInFile();

private:
    void write(const cv::Mat &frame);

    std::unique_ptr<SpillFile> file;
    FrameRoom room;
    std::atomic<int> added{0};
    std::atomic<int> lost{0};
    // Lives in the spill thread: the writes run there.
    QObject writing;
    QThread thread;
};
