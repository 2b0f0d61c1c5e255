#include "bench/RecordingAnalysis.h"

#include "tests/support/RecordingFiles.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The value that share of the sorted values do not exceed.
double quantile(const std::vector<double> &sorted, double share)
{
    const auto rank = std::size_t(std::ceil(share * double(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace

RecordingAnalysis RecordingAnalysis::of(const QString &textFile, const QString &videoFile)
{
    RecordingAnalysis analysis;
    const QVector<FrameLine> lines =
        RecordingFiles::readLines(textFile).value_or(QVector<FrameLine>());
    const RecordingFiles::Video video = RecordingFiles::readVideo(videoFile);
    analysis.lines = lines.size();
    analysis.inVideo = video.frameCount;

    QSet<quint32> indices;
    for (const auto &stamp : video.stamps)
        if (stamp) {
            indices.insert(stamp->index);
            analysis.produced = std::max(analysis.produced, int(stamp->index) + 1);
        }
    analysis.lost = analysis.produced - indices.size();
    for (int index = 0; index < analysis.produced && analysis.lost > 0; ++index)
        if (!indices.contains(quint32(index))) {
            analysis.firstLost = index;
            break;
        }

    const int paired = std::min(analysis.lines, analysis.inVideo);
    if (paired == 0 || !video.stamps[0])
        return analysis;
    std::vector<double> errors;
    for (int i = 0; i < paired; ++i) {
        if (!video.stamps[i])
            continue;
        const double delivered =
            (video.stamps[i]->deliveryMicroseconds - video.stamps[0]->deliveryMicroseconds) /
            1000.0;
        const double stamped = double(lines[i].ms - lines[0].ms);
        errors.push_back(std::abs(stamped - delivered));
    }
    std::sort(errors.begin(), errors.end());
    analysis.errorP50 = quantile(errors, 0.5);
    analysis.errorP99 = quantile(errors, 0.99);
    analysis.errorMax = errors.back();
    return analysis;
}
