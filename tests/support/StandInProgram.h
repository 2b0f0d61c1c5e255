#pragma once

#include <QFile>
#include <QString>

// A shell script standing in for the stimulus program. It may write process ids into files
// beside it ("$0.pid", "$0.child"), which the test reads back.
class StandInProgram
{
public:
    StandInProgram() = default;
    // Writes the script at path: "#!/bin/sh", then body.
    StandInProgram(const QString &path, const QByteArray &body) : scriptPath(path)
    {
        QFile file(path);
        created = file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\n" + body) > 0;
        file.close();
        created = created && file.setPermissions(file.permissions() | QFile::ExeOwner);
    }

    bool isValid() const { return created; }
    QString path() const { return scriptPath; }
    // The text in the file "<path>.<suffix>", empty until the script has written it.
    QString written(const char *suffix) const
    {
        QFile file(scriptPath + '.' + suffix);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The process id in "<path>.<suffix>", 0 until the script has written it.
    qint64 pid(const char *suffix = "pid") const { return written(suffix).trimmed().toLongLong(); }

    // Whether the process runs: one that has ended but is not yet collected by its parent
    // counts as ended. Reads /proc, so Linux only.
    static bool isRunning(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray fields = stat.readAll();
        // The state follows the command name, which is in parentheses and may hold blanks.
        const int afterName = fields.lastIndexOf(')');
        return afterName > 0 && fields.size() > afterName + 2 && fields[afterName + 2] != 'Z';
    }

    // Whether the process is still known to the system: a child of this process exists until
    // it has been collected.
    static bool exists(qint64 pid)
    {
        return pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid));
    }

private:
    QString scriptPath;
    bool created = false;
};
