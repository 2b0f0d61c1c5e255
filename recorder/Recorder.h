#pragma once

#include "IplImagePointer.h"
#include "PreviewFrame.h"
#include "WriterQueue.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStorageInfo>
#include <QString>

#include <atomic>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

class FrameSource;
class VideoSink;

// Records one camera into a video file and a per-frame text file at a time. Lives in the
// worker thread; every slot runs there. The capture loop only reads, stamps and hands frames
// on: encoding runs in a writer thread behind a bounded queue.
class Recorder : public QObject
{
    Q_OBJECT
public:
    using SourceFactory = std::function<std::unique_ptr<FrameSource>(int camID)>;
    using SinkFactory = std::function<std::unique_ptr<VideoSink>()>;
    // Milliseconds on the recording clock.
    using Clock = std::function<qint64()>;
    // The calendar time that names a recording's files.
    using Now = std::function<std::time_t()>;

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    // These replace the defaults (camera device index, the video library's writer, a
    // monotonic clock started with each recording, the system time). Call them before the
    // recorder's thread runs.
    void setSourceFactory(SourceFactory factory);
    void setSinkFactory(SinkFactory factory);
    void setClock(Clock readClock);
    void setNow(Now readNow);
    // A recording ends as failed once its volume has less free space than this.
    void setMinimumFreeSpace(qint64 bytes);

signals:
    void frameAvailable(IplImage *image);
    void timeChanged(QString time);
    void recorded(bool successful);
    void finished();

public slots:
    void setFolderAddress(QString newAddress);
    void record(int camID);
    void stop();
    void quit();

private slots:
    void loop();

private:
    void makeFileNames();
    bool openOutputs(int camID);
    bool openVideoWriter(cv::Size frameSize);
    void postIteration();
    void takeFrame(const cv::Mat &frame, qint64 arrival);
    void lendPreview(const cv::Mat &frame);
    bool showElapsedTime();
    bool outputsFailed(bool newSecond);
    void endRecording(bool successful);
    bool closeOutputs();

    std::string folderAddress;
    std::string videoFileName;
    std::string textFileName;
    std::unique_ptr<FrameSource> capture;
    WriterQueue writer{this};
    int frameCount = 0;
    QElapsedTimer recordTime;
    // Whole seconds of the last elapsed-time text sent; -1 sends 00:00 with the first frame.
    int lastSeconds = -1;
    std::atomic<bool> stopFlag{true};
    std::atomic<bool> finishFlag{false};
    std::ofstream textFile;

    // An iteration is pending: the recording runs or is ending.
    bool recording = false;
    int lostFrames = 0;
    // record requests that came while a recording ran, served once it has ended.
    std::deque<int> deferredRecords;
    PreviewFrame::Counter previewsLent = std::make_shared<std::atomic<int>>(0);
    QStorageInfo volume;
    qint64 minimumFreeSpace;

    SourceFactory openSource;
    SinkFactory makeSink;
    Clock clock;
    Now now;
};
