#include "ui/RunReasons.h"

#include "ui/RunTimes.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

} // namespace

QString RunReasons::missingDirectory(const QString &directory)
{
    if (directory.isEmpty())
        return text("No working directory chosen");
    if (QFileInfo::exists(directory))
        return text("%1 is not a directory").arg(directory);
    return text("%1 does not exist").arg(directory);
}

QString RunReasons::tooLong(int postponeSeconds, int lengthSeconds)
{
    return text("%1 s postponement + %2 s video length = %3 s, more than %4 s")
        .arg(postponeSeconds)
        .arg(lengthSeconds)
        .arg(qint64(postponeSeconds) + lengthSeconds)
        .arg(RunTimes::longestSeconds);
}

QString RunReasons::programFailedToStart(const QString &program, const QString &failure)
{
    return text("program %1 failed to start: %2").arg(program, failure);
}

QString RunReasons::programEnded(const QString &program, const QString &how)
{
    return text("program %1 ended with %2").arg(program, how);
}

QString RunReasons::joined(QStringList reasons)
{
    reasons.removeAll(QString());
    return reasons.join(QLatin1String("; "));
}
