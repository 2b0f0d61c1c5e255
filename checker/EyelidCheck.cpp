#include "checker/EyelidCheck.h"

#include "checker/FrameLines.h"
#include "eyelid/EyelidMeasure.h"
#include "ffmpeg/DecodedVideo.h"
#include "runrecord/ConfirmedRows.h"
#include "runrecord/RecordingNames.h"

#include <QFileInfo>

#include <opencv2/core/mat.hpp>

namespace {

// Measures the decoded frames one by one, choosing the region's clip and the threshold on the
// first.
class FrameMeasurer
{
public:
    FrameMeasurer(const EyelidCheck::Settings &settings, const QVector<qint64> &lineMs)
        : settings(settings), lineMs(lineMs)
    {
    }

    void take(const DecodedVideo::GreyFrame &grey)
    {
        if (!refused.isEmpty() || grey.index >= lineMs.size())
            return;
        const cv::Mat frame(grey.height, grey.width, CV_8U, const_cast<std::uint8_t *>(grey.pixels),
                            std::size_t(grey.stride));
        if (!level && !choose(frame))
            return;
        rows.append({grey.index, double(lineMs[grey.index]),
                     measurer.closure(frame, settings.region, *level)});
    }

    QVector<EyelidTable::Row> rows;
    // Why the region was refused; empty while it is usable.
    QString refused;

private:
    bool choose(const cv::Mat &frame)
    {
        const EyelidRegion::Clipped clipped = settings.region.clippedTo(frame.size());
        if (!clipped.usable()) {
            refused = clipped.reason;
            return false;
        }
        const std::optional<EyelidThreshold> otsu =
            settings.threshold ? settings.threshold
                               : measurer.otsuThreshold(frame, settings.region);
        level = otsu ? otsu->level : 0;
        return true;
    }

    const EyelidCheck::Settings &settings;
    const QVector<qint64> &lineMs;
    EyelidMeasure measurer;
    std::optional<int> level;
};

} // namespace

QString EyelidCheck::tableFileName(const RecordingFinder::Recording &recording)
{
    return recording.file(QLatin1String(RecordingNames::eyelidTableSuffix));
}

std::optional<QVector<EyelidTable::Row>>
EyelidCheck::measure(const RecordingFinder::Recording &recording, const Settings &settings,
                     QString &why)
{
    const FrameLines lines = FrameLines::read(recording.text());
    if (!lines.opened) {
        why = QStringLiteral("no text file to time the frames");
        return std::nullopt;
    }
    const QVector<qint64> lineMs = lines.times();
    FrameMeasurer measurer(settings, lineMs);
    const DecodedVideo video =
        DecodedVideo::of(recording.video(),
                         [&measurer](const DecodedVideo::GreyFrame &grey) { measurer.take(grey); });
    if (!video.opened) {
        why = video.problem;
        return std::nullopt;
    }
    if (!measurer.refused.isEmpty()) {
        why = QStringLiteral("eyelid region %1: %2").arg(settings.region.text(), measurer.refused);
        return std::nullopt;
    }
    return measurer.rows;
}

EyelidCheck::Outcome EyelidCheck::write(const RecordingFinder::Recording &recording,
                                        const Settings &settings, QString &why)
{
    const QString fileName = tableFileName(recording);
    if (QFileInfo::exists(fileName) && !settings.replace)
        return Outcome::Kept;
    const std::optional<QVector<EyelidTable::Row>> rows = measure(recording, settings, why);
    if (!rows)
        return Outcome::Failed;
    ConfirmedRows table;
    if (!table.open(fileName.toStdString(), EyelidTable::header)) {
        why = QStringLiteral("eyelid table not written: %1").arg(fileName);
        return Outcome::Failed;
    }
    for (const EyelidTable::Row &row : *rows)
        table.queue(EyelidTable::text(row));
    if (!table.close(rows->size())) {
        why = QStringLiteral("eyelid table not written: %1").arg(fileName);
        return Outcome::Failed;
    }
    return Outcome::Written;
}
