#include "engine/RecordingEnding.h"

#include <QDebug>

namespace {

QString sizeText(cv::Size size)
{
    return QStringLiteral("%1x%2").arg(size.width).arg(size.height);
}

} // namespace

RecordingEnding RecordingEnding::ofSource(FrameSource::Result result)
{
    if (result == FrameSource::Result::Ended) {
        // A complete recording, as on a stop.
        qDebug("source ended");
        return {RunRecord::EndedBy::CameraEnded, {}};
    }
    qDebug("capture error");
    return {RunRecord::EndedBy::CameraFailed, QStringLiteral("the camera stopped delivering")};
}

std::optional<RecordingEnding> RecordingEnding::ofSizeChange(cv::Size recorded, cv::Size arrived)
{
    if (arrived == recorded)
        return std::nullopt;
    const QString change = QStringLiteral("frame size changed from %1 to %2")
                               .arg(sizeText(recorded), sizeText(arrived));
    qDebug("%s", qPrintable(change));
    return RecordingEnding{RunRecord::EndedBy::CameraFailed, change};
}
