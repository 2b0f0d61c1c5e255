#pragma once

#include <QObject>
#include <QStringList>

// Stands in for the recorder in window tests: connected to the window the way the
// application connects the real one (its answers arrive queued, as from the worker thread),
// it records what it is asked and answers as the test tells it.
class StandInRecorder : public QObject
{
    Q_OBJECT
public:
    // Connects to `window` with the application's signal and slot signatures.
    void attachTo(QObject *window)
    {
        connect(window, SIGNAL(startRecording(int)), this, SLOT(record(int)), Qt::QueuedConnection);
        connect(window, SIGNAL(workingDirectoryChanged(QString)), this,
                SLOT(setFolderAddress(QString)), Qt::QueuedConnection);
        connect(window, SIGNAL(stopRecording()), this, SLOT(stop()), Qt::QueuedConnection);
        connect(this, SIGNAL(recorded(bool)), window, SLOT(recorded(bool)), Qt::QueuedConnection);
        connect(this, SIGNAL(timeChanged(QString)), window, SLOT(updateTime(QString)),
                Qt::QueuedConnection);
        connect(this, SIGNAL(saving(int)), window, SLOT(showSaving(int)), Qt::QueuedConnection);
        connect(window, SIGNAL(runEvent(QString, qint64, QString)), this,
                SLOT(noteRunEvent(QString, qint64, QString)), Qt::QueuedConnection);
        connect(this, SIGNAL(resultExplained(QString)), window, SLOT(explainResult(QString)),
                Qt::QueuedConnection);
    }

    // What the next record() does: fail at once, or record until stopped.
    bool failsToStart = false;
    // Keeps the answer to stop() until answerHeldStop(), as a recorder busy with its last frame.
    bool holdsStopAnswer = false;
    // Sent with every answer, just before it, when not empty.
    QString reason;

    QStringList folders;
    QList<int> cameras;
    int recordsWhileRecording = 0;
    bool recording = false;
    // The run's events as "event(detail)", or "event" without a detail, and their times.
    QStringList events;
    QList<qint64> eventTimes;

    void answerHeldStop()
    {
        recording = false;
        answer(true);
    }

    // Fails while recording, as on a full disk: the answer comes without a stop.
    void failNow()
    {
        recording = false;
        answer(false);
    }

signals:
    void resultExplained(QString reason);
    void recorded(bool successful);
    void timeChanged(QString time);
    void saving(int percent);

public slots:
    void setFolderAddress(QString newAddress) { folders << newAddress; }
    void noteRunEvent(QString event, qint64 monotonicMs, QString detail)
    {
        events << (detail.isEmpty() ? event : event + '(' + detail + ')');
        eventTimes << monotonicMs;
    }
    void record(int camID)
    {
        cameras << camID;
        if (recording)
            ++recordsWhileRecording;
        if (failsToStart) {
            answer(false);
            return;
        }
        recording = true;
        emit timeChanged("00:00");
    }
    void stop()
    {
        if (!recording || holdsStopAnswer)
            return;
        recording = false;
        answer(true);
    }

private:
    void answer(bool successful)
    {
        if (!reason.isEmpty())
            emit resultExplained(reason);
        emit recorded(successful);
    }
};
