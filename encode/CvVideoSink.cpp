#include "encode/CvVideoSink.h"

#include <QDebug>
#include <QFile>

#include <opencv2/imgproc.hpp>

namespace {

// The library does not say why it failed to open. A file that cannot be created there fails
// with every codec; that it can is checked without touching a file of that name that exists.
VideoSink::OpenFailure failureOpening(const std::string &fileName)
{
    QFile file(QString::fromStdString(fileName));
    const bool existed = file.exists();
    if (!file.open(QIODevice::Append)) {
        qDebug("Video file create failed: %s", qPrintable(file.errorString()));
        return VideoSink::OpenFailure::File;
    }
    file.close();
    if (!existed)
        file.remove();
    return VideoSink::OpenFailure::Codec;
}

} // namespace

bool CvVideoSink::open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                       bool isColor)
{
    release();
    this->frameSize = frameSize;
    frameType = isColor ? CV_8UC3 : CV_8UC1;
    framesWritten = 0;
    framesReleased = 0;
    const bool opened = writer.open(fileName, fourcc, fps, frameSize, isColor);
    failure = opened ? OpenFailure::None : failureOpening(fileName);
    // The library chooses the encoder and its settings itself and tells neither.
    encoding = {QStringLiteral("video library's writer"), fourccText(fourcc), {}};
    return opened;
}

VideoSink::Description CvVideoSink::description() const
{
    return encoding;
}

bool CvVideoSink::isOpened() const
{
    return writer.isOpened();
}

VideoSink::OpenFailure CvVideoSink::openFailure() const
{
    return failure;
}

bool CvVideoSink::write(const cv::Mat &frame)
{
    // The library drops frames of another size or type without a word, and tells nothing of
    // its own write errors: refuse what it would drop, at least. Four channels lose their
    // alpha, as the other sink does.
    const cv::Mat *colour = &frame;
    if (frame.type() == CV_8UC4 && frameType == CV_8UC3) {
        cv::cvtColor(frame, converted, cv::COLOR_BGRA2BGR);
        colour = &converted;
    }
    if (!writer.isOpened() || colour->size() != frameSize || colour->type() != frameType)
        return false;
    writer.write(*colour);
    ++framesWritten;
    return true;
}

bool CvVideoSink::release()
{
    // The library tells nothing of whether completing the file worked.
    if (writer.isOpened())
        framesReleased = framesWritten;
    writer.release();
    return true;
}

int CvVideoSink::framesInFile() const
{
    return framesReleased;
}
