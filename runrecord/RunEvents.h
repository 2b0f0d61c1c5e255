#pragma once

#include "common/MonotonicClock.h"
#include "runrecord/RunRecord.h"

#include <QString>
#include <QVector>

#include <optional>

// The run's events as the window tells them, each kept for the recording it belongs to. A new
// record folder begins a run, so what follows it belongs to the next recording; what comes
// while a recording runs, with no newer folder given since it started, belongs to that
// recording. A run that never records loses its events at the next folder.
class RunEvents
{
public:
    struct Event
    {
        QString name;
        MonotonicClock::time_point time;
        QString detail;
    };

    void folderChanged();
    void note(Event event);
    // The next recording's events become those of the recording that started at start, which
    // is 0 on its clock.
    void recordingStarted(MonotonicClock::time_point start);
    // Later events go to the next recording; the ended one keeps its own until then.
    void recordingEnded(MonotonicClock::time_point end, const QString &endedBy);

    // The running or last recording's events on its clock, in time order.
    QVector<RunRecord::Event> onRecordingClock() const;
    // Who asked the running or last recording to stop: the detail of its last "stop asked";
    // nothing without one, or with a detail that names no one who asks (timer, button,
    // window closed, signal).
    std::optional<RunRecord::EndedBy> stopAskedBy() const;

    // A reading of QElapsedTimer::msecsSinceReference(), as the window takes its events' times.
    static MonotonicClock::time_point fromMilliseconds(qint64 monotonicMs);

private:
    QVector<Event> next;
    QVector<Event> recording;
    MonotonicClock::time_point start;
    // A recording runs and no folder was given since it started.
    bool recordingTakesEvents = false;
};
