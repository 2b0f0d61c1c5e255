#pragma once

#include "VideoSink.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// Frees what the encoding libraries allocated, each with its own release function.
struct FfmpegDeleter
{
    void operator()(AVCodecContext *context) const;
    void operator()(AVFormatContext *format) const;
    void operator()(AVFrame *frame) const;
    void operator()(AVPacket *packet) const;
    void operator()(SwsContext *scaler) const;
};

// Writes an AVI file through the encoding libraries directly, so that the H.264 encoder runs
// with settings fit for real time and every failure of encoding or writing is seen.
// The FOURCC codes X264, x264, H264 and h264 select H.264 (stored under that very code),
// MJPG and -1 select Motion JPEG. Frames are 8-bit BGR, BGRA or gray of the opened size;
// colour or not, they are stored in YUV, so isColor changes nothing.
// A frame that could not be written makes the file incomplete: release() then answers false.
// About once a second the file is handed to the operating system as far as it is written, so
// that a recording cut short by a kill, a crash or a full volume leaves a video that decoders
// read up to that point, even without the index and the sizes that release() writes.
class FfmpegVideoSink : public VideoSink
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds flushInterval{1000};

    // How the H.264 encoder trades speed for quality. On two cores, veryfast encodes 640x480
    // at about 300 and 1280x720 at about 110 frames per second in one thread, several times
    // the camera's rate, in smaller files than the faster presets. zerolatency keeps every
    // frame from waiting inside the encoder for later ones. One thread leaves the other core
    // to the capture, which then reads each frame as it arrives; a second thread gains
    // nothing at 640x480 and a tenth at 1280x720.
    struct H264Settings
    {
        std::string preset = "veryfast";
        std::string tune = "zerolatency";
        int crf = 23;
        int threads = 1; // 0: as many as the encoder likes
    };

    FfmpegVideoSink();
    explicit FfmpegVideoSink(H264Settings settings);
    ~FfmpegVideoSink() override;
    FfmpegVideoSink(const FfmpegVideoSink &) = delete;
    FfmpegVideoSink &operator=(const FfmpegVideoSink &) = delete;

    // Replaces the steady clock that times the flushes.
    void setClock(Clock readClock);

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

    Description describe(const Codec &codec, int fourcc) const;
    bool openEncoder(const Codec &codec, double fps, cv::Size frameSize);
    bool openFile(const std::string &fileName, unsigned int fourcc);
    bool convert(const cv::Mat &frame);
    bool encode(const AVFrame *picture);
    void noteMuxed(long long frameIndex);
    bool flush();
    bool fileFailed(bool failed, const char *message);
    void close();

    H264Settings settings;
    Description encoding;
    Owned<AVCodecContext> encoder;
    Owned<AVFormatContext> file;
    AVStream *stream = nullptr;
    Owned<AVFrame> picture;
    Owned<AVPacket> packet;
    Owned<SwsContext> scaler;
    int scalerSourceType = -1;
    long long nextPts = 0;
    bool opened = false;
    bool complete = true;
    OpenFailure failure = OpenFailure::None;
    Clock clock = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point lastFlush;
    // Frames, from the first on, whose packets went to the muxer, and those of them handed to
    // the system; frames muxed ahead of one still missing.
    int framesMuxed = 0;
    int framesFlushed = 0;
    std::set<long long> muxedAhead;
    // The file has refused a write; what follows from it is not reported again.
    bool writeErrorSeen = false;
};
