#include "checker/RecordingVerdict.h"

#include "checker/FrameLines.h"
#include "ffmpeg/DecodedVideo.h"
#include "runrecord/RunRecord.h"

#include <QFileInfo>
#include <QSize>

#include <cmath>

namespace {

// The run record may time frames finer than the text file's whole milliseconds.
constexpr double fpsTolerance = 0.005;
constexpr double intervalToleranceMs = 1.0;

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

enum class FileKind { Missing, Regular, Other };

// Only regular files are opened: reading a FIFO or a device may wait forever.
FileKind kindOf(const QString &fileName)
{
    const QFileInfo file(fileName);
    if (!file.exists())
        return FileKind::Missing;
    return file.isFile() ? FileKind::Regular : FileKind::Other;
}

class Checks
{
public:
    explicit Checks(RecordingVerdict &verdict) : verdict(verdict) {}

    void video(const DecodedVideo &video)
    {
        if (!video.problem.isEmpty())
            fail(video.problem);
        if (!video.opened)
            return;
        if (video.declaredFrames > 0 && video.declaredFrames != video.frames)
            fail(QStringLiteral("video declares %1 frames, %2 decode")
                     .arg(video.declaredFrames)
                     .arg(video.frames));
        if (video.damagedFrames > 0)
            fail(QStringLiteral("%1 frames damaged").arg(video.damagedFrames));
        if (video.refusedPackets > 0)
            fail(QStringLiteral("%1 packets do not decode").arg(video.refusedPackets));
    }

    void lines(const FrameLines &text)
    {
        if (!text.malformed.isEmpty())
            fail(QStringLiteral("%1 lines not \"<index> <ms>\", the first is line %2")
                     .arg(text.malformed.size())
                     .arg(text.malformed.first()));
        for (int i = 0; i < text.lines.size(); ++i) {
            if (text.lines[i].index != i) {
                fail(QStringLiteral("index %1 where %2 belongs").arg(text.lines[i].index).arg(i));
                break;
            }
        }
        for (int i = 1; i < text.lines.size(); ++i) {
            if (text.lines[i].ms < text.lines[i - 1].ms) {
                fail(QStringLiteral("time goes back at index %1").arg(text.lines[i].index));
                break;
            }
        }
    }

    // The times are compared only where every line could be read.
    void runRecord(const RunRecord &record, const DecodedVideo &video, bool timesRead)
    {
        if (record.frames != verdict.framesDecoded)
            fail(QStringLiteral("run record: %1 frames").arg(record.frames));
        if (record.lines != verdict.lines)
            fail(QStringLiteral("run record: %1 lines").arg(record.lines));
        if (timesRead && std::abs(record.measuredFps - verdict.measuredFps) >
                             fpsTolerance * verdict.measuredFps + 0.01)
            fail(QStringLiteral("run record: %1 fps").arg(record.measuredFps, 0, 'f', 2));
        if (timesRead &&
            std::abs(record.largestIntervalMs - verdict.largestIntervalMs) > intervalToleranceMs)
            fail(QStringLiteral("run record: largest interval %1 ms")
                     .arg(record.largestIntervalMs, 0, 'f', 1));
        if (video.opened && record.frameSize != video.frameSize)
            fail(QStringLiteral("run record: frame size %1, video %2")
                     .arg(sizeText(record.frameSize), sizeText(video.frameSize)));
        if (video.opened && record.video.fourcc != video.fourcc)
            fail(QStringLiteral("run record: FOURCC %1, video %2")
                     .arg(record.video.fourcc, video.fourcc));
        if (record.framesLost > 0)
            fail(QStringLiteral("%1 frames lost").arg(record.framesLost));
        if (record.result == RunRecord::Result::Unfinished)
            fail(QStringLiteral("run record unfinished: the recording never ended"));
        else if (record.result == RunRecord::Result::Failed)
            fail(QStringLiteral("run failed: %1").arg(RunRecord::text(record.endedBy)));
    }

    // A file that the recording needs (the video, the text file) or may have (the run record).
    void file(FileKind kind, const QString &name, bool needed)
    {
        if (kind == FileKind::Other)
            fail(QStringLiteral("%1: not a regular file").arg(name));
        else if (kind == FileKind::Missing && needed)
            fail(QStringLiteral("%1 missing").arg(name));
    }

    void fail(const QString &problem) { verdict.problems.append(problem); }

private:
    RecordingVerdict &verdict;
};

} // namespace

RecordingVerdict RecordingVerdict::of(const RecordingFinder::Recording &recording)
{
    RecordingVerdict verdict;
    verdict.recording = recording;
    Checks checks(verdict);
    if (recording.unreadable) {
        checks.fail(QStringLiteral("folder cannot be read"));
        return verdict;
    }
    const FileKind videoKind = kindOf(recording.video());
    const FileKind textKind = kindOf(recording.text());
    const FileKind recordKind = kindOf(recording.runRecord());
    const bool hasVideo = videoKind == FileKind::Regular;
    const DecodedVideo video = hasVideo ? DecodedVideo::of(recording.video()) : DecodedVideo();
    const FrameLines text =
        textKind == FileKind::Regular ? FrameLines::read(recording.text()) : FrameLines();
    verdict.framesDecoded = video.frames;
    verdict.lines = text.count;
    verdict.frameMs = text.times();
    verdict.measuredFps = RunRecord::measuredFpsOf(verdict.frameMs);
    verdict.largestIntervalMs = RunRecord::largestIntervalMsOf(verdict.frameMs);

    checks.file(videoKind, QStringLiteral("video"), true);
    checks.file(textKind, QStringLiteral("text file"), true);
    checks.file(recordKind, QStringLiteral("run record"), false);
    if (textKind == FileKind::Regular && !text.opened)
        checks.fail(QStringLiteral("text file cannot be read"));
    if (hasVideo && text.opened && verdict.framesDecoded != verdict.lines)
        checks.fail(
            QStringLiteral("%1 frames, %2 lines").arg(verdict.framesDecoded).arg(verdict.lines));
    if (hasVideo)
        checks.video(video);
    checks.lines(text);

    if (recordKind == FileKind::Regular) {
        QString why;
        const std::optional<RunRecord> record = RunRecord::read(recording.runRecord(), &why);
        if (record) {
            verdict.framesLost = record->framesLost;
            checks.runRecord(*record, video, text.opened && text.malformed.isEmpty());
        } else {
            checks.fail(QStringLiteral("run record unreadable: %1").arg(why));
        }
    }
    return verdict;
}
