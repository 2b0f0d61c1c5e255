#pragma once

#include "capture/FrameSource.h"
#include "encode/WriterQueue.h"
#include "engine/EyelidRecording.h"
#include "engine/FrameTimeline.h"
#include "engine/FreeSpace.h"
#include "engine/IplImagePointer.h"
#include "engine/LineFile.h"
#include "engine/PreviewFrame.h"
#include "engine/PreviewPace.h"
#include "engine/RecordingEnding.h"
#include "engine/RunRecordFile.h"
#include "runrecord/RunRecord.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class VideoSink;

// Records one camera into a video file and a per-frame text file at a time. Lives in the
// worker thread; every slot runs there. The capture loop only reads, stamps and hands frames
// on: the source is read in a reader thread of its own, which the loop waits for with a
// bound, and encoding runs in a writer thread behind a bounded queue. A frame gets its line in
// the text file only once the writer tells that the frame is in the video file, so that the
// text file never tells of a frame that the video does not hold. Beside the two files, a run
// record tells what the recording was: written when it starts, and again when it ends.
class Recorder : public QObject
{
    Q_OBJECT
public:
    // Called in the source's reader thread; nothing when camID names no source.
    using SourceFactory = std::function<std::unique_ptr<FrameSource>(int camID)>;
    using SinkFactory = std::function<std::unique_ptr<VideoSink>()>;
    // A reading of the monotonic clock, which the recording clock counts on.
    using Clock = std::function<MonotonicClock::time_point()>;
    // The calendar time that names a recording's files.
    using Now = std::function<std::time_t()>;

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    // The rate every video file declares, whatever the camera delivers; the text file times
    // the frames.
    static constexpr double declaredFps = 30.0;

    // These replace the defaults (no source and no video writer: the application gives its
    // camera list and its writer; MonotonicClock; the system time). Call them before the
    // recorder's thread runs.
    void setSourceFactory(SourceFactory factory);
    void setSinkFactory(SinkFactory factory);
    void setClock(Clock readClock);
    void setNow(Now readNow);
    // A recording ends as failed once its volume has less free space than it needs for the
    // next seconds (DiskMargin), and never less than this.
    void setMinimumFreeSpace(qint64 bytes);
    // The eyelid's threshold for the recordings to come; nothing: Otsu's, on each first frame.
    void setEyelidThreshold(std::optional<EyelidThreshold> threshold);

    // The recording clock's zero for the running or the last recording, as a reading of the
    // monotonic clock: a line's milliseconds count from here, and so can the times of other
    // events read on that clock (QElapsedTimer's, on Linux). Safe to call from any thread.
    MonotonicClock::time_point recordingClockStart() const;

signals:
    // At most about 64 frames a second (PreviewPace), each given back with PreviewFrame::giveBack.
    void frameAvailable(IplImage *image);
    void timeChanged(QString time);
    void recorded(bool successful);
    void finished();
    // The recording clock's zero has just been set: for what must happen as close to it as it
    // can, such as the stimulus hardware's start message.
    void recordingClockStarted();
    // The reason of the result that the next recorded() gives, in one line.
    void resultExplained(QString reason);
    // The eyelid's closure on recorded frames, at most about 60 a second, while a region is set.
    void closureMeasured(double ms, double closure);
    // The grey level that parts lid from eye, at each recording's start with a region.
    void eyelidThresholdChosen(int level);
    // After the last frame, while frames that waited on disk are encoded: the percentage of the
    // recording's frames in the video, at most a few times a second, until recorded().
    void saving(int percent);

public slots:
    void setFolderAddress(QString newAddress);
    void record(int camID);
    void stop();
    void quit();
    // An event of the run, read on the monotonic clock in milliseconds (QElapsedTimer's
    // msecsSinceReference()), for the run record of the recording it belongs to.
    void noteRunEvent(QString event, qint64 monotonicMs, QString detail);
    // Where the eye lies in the camera's frame, for the recordings that start from now on; an
    // empty box: no region, so no eyelid table.
    void setEyelidRegion(QRect box);
    // The same, read in nanoseconds, for events timed finer than the window's.
    void noteRunEventNs(QString event, qint64 monotonicNs, QString detail);

private slots:
    void loop();

private:
    using Ending = RecordingEnding;

    void makeFileNames();
    std::optional<QString> openOutputs(int camID);
    QString sourceName(int camID) const;
    std::optional<QString> openVideoWriter(cv::Size frameSize);
    void postIteration();
    void takeFrame(const FrameSource::Frame &frame, MonotonicClock::time_point arrival);
    void lendPreview(const cv::Mat &frame, MonotonicClock::time_point arrival);
    std::optional<MonotonicClock::duration> showElapsedTime();
    std::optional<Ending> outputsFailed(std::optional<MonotonicClock::duration> newSecond);
    Ending requestedEnding() const;
    void endRecording(Ending ending, MonotonicClock::time_point end);
    bool closeOutputs();
    void finishRunRecord(const Ending &ending, MonotonicClock::time_point end);
    QString successText() const;

    std::string folderAddress;
    std::string videoFileName;
    std::string textFileName;
    std::unique_ptr<FrameSource> capture;
    WriterQueue writer{this};
    LineFile lineFile;
    cv::Size frameSize;
    // The recording clock: MonotonicClock's count at the start of the recording.
    std::atomic<MonotonicClock::rep> recordTime{0};
    // Whole seconds of the last elapsed-time text sent; -1 sends 00:00 with the first frame.
    int lastSeconds = -1;
    std::atomic<bool> stopFlag{true};
    std::atomic<bool> finishFlag{false};

    // An iteration is pending: the recording runs or is ending.
    bool recording = false;
    int lostFrames = 0;
    std::optional<FrameTimeline> timeline;
    // record requests that came while a recording ran, served once it has ended.
    std::deque<int> deferredRecords;
    PreviewFrame::Counter previewsLent = std::make_shared<std::atomic<int>>(0);
    PreviewPace previewPace;
    FreeSpace space;
    std::string runRecordFileName;
    std::string spillFileName;
    RunRecordFile runRecord;
    std::string eyelidTableFileName;
    EyelidRecording eyelid{this};

    SourceFactory openSource;
    SinkFactory makeSink;
    Clock clock;
    Now now;
};
