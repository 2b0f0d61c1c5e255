#pragma once

#include "common/FrameMemory.h"
#include "encode/FrameRoom.h"
#include "encode/FrameSpill.h"
#include "encode/FrameWriter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

// A bounded queue of frames in front of a writer thread, so that a slow or stalling encoder
// never holds up the capture. Bounded twice: in frames, and in the bytes their pixels take,
// the frame in the writer's hands included. Frames travel as shared pixels, never copied.
// Given a spill file, frames that find the queue full go there instead (FrameSpill), while the
// frames after them go to the queue again as soon as it has room: the writer takes each spilled
// frame back in its turn, so the video gets the frames in the order they were pushed and the
// disk takes only what memory cannot. What is still spilled when the recording ends is encoded
// by finish(), which tells its progress meanwhile.
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
    // Spills the frames of the recordings started next into fileName, when the queue is full;
    // an empty name (the default) spills nothing.
    void setSpillFile(const QString &fileName) { spillFileName = fileName; }
    // Queues or spills a frame; false, and the frame lost, when neither had room.
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
    // Frames that tryPush() took but that could not be spilled after all, and the queued
    // frames after them: always the last ones taken.
    int framesLost() const { return spill.framesLost() + framesDropped; }
    // True once a spilled frame could not be written or read back: every later frame is
    // refused.
    bool spillFailed() const { return spill.hasFailed() || spillLost; }
    // The recording's frames that went through the spill file, and the bytes it takes.
    int framesSpilled() const { return spill.framesSpilled(); }
    qint64 spillBytes() const { return spill.bytes(); }
    // Writes every queued and spilled frame, then completes the file; false when any of it
    // failed. Does nothing, successfully, when no recording was started. Spilled frames still
    // to be encoded make it "saving", told by saving(); the spill file is deleted once they
    // are.
    bool finish();
    // How long the last finish() encoded spilled frames, in milliseconds; 0 when none were left.
    qint64 savingMs() const { return lastSavingMs; }
    // How the file that finish() completed was encoded.
    VideoSink::Description finishedDescription() const;

signals:
    // sequence: the frame's place among the recording's frames taken.
    void frameQueued(const cv::Mat &frame, int sequence);
    // While finish() encodes spilled frames: the percentage of the recording's frames encoded,
    // at most four times a second. Sent first in finish()'s thread, then in the writer thread.
    void saving(int percent);

private:
    // In the writer thread.
    void writeQueued(const cv::Mat &frame, int sequence);
    void takeBackSpilled();
    void encodeSpilledBefore(int sequence);
    bool encodeOldestSpilled(bool wait);
    void tellSaving();

    FrameRoom room;
    FrameSpill spill;
    QString spillFileName;
    // The frames taken by tryPush() or push(), and those the writer has handled.
    std::atomic<int> framesTaken{0};
    std::atomic<int> framesHandled{0};
    // Set by the writer once a spilled frame was lost: it drops every later frame.
    std::atomic<bool> spillLost{false};
    std::atomic<int> framesDropped{0};
    std::atomic<bool> savingNow{false};
    QElapsedTimer sinceSavingTold;
    qint64 lastSavingMs = 0;
    FrameWriter worker;
    QThread thread;
};
