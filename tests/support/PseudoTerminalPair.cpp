#include "tests/support/PseudoTerminalPair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString address(const QString &link)
{
    return "pty,raw,echo=0" + (link.isEmpty() ? QString() : ",link=" + link);
}

} // namespace

PseudoTerminalPair::PseudoTerminalPair(const QString &deviceLink, const QString &peerLink)
{
    socat.start("socat", {"-d", "-d", address(deviceLink), address(peerLink)});
    if (!socat.waitForStarted(10000)) {
        reason = "socat did not start: " + socat.errorString();
        return;
    }
    // socat says "... N PTY is /dev/pts/7" for each terminal, then that it starts its transfer.
    const QRegularExpression ptyLine("PTY is (\\S+)");
    QStringList names;
    QString said;
    QDeadlineTimer deadline(20000);
    while (names.size() < 2 && !deadline.hasExpired() && socat.state() == QProcess::Running) {
        socat.waitForReadyRead(200);
        said += QString::fromLocal8Bit(socat.readAllStandardError());
        names.clear();
        auto match = ptyLine.globalMatch(said);
        while (match.hasNext())
            names << match.next().captured(1);
    }
    if (names.size() < 2) {
        reason = "socat named no pair of terminals: " + said;
        return;
    }
    deviceName = deviceLink.isEmpty() ? names[0] : deviceLink;
    peerName = peerLink.isEmpty() ? names[1] : peerLink;
    // The links are made just after the terminals are named.
    while (!(QFileInfo::exists(deviceName) && QFileInfo::exists(peerName)) &&
           !deadline.hasExpired())
        socat.waitForReadyRead(20);
    ready = QFileInfo::exists(deviceName) && QFileInfo::exists(peerName);
    if (!ready)
        reason = "socat's terminals did not appear: " + deviceName + " " + peerName;
}

PseudoTerminalPair::~PseudoTerminalPair()
{
    unplug();
}

void PseudoTerminalPair::unplug()
{
    if (socat.state() == QProcess::NotRunning)
        return;
    socat.terminate();
    if (!socat.waitForFinished(10000)) {
        socat.kill();
        socat.waitForFinished(10000);
    }
}
