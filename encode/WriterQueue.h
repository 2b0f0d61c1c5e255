#pragma once

#include "common/FrameMemory.h"
#include "encode/FrameRoom.h"
#include "encode/FrameWriter.h"

#include <QObject>
#include <QThread>

// A bounded queue of frames in front of a writer thread, so that a slow or stalling encoder
// never holds up the capture. Bounded twice: in frames, and in the bytes their pixels take,
// the frame in the writer's hands included. Frames travel as shared pixels, never copied.
class WriterQueue : public QObject
{
    Q_OBJECT
public:
    explicit WriterQueue(QObject *parent = nullptr);
    ~WriterQueue() override;

    // Starts writing a recording into an opened sink, with room for capacity waiting frames
    // that together take at most byteBudget bytes. A single frame larger than the budget may
    // still wait, alone.
    void start(std::unique_ptr<VideoSink> sink, int capacity,
               qint64 byteBudget = FrameMemory::writerQueueBytes());
    // Queues a frame; false, and the frame not queued, when the queue is full.
    bool tryPush(const cv::Mat &frame);
    // Queues a frame, waiting for room first.
    void push(const cv::Mat &frame);
    // The bytes of the frames queued and not yet written, to the kibibyte.
    qint64 bytesWaiting() const;
    // True once a frame could not be written.
    bool hasFailed() const;
    // How many of the recording's frames its video file holds for certain: written and
    // handed to the operating system, so that they survive even a killed process. Grows about
    // once a second while recording; once finish() has completed the file, every frame
    // written. Never more than were queued; safe to read from any thread.
    int framesInFile() const;
    // Writes every queued frame, then completes the file; false when any of it failed. Does
    // nothing, successfully, when no recording was started.
    bool finish();
    // How the file that finish() completed was encoded.
    VideoSink::Description finishedDescription() const;

signals:
    void frameQueued(const cv::Mat &frame);

private:
    FrameRoom room;
    FrameWriter worker;
    QThread thread;
};
