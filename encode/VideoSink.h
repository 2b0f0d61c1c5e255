#pragma once

#include <QString>
#include <QVariantMap>

#include <opencv2/core/mat.hpp>

#include <array>
#include <string>

// FOURCC codes as sinks take them: the first character in the lowest byte.
namespace VideoCodes {

constexpr int fourcc(const char (&code)[5])
{
    return code[0] | code[1] << 8 | code[2] << 16 | code[3] << 24;
}

// H.264, under the codes a recording tries in this order.
constexpr std::array<int, 4> h264 = {fourcc("X264"), fourcc("x264"), fourcc("H264"),
                                     fourcc("h264")};
// Motion JPEG: built into every video library, the last resort.
constexpr int mjpg = fourcc("MJPG");
// Leaves the choice of codec to the platform.
constexpr int platformChoice = -1;

constexpr bool isH264(int code)
{
    for (const int h264Code : h264) {
        if (code == h264Code)
            return true;
    }
    return false;
}

} // namespace VideoCodes

// Writes the frames of one recording into a video file. Implementations report every
// failure they can see, so that a recording that lost frames is never reported as a success.
class VideoSink
{
public:
    // Why the last open() failed. Another codec may get past a refused codec or setting; a
    // file that cannot be created (a missing folder, no permission) fails with every codec.
    enum class OpenFailure { None, Codec, File };
    // How the opened file is encoded, for the run record.
    struct Description
    {
        QString codec;
        // The FOURCC code the file stores, as four characters.
        QString fourcc;
        // The encoder's settings by name.
        QVariantMap settings;
    };

    virtual ~VideoSink() = default;

    // The rate the camera really delivers, where the file declares another; a sink may fit
    // its encoding to it. Holds for the files opened after it; 0: unknown.
    virtual void setCameraRate(double fps) { Q_UNUSED(fps) }

    // Opens fileName for frames of frameSize, declared at fps, encoded with the codec named
    // by the FOURCC code fourcc (-1: the platform's choice). True when the file is open.
    virtual bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
                      bool isColor) = 0;
    virtual bool isOpened() const = 0;
    virtual OpenFailure openFailure() const = 0;
    // Encodes and writes one frame of the opened size; false when it could not be written.
    virtual bool write(const cv::Mat &frame) = 0;
    // Completes and closes the file; false when completing it failed. Does nothing when closed.
    virtual bool release() = 0;
    // The frames of the last opened file that a reader finds there even if this process ends
    // now: encoded, and handed to the operating system. Never more than were written; after a
    // successful release(), all of them.
    virtual int framesInFile() const = 0;
    // The encoding of the file opened last.
    virtual Description description() const = 0;
    // The code that the platform's choice stands for here; platformChoice where the platform
    // really chooses.
    virtual int platformChoiceCode() const { return VideoCodes::platformChoice; }

    // A FOURCC code's four characters, first character first.
    static QString fourccText(int fourcc)
    {
        QString text;
        for (int shift = 0; shift < 32; shift += 8)
            text += QChar::fromLatin1(char((unsigned(fourcc) >> shift) & 0xff));
        return text;
    }
};
