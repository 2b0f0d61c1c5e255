#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QVector>

#include <optional>
#include <utility>

// What one recording run was, kept beside its video and text file as UTF-8 JSON: where the
// frames came from, how fast they really came, how many reached the video, how the run ended,
// and the run's events on the recording clock.
struct RunRecord
{
    enum class Result { Unfinished, Successful, Failed };
    enum class EndedBy {
        NotEnded,
        Timer,
        Button,
        WindowClosed,
        Signal,
        CameraEnded,
        CameraFailed,
        WriteFailed,
        FramesLost,
        DiskLow
    };
    // Whose clock timed the frames: the camera's own, or their arrival in the program.
    enum class TimeSource { Camera, Arrival };

    struct Source
    {
        QString entry;   // the camera list's entry
        QString device;  // the device name or source text that was opened
        QString backend; // the capture backend that opened it
        bool operator==(const Source &other) const;
    };
    struct Video
    {
        QString codec;
        QString fourcc;
        QJsonObject settings; // the encoder's settings, by name
        bool operator==(const Video &other) const;
    };
    struct Event
    {
        Event() = default;
        Event(QString name, qint64 ms, QString detail = {})
            : name(std::move(name)), ms(ms), detail(std::move(detail))
        {
        }

        // The name of a line that the stimulus hardware sent, the line its detail.
        static constexpr char serialLine[] = "serial";

        QString name;
        qint64 ms = 0; // on the recording clock; negative before it started
        // What the window adds, such as who asked to stop; empty for none.
        QString detail;
        bool operator==(const Event &other) const;
    };

    // How the eyelid was measured on every frame, where a region was given.
    struct Eyelid
    {
        QString region; // "X,Y,W,H", as clipped to the frame
        // -1 until the threshold is chosen, on the first frame.
        int threshold = -1;
        QString chosenBy; // "otsu" or "given"
        QString table;    // the table's file name, without its folder
        bool operator==(const Eyelid &other) const;
    };

    QString program = QStringLiteral("eyeblink recorder");
    QString version = programVersion();
    QDateTime started;
    Source source;
    QSize frameSize;
    QString pixelFormat;
    double declaredFps = 0; // the rate the video file declares
    // The monotonic clock's reading in nanoseconds (CLOCK_MONOTONIC on Linux) at the recording
    // clock's zero, so that other programs put their own events on the frames' clock.
    qint64 recordingClockZeroNs = 0;
    double measuredFps = 0.0;
    int frames = 0;
    int lines = 0;
    int framesLost = 0;
    // Where frames wait on disk while the encoder is behind: a file beside the video, named
    // here from the start, so that a recording cut short tells where its last frames may be.
    QString spillFile;
    // The frames that waited there, and how long encoding them took after the last frame.
    int framesSpilled = 0;
    qint64 savingMs = 0;
    double largestIntervalMs = 0.0;
    TimeSource timeSource = TimeSource::Arrival;
    Video video;
    Result result = Result::Unfinished;
    EndedBy endedBy = EndedBy::NotEnded;
    QVector<Event> events;
    std::optional<Eyelid> eyelid;

    bool operator==(const RunRecord &other) const;
    bool operator!=(const RunRecord &other) const { return !(*this == other); }

    QJsonObject toJson() const;
    // Nothing, and the reason in why, when a key is missing or holds what no record writes.
    static std::optional<RunRecord> fromJson(const QJsonObject &object, QString *why = nullptr);

    // Replaces fileName as a whole, so that a reader never sees half a record. A record that
    // cannot be written in full leaves the file as it was and says so in a debug line.
    bool write(const QString &fileName) const;
    static std::optional<RunRecord> read(const QString &fileName, QString *why = nullptr);

    // Frames per second over the span of the frames' times in milliseconds; 0 for fewer than
    // two frames or no span.
    static double measuredFpsOf(const QVector<qint64> &frameMs);
    // The longest time between two consecutive frames; 0 for fewer than two frames.
    static double largestIntervalMsOf(const QVector<qint64> &frameMs);

    static QString programVersion();
    static QString text(Result result);
    static QString text(EndedBy endedBy);
    // The cause of an end by its name in a record; nothing for a name no record writes.
    static std::optional<EndedBy> endedByNamed(const QString &name);
    static QString text(TimeSource timeSource);
};
