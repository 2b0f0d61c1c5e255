#pragma once

#include "encode/EncoderSpeeds.h"
#include "encode/H264Settings.h"
#include "encode/MuxedFrames.h"
#include "encode/PictureConverter.h"
#include "encode/VideoSink.h"
#include "ffmpeg/FfmpegDeleter.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct AVStream;

// Writes an AVI file through the encoding libraries directly, so that the H.264 encoder runs
// with settings fit for real time and every failure of encoding or writing is seen.
// The FOURCC codes X264, x264, H264 and h264 select H.264 (stored under that very code),
// MJPG and -1 select Motion JPEG. Frames are 8-bit BGR, BGRA or gray of the opened size;
// colour or not, they are stored in YUV, so isColor changes nothing. Gray frames are copied
// into the luma plane as they are, with constant chroma. H.264 is 4:2:0 where both sides of
// the frame are even, and 4:4:4 where one is odd, which 4:2:0 cannot store.
// A frame that could not be written makes the file incomplete: release() then answers false.
// About once a second the file is handed to the operating system as far as it is written, so
// that a recording cut short by a kill, a crash or a full volume leaves a video that decoders
// read up to that point, even without the index and the sizes that release() writes.
class FfmpegVideoSink : public VideoSink
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds flushInterval{1000};

    // Chooses the H.264 settings for each recording from the camera's pixel rate (see
    // EncoderChoice) and says so in a debug line with the first frame, once it knows whether
    // the camera is grey.
    FfmpegVideoSink();
    // Encodes H.264 with these settings whatever the camera.
    explicit FfmpegVideoSink(H264Settings settings);
    ~FfmpegVideoSink() override;
    FfmpegVideoSink(const FfmpegVideoSink &) = delete;
    FfmpegVideoSink &operator=(const FfmpegVideoSink &) = delete;

    // Replaces the steady clock that times the flushes.
    void setClock(Clock readClock);
    // Chooses the settings from the speeds measured on this machine where they have the
    // camera's format, and tells them when a recording's encoder runs.
    void chooseFrom(std::shared_ptr<EncoderSpeeds> measured);

    void setCameraRate(double fps) override;
    bool open(const std::string &fileName, int fourcc, double fps, cv::Size frameSize,
              bool isColor) override;
    bool isOpened() const override;
    OpenFailure openFailure() const override;
    bool write(const cv::Mat &frame) override;
    bool release() override;
    int framesInFile() const override;
    Description description() const override;
    int platformChoiceCode() const override { return VideoCodes::mjpg; }

private:
    struct Codec;
    template <class T> using Owned = std::unique_ptr<T, FfmpegDeleter>;

    static Codec codecOf(int fourcc);
    Description describe() const;
    bool openEncoder(const Codec &codec, double fps, cv::Size frameSize);
    bool fitToFirstFrame(const cv::Mat &frame);
    EncoderChoice choose(cv::Size frameSize, bool gray, bool firstFrameSeen) const;
    double cameraRate() const;
    bool openFile(const std::string &fileName, unsigned int fourcc);
    bool convert(const cv::Mat &frame);
    bool encode(const AVFrame *picture);
    bool flush();
    bool fileFailed(bool failed, const char *message);
    void close();

    std::optional<H264Settings> fixedSettings;
    H264Settings settings;
    std::shared_ptr<EncoderSpeeds> speeds;
    // The speeds the settings were chosen from; empty for the table's or fixed settings.
    QVector<MeasuredSpeed> measuredSpeeds;
    // EncoderSpeeds was told that this sink's recording runs.
    bool recordingTold = false;
    double cameraFps = 0;
    // What the open file was opened with, for an encoder opened again for grey frames.
    int openedFourcc = 0;
    double openedFps = 0;
    // The settings fit the camera's frames: its first frame was seen.
    bool fitted = false;
    Description encoding;
    Owned<AVCodecContext> encoder;
    Owned<AVFormatContext> file;
    AVStream *stream = nullptr;
    Owned<AVFrame> picture;
    Owned<AVPacket> packet;
    PictureConverter converter;
    long long nextPts = 0;
    bool opened = false;
    bool complete = true;
    OpenFailure failure = OpenFailure::None;
    Clock clock = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point lastFlush;
    // Frames whose packets went to the muxer, and how many of them were handed to the system.
    MuxedFrames muxedFrames;
    int framesFlushed = 0;
    // The file has refused a write; what follows from it is not reported again.
    bool writeErrorSeen = false;
};
