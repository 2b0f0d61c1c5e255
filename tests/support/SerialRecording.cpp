#include "tests/support/SerialRecording.h"

#include "capture/CameraSources.h"
#include "encode/FfmpegVideoSink.h"
#include "engine/Recorder.h"
#include "stimulus/SerialPortWorker.h"

#include <QDir>
#include <QSerialPort>
#include <QTest>

SerialRecording::SerialRecording(const QString &source, const SerialSetting &port,
                                 const QByteArray &startMessage, const QString &folder)
    : folder(folder), recorder(new Recorder), serial(new SerialPortWorker(port, startMessage))
{
    recorder->setSinkFactory([] { return std::make_unique<FfmpegVideoSink>(); });
    recorder->setSourceFactory(
        [source](int camera) { return CameraSources({}, {source}).open(camera); });
    recorder->moveToThread(&recorderThread);
    QObject::connect(
        recorder, &Recorder::recorded, recorder, [this] { ++results; }, Qt::DirectConnection);
    serial->moveToThread(&serialThread);
    QObject::connect(&serialThread, &QThread::started, serial, &SerialPortWorker::start);
    QObject::connect(&serialThread, &QThread::finished, serial, &QObject::deleteLater);
    QObject::connect(recorder, &Recorder::recorded, serial, &SerialPortWorker::closeRun);
    QObject::connect(recorder, &Recorder::recordingClockStarted, serial,
                     &SerialPortWorker::sendStartMessage);
    QObject::connect(serial, &SerialPortWorker::runEvent, recorder, &Recorder::noteRunEventNs);
    QObject::connect(
        serial, &SerialPortWorker::runEvent, serial,
        [this](const QString &event) { lines += event == RunRecord::Event::serialLine; },
        Qt::DirectConnection);
    recorderThread.start();
    serialThread.start();
    // As the window's press: the folder to the recorder first, then the run to the port.
    Recorder *target = recorder;
    QMetaObject::invokeMethod(recorder, [target, folder] { target->setFolderAddress(folder); });
    QMetaObject::invokeMethod(serial, &SerialPortWorker::openRun);
    QMetaObject::invokeMethod(recorder, [target] { target->record(0); });
}

SerialRecording::~SerialRecording()
{
    Recorder *doomed = recorder;
    QMetaObject::invokeMethod(
        recorder, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    recorderThread.quit();
    serialThread.quit();
    recorderThread.wait();
    serialThread.wait();
}

void SerialRecording::stop()
{
    QMetaObject::invokeMethod(recorder, "stop");
}

std::optional<RunRecord> SerialRecording::runRecord(QString *why) const
{
    const QStringList records = QDir(folder).entryList({"*.json"}, QDir::Files);
    if (records.size() != 1) {
        if (why)
            *why = QString("%1 run records in %2").arg(records.size()).arg(folder);
        return std::nullopt;
    }
    return RunRecord::read(QDir(folder).filePath(records.first()), why);
}

QByteArray SerialRecording::readLine(QSerialPort &peer)
{
    QByteArray received;
    const bool lineRead = QTest::qWaitFor(
        [&] {
            peer.waitForReadyRead(100);
            received += peer.readAll();
            return received.contains('\n');
        },
        30000);
    return lineRead ? received : QByteArray();
}
