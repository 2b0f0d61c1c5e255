#pragma once

#include "encode/VideoSink.h"

#include <QMetaType>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

#include <opencv2/core/mat.hpp>

// Declared before the first signal or slot that carries a frame: Qt 6 resolves the meta type
// where the meta-object code is compiled.
Q_DECLARE_METATYPE(cv::Mat)

// Encodes a recording's frames in the writer thread, one queued frame at a time, and gives
// each frame's place in the queue back once it is written. Tells any thread how many of them
// the file holds for certain.
class FrameWriter : public QObject
{
    Q_OBJECT
public:
    // Called in the writer thread with each frame once it is written, or counted off.
    using Done = std::function<void(const cv::Mat &frame)>;

    explicit FrameWriter(Done frameDone);

    // Takes over an opened sink for the next frames.
    void begin(std::unique_ptr<VideoSink> opened);
    // Completes the file; false when a write or the completion failed.
    bool finish();
    // Writes a frame that holds no place in the queue.
    void encode(const cv::Mat &frame);
    bool hasFailed() const { return failed; }
    // The recording's frames that its file holds even if the process ends now, as its sink
    // last reported them: after each write, and after the file was completed.
    int framesInFile() const { return inFile; }
    // How the last completed file was encoded: final only once its frames were seen, since the
    // sink may choose its settings with the first frame.
    VideoSink::Description finishedDescription() const { return finished; }

public slots:
    void write(const cv::Mat &frame);

private:
    Done frameDone;
    std::unique_ptr<VideoSink> sink;
    std::atomic<bool> failed{false};
    std::atomic<int> inFile{0};
    VideoSink::Description finished;
};
