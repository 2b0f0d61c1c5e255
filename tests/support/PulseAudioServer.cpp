#include "tests/support/PulseAudioServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr int startTimeoutMs = 15000;

} // namespace

PulseAudioServer::PulseAudioServer()
{
    server.setProcessChannelMode(QProcess::MergedChannels);
}

PulseAudioServer::~PulseAudioServer()
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(5000);
    }
}

bool PulseAudioServer::isInstalled()
{
    for (const char *tool : {"pulseaudio", "pactl", "parec"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    }
    return true;
}

bool PulseAudioServer::start(QString *why)
{
    if (!folder.isValid()) {
        *why = "no temporary folder";
        return false;
    }
    QDir(folder.path()).mkpath("run");
    // Everything the server keeps goes into the folder; as root it needs nothing more.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("PULSE_SERVER");
    environment.insert("HOME", folder.path());
    environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
    environment.insert("XDG_RUNTIME_DIR", folder.filePath("run"));
    environment.insert("PULSE_RUNTIME_PATH", folder.filePath("run"));
    environment.insert("PULSE_STATE_PATH", folder.filePath("state"));
    server.setProcessEnvironment(environment);
    server.start("pulseaudio",
                 {"--daemonize=no", "-n", "--exit-idle-time=10", "--use-pid-file=no",
                  "--disable-shm=yes", "--realtime=no", "--high-priority=no", "--log-target=stderr",
                  "--load=module-null-sink sink_name=" + sinkName(),
                  "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                      folder.filePath("native")});
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!answers()) {
        if (server.state() == QProcess::NotRunning || deadline.hasExpired()) {
            *why = "pulseaudio did not start: " + QString::fromLocal8Bit(server.readAll());
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

QString PulseAudioServer::address() const
{
    return "unix:" + folder.filePath("native");
}

QString PulseAudioServer::sinkName() const
{
    return "eyeblink_test";
}

bool PulseAudioServer::answers()
{
    QProcess info;
    info.start("pactl", {"--server=" + address(), "info"});
    return info.waitForFinished(5000) && info.exitStatus() == QProcess::NormalExit &&
           info.exitCode() == 0;
}
