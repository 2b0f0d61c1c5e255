#include "CommandLine.h"

#include <cstring>

namespace {

const char sourceOption[] = "--source";
const char cameraModeOption[] = "--camera-mode";

// The values of every "option VALUE" pair, which are taken out of argc/argv.
QStringList takeOption(int &argc, char **argv, const char *option)
{
    QStringList values;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0 && i + 1 < argc) {
            values << QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return values;
}

int toInt(const char *argument)
{
    return QString::fromUtf8(argument).toInt(nullptr, 10);
}

} // namespace

CommandLine CommandLine::parse(int &argc, char **argv)
{
    CommandLine line;
    line.sources = takeOption(argc, argv, sourceOption);
    const QStringList cameraModes = takeOption(argc, argv, cameraModeOption);
    if (!cameraModes.isEmpty())
        line.cameraMode = cameraModes.last();
    if (argc >= 3) {
        line.workingDirectory = QString::fromUtf8(argv[1]);
        line.videoLength = toInt(argv[2]);
    }
    if (argc == 4)
        line.cameraIndex = toInt(argv[3]);
    return line;
}
