#include "runrecord/RecordingNames.h"

#include <QFileInfo>

namespace {

bool exists(const std::string &fileName)
{
    return QFileInfo::exists(QString::fromStdString(fileName));
}

std::tm toLocalTime(std::time_t time)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    return local;
}

} // namespace

RecordingNames::RecordingNames(const std::string &folder, const std::string &stamp)
{
    const std::string base = folder + stamp;
    std::string suffix;
    for (int copy = 2;; ++copy) {
        video = base + suffix + ".avi";
        text = base + suffix + ".txt";
        runRecord = base + suffix + ".json";
        if (!exists(video) && !exists(text) && !exists(runRecord))
            return;
        suffix = "_" + std::to_string(copy);
    }
}

std::string RecordingNames::stamp(std::time_t time)
{
    return stamp(toLocalTime(time));
}

std::string RecordingNames::stamp(const std::tm &localTime)
{
    char buffer[80];
    const std::size_t length =
        std::strftime(buffer, sizeof buffer, "/%d%m%Y_%H%M%S_cam", &localTime);
    return std::string(buffer, length);
}

QString RecordingNames::elapsedText(qint64 milliseconds)
{
    const qint64 minutes = milliseconds / 1000 / 60;
    const qint64 seconds = milliseconds / 1000 - 60 * minutes;
    return QStringLiteral("%1:%2")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}
