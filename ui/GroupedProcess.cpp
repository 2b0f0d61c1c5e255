#include "ui/GroupedProcess.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Run in the child between fork and exec.
void leadNewGroup()
{
    ::setpgid(0, 0);
}

} // namespace
#endif

GroupedProcess::GroupedProcess(QObject *parent) : QProcess(parent)
{
#if defined(Q_OS_UNIX) && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    setChildProcessModifier(leadNewGroup);
#endif
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
void GroupedProcess::setupChildProcess()
{
#ifdef Q_OS_UNIX
    leadNewGroup();
#endif
}
#endif

void GroupedProcess::startInGroup(const QString &program, OpenMode mode)
{
    start(program, {}, mode);
    group = processId();
#ifdef Q_OS_UNIX
    // Also from this side: a group signalled before the child got to its own call exists all
    // the same. Once the child has run its program this fails harmlessly.
    if (group > 0)
        ::setpgid(pid_t(group), pid_t(group));
#endif
}

void GroupedProcess::askGroupToEnd()
{
#ifdef Q_OS_UNIX
    if (group > 0)
        ::kill(-pid_t(group), SIGTERM);
#else
    terminate();
#endif
}

bool GroupedProcess::killGroup()
{
#ifdef Q_OS_UNIX
    return group > 0 && ::kill(-pid_t(group), SIGKILL) == 0;
#else
    const bool running = state() != NotRunning;
    kill();
    return running;
#endif
}

QString GroupedProcess::exitText() const
{
    if (exitStatus() == NormalExit)
        return QStringLiteral("code %1").arg(exitCode());
#ifdef Q_OS_UNIX
    // The toolkit gives the signal that ended it as its code.
    return QStringLiteral("signal %1").arg(exitCode());
#else
    return QStringLiteral("a crash, code %1").arg(exitCode());
#endif
}
