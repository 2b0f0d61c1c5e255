#include "runrecord/RunEvents.h"

#include <algorithm>

void RunEvents::folderChanged()
{
    next.clear();
    recordingTakesEvents = false;
}

void RunEvents::note(Event event)
{
    (recordingTakesEvents ? recording : next).append(std::move(event));
}

void RunEvents::recordingStarted(MonotonicClock::time_point startTime)
{
    start = startTime;
    recording = std::move(next);
    next.clear();
    recording.append({QStringLiteral("recording started"), start, {}});
    recordingTakesEvents = true;
}

void RunEvents::recordingEnded(MonotonicClock::time_point end, const QString &endedBy)
{
    recording.append({QStringLiteral("recording ended"), end, endedBy});
    recordingTakesEvents = false;
}

QVector<RunRecord::Event> RunEvents::onRecordingClock() const
{
    QVector<Event> byTime = recording;
    // Stable: events of the same millisecond keep the order they were told in.
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const Event &a, const Event &b) { return a.time < b.time; });
    QVector<RunRecord::Event> events;
    for (const Event &event : qAsConst(byTime)) {
        const qint64 ms = std::chrono::floor<std::chrono::milliseconds>(event.time - start).count();
        events.append({event.name, ms, event.detail});
    }
    return events;
}

std::optional<RunRecord::EndedBy> RunEvents::stopAskedBy() const
{
    const auto last = std::find_if(recording.rbegin(), recording.rend(), [](const Event &event) {
        return event.name == QLatin1String("stop asked");
    });
    if (last == recording.rend())
        return std::nullopt;
    const std::optional<RunRecord::EndedBy> asker = RunRecord::endedByNamed(last->detail);
    const bool request =
        asker == RunRecord::EndedBy::Timer || asker == RunRecord::EndedBy::Button ||
        asker == RunRecord::EndedBy::WindowClosed || asker == RunRecord::EndedBy::Signal;
    return request ? asker : std::nullopt;
}

MonotonicClock::time_point RunEvents::fromMilliseconds(qint64 monotonicMs)
{
    return MonotonicClock::time_point(std::chrono::milliseconds(monotonicMs));
}
