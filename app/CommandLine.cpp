#include "CommandLine.h"

#include <cstring>

namespace {

const char sourceOption[] = "--source";

QStringList takeSources(int &argc, char **argv)
{
    QStringList sources;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], sourceOption) == 0 && i + 1 < argc) {
            sources << QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return sources;
}

int toInt(const char *argument)
{
    return QString::fromUtf8(argument).toInt(nullptr, 10);
}

} // namespace

CommandLine CommandLine::parse(int &argc, char **argv)
{
    CommandLine line;
    line.sources = takeSources(argc, argv);
    if (argc >= 3) {
        line.workingDirectory = QString::fromUtf8(argv[1]);
        line.videoLength = toInt(argv[2]);
    }
    if (argc == 4)
        line.cameraIndex = toInt(argv[3]);
    return line;
}
