#pragma once

#include "IplImagePointer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <string>

// Records one camera into a video file and a per-frame text file at a time. Lives in the
// worker thread; every slot runs there.
class Recorder : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

signals:
    void frameAvailable(IplImage *image);
    void timeChanged(QString time);
    void recorded(bool successful);
    void finished();

public slots:
    void setFolderAddress(QString newAddress);
    void record(int camID);
    void stop();
    void quit();

private:
    std::string folderAddress;
    std::atomic<bool> stopFlag{true};
    std::atomic<bool> finishFlag{false};
};
