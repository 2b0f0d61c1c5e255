#include "tests/support/RecordingFiles.h"

#include <QFile>
#include <QRegularExpression>

#include <opencv2/videoio.hpp>

std::optional<QVector<RecordingFiles::Line>> RecordingFiles::readLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QRegularExpression form("^(0|[1-9]\\d*) (0|[1-9]\\d*)\n$");
    QVector<Line> lines;
    while (!file.atEnd()) {
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(file.readLine()));
        if (!match.hasMatch())
            return std::nullopt;
        lines.append({match.captured(1).toInt(), match.captured(2).toLongLong()});
    }
    return lines;
}

RecordingFiles::Video RecordingFiles::readVideo(const QString &fileName)
{
    Video video;
    cv::VideoCapture capture(fileName.toStdString(), cv::CAP_FFMPEG);
    if (!capture.isOpened())
        return video;
    video.fourcc = int(capture.get(cv::CAP_PROP_FOURCC));
    video.fps = capture.get(cv::CAP_PROP_FPS);
    cv::Mat frame;
    while (capture.read(frame)) {
        ++video.frameCount;
        video.frameSize = frame.size();
        video.stamps.append(FramePattern::read(frame));
    }
    return video;
}
