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

QString RunReasons::cancelled(std::optional<RunRecord::EndedBy> asker, Moment moment)
{
    QString cause;
    if (asker) {
        switch (*asker) {
        case RunRecord::EndedBy::Button:
            cause = text("the button was pressed");
            break;
        case RunRecord::EndedBy::Timer:
            cause = text("the run's time was up");
            break;
        case RunRecord::EndedBy::WindowClosed:
            cause = text("the window was closed");
            break;
        case RunRecord::EndedBy::Signal:
            cause = text("the program was asked to end");
            break;
        default:
            break;
        }
    }
    QString when;
    switch (moment) {
    case Moment::Countdown:
        when = text("during the countdown");
        break;
    case Moment::PreviousRecordingEnding:
        when = text("while the previous recording was ending");
        break;
    case Moment::BeforeRecording:
        when = text("before recording started");
        break;
    }
    return text("Cancelled: %1 %2").arg(cause, when);
}
