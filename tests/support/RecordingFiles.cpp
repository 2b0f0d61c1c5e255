#include "tests/support/RecordingFiles.h"

#include <QFile>

#include <opencv2/videoio.hpp>

std::optional<QVector<FrameLine>> RecordingFiles::readLines(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QVector<FrameLine> lines;
    while (!file.atEnd()) {
        const QByteArray text = file.readLine();
        const std::optional<FrameLine> line =
            text.endsWith('\n') ? FrameLine::parse(text.chopped(1)) : std::nullopt;
        if (!line)
            return std::nullopt;
        lines.append(*line);
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
