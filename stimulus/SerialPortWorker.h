#pragma once

#include "common/MonotonicClock.h"
#include "stimulus/SerialLines.h"
#include "stimulus/SerialRunWindow.h"
#include "stimulus/SerialSetting.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <functional>

// The stimulus hardware's serial port, in a thread of its own (moved there, started with
// start()): every line the device sends during a run becomes a "serial" run event timed by
// its first byte, and the start message goes out at the recording clock's zero. A port that
// cannot be opened or goes away is tried again once a second; the recording never waits for
// it.
class SerialPortWorker : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<MonotonicClock::time_point()>;
    static constexpr int retryMs = 1000;
    // While a run drops lines beyond its cap, their count is told this often.
    static constexpr int droppedReportMs = 250;

    // startMessage: the bytes sent when recording starts; none for nothing sent.
    explicit SerialPortWorker(SerialSetting setting, QByteArray startMessage = {},
                              QObject *parent = nullptr);

    // Call these before start().
    void setClock(Clock readClock) { clock = std::move(readClock); }
    void setLineCap(int cap) { window = SerialRunWindow(cap); }

public slots:
    // Opens the port, in the worker's thread.
    void start();
    // A run begins ("New record"), and ends with its result.
    void openRun();
    void closeRun();
    // The recording clock's zero has just been set.
    void sendStartMessage();

signals:
    // An event for the run record, on the monotonic clock in nanoseconds: "serial" with the
    // line, "serial sent" with the message, "serial lost" with why, and "serial lines dropped"
    // with how many of the run's lines were beyond the cap.
    void runEvent(QString event, qint64 monotonicNs, QString detail);
    // The port could not be opened or went away, in one line.
    void lost(QString why);

private:
    void tryOpen();
    void readLines();
    void portFailed(QSerialPort::SerialPortError error);
    void portLost(const QString &why);
    void noteLine(const SerialLines::Line &line);
    void reportDropped();
    void note(const char *event, MonotonicClock::time_point time, const QString &detail);

    SerialSetting setting;
    QByteArray startMessage;
    Clock clock = [] { return MonotonicClock::now(); };
    SerialLines lines;
    SerialRunWindow window;
    QSerialPort *port = nullptr;
    // Why the port is not open; empty while it is.
    QString lostReason;
    QTimer retryTimer{this};
    QTimer droppedTimer{this};
    int droppedReported = 0;

    friend class SerialPortWorkerTest;
};
