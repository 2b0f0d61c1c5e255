#include "runrecord/RecordingNames.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool exists(const std::string &fileName)
{
    return QFileInfo::exists(QString::fromStdString(fileName));
}

// The toolkit knows the zone rules of every platform.
std::tm toLocalTime(std::time_t time)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(time));
    std::tm fields{};
    fields.tm_year = local.date().year() - 1900;
    fields.tm_mon = local.date().month() - 1;
    fields.tm_mday = local.date().day();
    fields.tm_hour = local.time().hour();
    fields.tm_min = local.time().minute();
    fields.tm_sec = local.time().second();
    fields.tm_isdst = local.isDaylightTime() ? 1 : 0;
    return fields;
}

} // namespace

RecordingNames::RecordingNames(const std::string &folder, const std::string &stamp)
{
    const std::string base = folder + stamp;
    std::string suffix;
    for (int copy = 2;; ++copy) {
        video = base + suffix + videoSuffix;
        text = base + suffix + textSuffix;
        runRecord = base + suffix + runRecordSuffix;
        eyelidTable = base + suffix + eyelidTableSuffix;
        spill = base + suffix + spillSuffix;
        if (!exists(video) && !exists(text) && !exists(runRecord) && !exists(spill) &&
            !exists(eyelidTable))
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

bool RecordingNames::isRecordingBaseName(const QString &baseName)
{
    // The stamp's form, without its leading folder separator, and the copy's number.
    static const QRegularExpression form(QStringLiteral("^\\d{8}_\\d{6}_cam(_\\d+)?$"));
    return form.match(baseName).hasMatch();
}
