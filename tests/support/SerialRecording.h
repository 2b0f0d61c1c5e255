#pragma once

#include "runrecord/RunRecord.h"
#include "stimulus/SerialSetting.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <optional>

class QSerialPort;
class Recorder;
class SerialPortWorker;

// A recording with the stimulus hardware's serial port beside it, each in a thread of its own
// and wired as the application wires them: the port opens at once, the run begins and the
// recording of source starts in folder, as a press of "New record" begins them.
class SerialRecording
{
public:
    SerialRecording(const QString &source, const SerialSetting &port,
                    const QByteArray &startMessage, const QString &folder);
    // Deletes the recorder in its thread, which completes a recording still running.
    ~SerialRecording();
    SerialRecording(const SerialRecording &) = delete;
    SerialRecording &operator=(const SerialRecording &) = delete;

    // The recording's result is in.
    bool ended() const { return results > 0; }
    // The stimulus hardware's lines the port has read in this run so far.
    int linesRead() const { return lines; }
    void stop();
    // The run record in folder, once ended.
    std::optional<RunRecord> runRecord(QString *why = nullptr) const;
    // What the device's other end reads up to the first line's end, such as the start message;
    // nothing when no line came.
    static QByteArray readLine(QSerialPort &peer);

private:
    QString folder;
    Recorder *recorder;
    SerialPortWorker *serial;
    QThread recorderThread;
    QThread serialThread;
    std::atomic<int> results{0};
    std::atomic<int> lines{0};
};
