#pragma once

#include "bench/PreviewDrawer.h"
#include "encode/FfmpegVideoSink.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QThread>

#include <memory>
#include <optional>

class Recorder;

// One recording through the real Recorder in its worker thread, from a camera given by its
// source text, with the preview drawn in this thread.
class BenchRecording : public QObject
{
    Q_OBJECT
public:
    enum class Sink { Ffmpeg, Cv };
    struct Result
    {
        bool successful = false;
        // From the request to record until the recorder answered.
        double seconds = 0;
        double cpuSeconds = 0;
        // The process's peak so far, taken before anything reads the files back.
        qint64 peakResidentBytes = 0;
        int previewsDrawn = 0;
        QString videoFile;
        QString textFile;
        QString runRecordFile;
    };

    // The FFmpeg sink encodes with the given settings, or chooses them for the camera, from the
    // speeds measured on this machine where they are given.
    BenchRecording(const QString &sourceText, Sink sink, const QString &folder,
                   std::optional<H264Settings> settings = std::nullopt,
                   std::shared_ptr<EncoderSpeeds> speeds = nullptr);
    ~BenchRecording() override;

    // Records for the given seconds, or until the camera runs dry when 0.
    Result record(double seconds);
    // Every frame's eyelid closure measured in the region, as with --eyelid-region.
    void measureEyelid(QRect region);

signals:
    void recordRequested(int camID);
    void stopRequested();

private:
    QString folder;
    QThread thread;
    Recorder *recorder;
    PreviewDrawer drawer;
};
