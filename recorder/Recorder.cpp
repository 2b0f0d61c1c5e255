#include "Recorder.h"

#include <QDebug>

Recorder::Recorder(QObject *parent) : QObject(parent) {}

Recorder::~Recorder()
{
    qDebug("BD: destructor");
}

void Recorder::setFolderAddress(QString newAddress)
{
    folderAddress = newAddress.toStdString().c_str();
}

void Recorder::record(int camID)
{
    Q_UNUSED(camID)
    emit recorded(false);
}

void Recorder::stop()
{
    stopFlag = true;
}

void Recorder::quit()
{
    qDebug("BD: quit");
    emit finished();
    qDebug("BD: finish emitted");
}
