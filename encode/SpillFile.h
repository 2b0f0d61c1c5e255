#pragma once

#include <QFile>
#include <QString>

#include <opencv2/core/mat.hpp>

#include <atomic>

// Frames kept on disk while the encoder is behind: appended by one thread and taken back, in
// the same order, by another. Each frame is stored raw: a header of four 64-bit numbers (rows,
// columns, the pixel type, the bytes of a row), then its rows one after the other. The file is
// created with the first frame appended.
class SpillFile
{
public:
    explicit SpillFile(QString fileName);

    const QString &fileName() const { return name; }
    // Appends a frame; false, with the reason in errorString(), when it could not be written
    // whole. After a failure every later frame is refused too, so that the file never holds a
    // frame cut short before whole ones.
    bool append(const cv::Mat &frame);
    // The oldest frame appended and not yet taken, read back; false when every frame appended
    // has been taken, or the file cannot be read.
    bool takeNext(cv::Mat &frame);
    // Deletes the file; true when it is gone.
    bool remove();

    int framesAppended() const { return appended; }
    int framesTaken() const { return taken; }
    qint64 bytes() const { return size; }
    bool hasFailed() const { return failed; }
    QString errorString() const { return error; }

private:
    bool writeWhole(const cv::Mat &frame);

    QString name;
    // Each end is used by one thread only.
    QFile writeEnd;
    QFile readEnd;
    std::atomic<int> appended{0};
    std::atomic<int> taken{0};
    std::atomic<qint64> size{0};
    std::atomic<bool> failed{false};
    // Set in the appending thread before failed.
    QString error;
};
