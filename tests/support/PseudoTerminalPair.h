#pragma once

#include <QProcess>
#include <QString>

// Two connected pseudo-terminals made by socat, standing in for a serial device and the
// microcontroller at its other end: what is written to one is read from the other.
class PseudoTerminalPair
{
public:
    // With names, each terminal is reached through a link of that name, which a new pair with
    // the same names makes again; without, through the names socat chose.
    explicit PseudoTerminalPair(const QString &deviceLink = {}, const QString &peerLink = {});
    ~PseudoTerminalPair();
    PseudoTerminalPair(const PseudoTerminalPair &) = delete;
    PseudoTerminalPair &operator=(const PseudoTerminalPair &) = delete;

    // Both terminals are there; otherwise why says what went wrong.
    bool isReady() const { return ready; }
    QString why() const { return reason; }
    QString device() const { return deviceName; }
    QString peer() const { return peerName; }

    // Ends socat (SIGTERM: it removes its links), as a device unplugged.
    void unplug();

private:
    QProcess socat;
    bool ready = false;
    QString reason;
    QString deviceName;
    QString peerName;
};
