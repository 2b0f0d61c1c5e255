#include "encode/SpillFile.h"

#include <array>
#include <utility>

namespace {

using Header = std::array<qint64, 4>;

qint64 rowBytesOf(const cv::Mat &frame)
{
    return qint64(frame.cols) * qint64(frame.elemSize());
}

// A write cut short (a disk that fills up) is tried again for the rest, which then fails with
// the system's reason.
bool writeAll(QFile &file, const char *data, qint64 length)
{
    while (length > 0) {
        const qint64 written = file.write(data, length);
        if (written <= 0)
            return false;
        data += written;
        length -= written;
    }
    return true;
}

bool readAll(QFile &file, char *data, qint64 length)
{
    return file.read(data, length) == length;
}

} // namespace

SpillFile::SpillFile(QString fileName) : name(std::move(fileName)) {}

bool SpillFile::append(const cv::Mat &frame)
{
    if (failed)
        return false;
    if (!writeEnd.isOpen()) {
        writeEnd.setFileName(name);
        if (!writeEnd.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            error = writeEnd.errorString();
            failed = true;
            return false;
        }
    }
    if (!writeWhole(frame)) {
        error = writeEnd.errorString();
        failed = true;
        return false;
    }
    size = writeEnd.pos();
    ++appended;
    return true;
}

bool SpillFile::writeWhole(const cv::Mat &frame)
{
    const qint64 rowBytes = rowBytesOf(frame);
    const Header header = {frame.rows, frame.cols, frame.type(), rowBytes};
    if (!writeAll(writeEnd, reinterpret_cast<const char *>(header.data()), sizeof header))
        return false;
    if (frame.isContinuous())
        return writeAll(writeEnd, reinterpret_cast<const char *>(frame.data),
                        rowBytes * frame.rows);
    for (int row = 0; row < frame.rows; ++row) {
        if (!writeAll(writeEnd, frame.ptr<char>(row), rowBytes))
            return false;
    }
    return true;
}

bool SpillFile::takeNext(cv::Mat &frame)
{
    if (taken >= appended)
        return false;
    if (!readEnd.isOpen()) {
        readEnd.setFileName(name);
        if (!readEnd.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
    }
    Header header{};
    if (!readAll(readEnd, reinterpret_cast<char *>(header.data()), sizeof header))
        return false;
    const auto [rows, cols, type, rowBytes] = header;
    if (rows <= 0 || cols <= 0 || type < 0 || type >= CV_DEPTH_MAX * CV_CN_MAX)
        return false;
    cv::Mat read(static_cast<int>(rows), static_cast<int>(cols), static_cast<int>(type));
    if (rowBytesOf(read) != rowBytes ||
        !readAll(readEnd, reinterpret_cast<char *>(read.data), rowBytes * rows))
        return false;
    frame = read;
    ++taken;
    return true;
}

bool SpillFile::remove()
{
    writeEnd.close();
    readEnd.close();
    return QFile::remove(name) || !QFile::exists(name);
}
