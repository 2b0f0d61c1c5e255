#include "eyelid/EyelidRegion.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

QString sizeText(cv::Size size)
{
    return QStringLiteral("%1x%2").arg(size.width).arg(size.height);
}

// One side of the clip, in 64 bits: a region's far edge may lie beyond what an int holds.
std::pair<int, int> clipSpan(int start, int length, int limit)
{
    const std::int64_t first = std::max<std::int64_t>(start, 0);
    const std::int64_t end = std::min<std::int64_t>(std::int64_t(start) + length, limit);
    return {int(first), int(std::max<std::int64_t>(end - first, 0))};
}

} // namespace

std::optional<EyelidRegion> EyelidRegion::parse(const QString &text, QString &reason)
{
    const QStringList parts = text.split(QLatin1Char(','));
    std::array<int, 4> numbers{};
    bool wholeNumbers = parts.size() == int(numbers.size());
    for (int i = 0; wholeNumbers && i < parts.size(); ++i)
        numbers[i] = parts[i].trimmed().toInt(&wholeNumbers);
    if (!wholeNumbers) {
        reason = QStringLiteral("eyelid region '%1' is not X,Y,W,H in whole pixels").arg(text);
        return std::nullopt;
    }
    const EyelidRegion region{cv::Rect(numbers[0], numbers[1], numbers[2], numbers[3])};
    if (region.box.width < 1 || region.box.height < 1) {
        reason =
            QStringLiteral("eyelid region '%1' is empty: its width and height must be 1 or more")
                .arg(text);
        return std::nullopt;
    }
    return region;
}

QString EyelidRegion::text() const
{
    return QStringLiteral("%1,%2,%3,%4").arg(box.x).arg(box.y).arg(box.width).arg(box.height);
}

EyelidRegion::Clipped EyelidRegion::clippedTo(cv::Size frameSize) const
{
    Clipped clipped;
    if (box.width < 1 || box.height < 1) {
        clipped.reason = QStringLiteral("eyelid region %1 is empty").arg(text());
        return clipped;
    }
    const auto [x, width] = clipSpan(box.x, box.width, frameSize.width);
    const auto [y, height] = clipSpan(box.y, box.height, frameSize.height);
    if (width == 0 || height == 0) {
        clipped.reason = QStringLiteral("eyelid region %1 lies outside the %2 frame")
                             .arg(text(), sizeText(frameSize));
        return clipped;
    }
    clipped.inside = cv::Rect(x, y, width, height);
    clipped.partlyOutside = clipped.inside != box;
    if (clipped.partlyOutside)
        clipped.reason =
            QStringLiteral(
                "eyelid region %1 reaches beyond the %2 frame: measured on its %3 inside")
                .arg(text(), sizeText(frameSize), sizeText(clipped.inside.size()));
    return clipped;
}
