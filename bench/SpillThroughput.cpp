// Writes camera-like frames into a spill file and reads them back, as a recording whose encoder
// has fallen behind does, and prints for a few frame sizes the megabytes and frames per second
// of both, with the camera rates the spill keeps up with. "synced" includes handing the file to
// the disk at the end (fsync), which the spill never waits for but the disk must absorb sooner
// or later: on a long spill the disk's own rate is the bound.

#include "encode/SpillFile.h"
#include "encode/SyntheticFrames.h"
#include "runrecord/FileSync.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <opencv2/core.hpp>

#include <vector>

namespace {

struct Mode
{
    const char *name;
    cv::Size size;
    bool gray;
};

const Mode modes[] = {{"640x480 BGR", {640, 480}, false},
                      {"1280x720 BGR", {1280, 720}, false},
                      {"1920x1080 BGR", {1920, 1080}, false},
                      {"2048x2048 grey", {2048, 2048}, true}};

double megabytesPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return double(bytes) / (1024.0 * 1024.0) / (double(nanoseconds) / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Spill file write and read-back speed.");
    parser.addHelpOption();
    const QCommandLineOption folderOption({"d", "folder"},
                                          "Folder on the volume to measure (default: temp).",
                                          "folder", QDir::tempPath());
    const QCommandLineOption framesOption({"n", "frames"}, "Frames per size.", "count", "300");
    parser.addOptions({folderOption, framesOption});
    parser.process(app);
    const int frames = parser.value(framesOption).toInt();

    QTextStream out(stdout);
    out << "frame size      MB/s write  fps write  MB/s synced  fps synced  MB/s read  fps read\n";
    for (const Mode &mode : modes) {
        QTemporaryDir folder(QDir(parser.value(folderOption)).filePath("spill-bench-XXXXXX"));
        const std::vector<cv::Mat> made = SyntheticFrames::make(mode.size, 8, mode.gray);
        SpillFile spill(folder.filePath("spill.raw"));
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < frames; ++i) {
            if (!spill.append(made[std::size_t(i) % made.size()])) {
                out << mode.name << ": " << spill.errorString() << "\n";
                return 1;
            }
        }
        const qint64 written = timer.nsecsElapsed();
        QFile file(spill.fileName());
        QString why;
        if (!file.open(QIODevice::ReadWrite) || !FileSync::toDisk(file, &why))
            out << mode.name << ": not synced: " << why << "\n";
        const qint64 synced = timer.nsecsElapsed();
        timer.restart();
        cv::Mat back;
        while (spill.takeNext(back)) {
        }
        const qint64 read = timer.nsecsElapsed();
        const qint64 bytes = spill.bytes();
        out << QString("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(mode.name, -14)
                   .arg(megabytesPerSecond(bytes, written), 11, 'f', 0)
                   .arg(frames / (written / 1e9), 10, 'f', 0)
                   .arg(megabytesPerSecond(bytes, synced), 12, 'f', 0)
                   .arg(frames / (synced / 1e9), 11, 'f', 0)
                   .arg(megabytesPerSecond(bytes, read), 10, 'f', 0)
                   .arg(frames / (read / 1e9), 9, 'f', 0);
        out.flush();
    }
    return 0;
}
