#include "stimulus/SerialPortWorker.h"

#include "runrecord/RunRecord.h"
#include "stimulus/SerialText.h"

#include <QDebug>

namespace {

qint64 nanoseconds(MonotonicClock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

} // namespace

SerialPortWorker::SerialPortWorker(SerialSetting setting, QByteArray startMessage, QObject *parent)
    : QObject(parent), setting(std::move(setting)), startMessage(std::move(startMessage)),
      lines(this->setting.baud)
{
    retryTimer.setInterval(retryMs);
    connect(&retryTimer, &QTimer::timeout, this, &SerialPortWorker::tryOpen);
    droppedTimer.setSingleShot(true);
    droppedTimer.setInterval(droppedReportMs);
    connect(&droppedTimer, &QTimer::timeout, this, &SerialPortWorker::reportDropped);
}

void SerialPortWorker::start()
{
    port = new QSerialPort(this);
    connect(port, &QSerialPort::readyRead, this, &SerialPortWorker::readLines);
    connect(port, &QSerialPort::errorOccurred, this, &SerialPortWorker::portFailed);
    tryOpen();
}

void SerialPortWorker::openRun()
{
    if (window.betweenRuns() > 0)
        qDebug("%d serial lines between runs dropped", window.betweenRuns());
    window.open();
    droppedReported = 0;
    droppedTimer.stop();
    // A run that begins without its port says so.
    if (!lostReason.isEmpty())
        note("serial lost", clock(), lostReason);
}

void SerialPortWorker::closeRun()
{
    window.close();
    droppedTimer.stop();
}

void SerialPortWorker::sendStartMessage()
{
    if (startMessage.isEmpty())
        return;
    if (!port->isOpen()) {
        qDebug("Serial start message not sent: %s", qPrintable(lostReason));
        return;
    }
    // Timed as it is handed over: flushing may already read the device's answer, which must
    // not come before it.
    const bool written = port->write(startMessage) == startMessage.size();
    const MonotonicClock::time_point sent = clock();
    lines.notBefore(sent);
    // Written at once rather than when the event loop next sees the port writable.
    if (!written || !port->flush()) {
        qDebug("Serial start message not sent: %s", qPrintable(port->errorString()));
        return;
    }
    note("serial sent", sent, SerialText::escaped(startMessage));
}

void SerialPortWorker::tryOpen()
{
    port->setPortName(setting.device);
    if (!port->open(QIODevice::ReadWrite) || !port->setBaudRate(setting.baud)) {
        const QString why = port->errorString();
        port->close();
        portLost(why);
        return;
    }
    retryTimer.stop();
    lines.clear();
    lostReason.clear();
    qDebug("Serial port %s opened at %d baud", qPrintable(setting.device), int(setting.baud));
}

void SerialPortWorker::readLines()
{
    // Stamped before anything else: a line's time is its bytes' arrival.
    const MonotonicClock::time_point arrival = clock();
    const QByteArray bytes = port->readAll();
    for (const SerialLines::Line &line : lines.take(bytes, arrival))
        noteLine(line);
}

void SerialPortWorker::portFailed(QSerialPort::SerialPortError error)
{
    // Only the errors after which the port reads nothing more.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    const QString why = port->errorString();
    port->close();
    portLost(why);
}

void SerialPortWorker::portLost(const QString &why)
{
    retryTimer.start();
    if (!lostReason.isEmpty())
        return;
    lostReason = why.isEmpty() ? QStringLiteral("unknown error") : why;
    qDebug("Serial port %s lost: %s; tried again every second", qPrintable(setting.device),
           qPrintable(lostReason));
    emit lost(QStringLiteral("serial port %1 lost: %2").arg(setting.device, lostReason));
    note("serial lost", clock(), lostReason);
}

void SerialPortWorker::noteLine(const SerialLines::Line &line)
{
    if (window.admit()) {
        note(RunRecord::Event::serialLine, line.firstByte, line.text);
        return;
    }
    if (window.isOpen() && !droppedTimer.isActive())
        droppedTimer.start();
}

void SerialPortWorker::reportDropped()
{
    if (!window.isOpen() || window.dropped() == droppedReported)
        return;
    droppedReported = window.dropped();
    note("serial lines dropped", clock(), QString::number(droppedReported));
}

void SerialPortWorker::note(const char *event, MonotonicClock::time_point time,
                            const QString &detail)
{
    if (window.isOpen())
        emit runEvent(QString::fromLatin1(event), nanoseconds(time), detail);
}
