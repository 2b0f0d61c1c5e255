#include "runrecord/RunEvents.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const MonotonicClock::time_point start(100s);

RunEvents::Event at(const char *name, MonotonicClock::duration sinceStart, QString detail = {})
{
    return {name, start + sinceStart, std::move(detail)};
}

} // namespace

// Which recording the window's events belong to, and how they read on its clock.
class RunEventsTest : public QObject
{
    Q_OBJECT
private slots:
    void onTheRecordingClockInTimeOrder();
    void eventsAfterTheEndGoToTheNextRecording();
    void stopAskedBy_data();
    void stopAskedBy();
    void fromMilliseconds();
};

// Milliseconds counted down to the one before: 1.5 ms before the start is -2.
void RunEventsTest::onTheRecordingClockInTimeOrder()
{
    RunEvents events;
    events.note(at("beep", -1500us));
    events.note(at("new record pressed", -3s));
    events.recordingStarted(start);
    events.note(at("stop asked", 2500ms, "timer"));
    events.note(at("late", 2500ms));
    events.recordingEnded(start + 2600ms, "timer");
    QCOMPARE(events.onRecordingClock(),
             (QVector<RunRecord::Event>{{"new record pressed", -3000},
                                        {"beep", -2},
                                        {"recording started", 0},
                                        {"stop asked", 2500, "timer"},
                                        {"late", 2500},
                                        {"recording ended", 2600, "timer"}}));
}

void RunEventsTest::eventsAfterTheEndGoToTheNextRecording()
{
    RunEvents events;
    events.recordingStarted(start);
    events.recordingEnded(start + 1s, "button");
    events.note(at("new record pressed", 2s));
    // The ended recording keeps its own until the next starts.
    QCOMPARE(events.onRecordingClock().size(), 2);
    events.recordingStarted(start + 3s);
    const QVector<RunRecord::Event> next = events.onRecordingClock();
    QCOMPARE(next.first(), RunRecord::Event("new record pressed", -1000));
    // A new folder drops what was told for a record that never recorded.
    events.recordingEnded(start + 4s, "button");
    events.note(at("program started", 5s));
    events.folderChanged();
    events.recordingStarted(start + 6s);
    QCOMPARE(events.onRecordingClock(), (QVector<RunRecord::Event>{{"recording started", 0}}));
}

void RunEventsTest::stopAskedBy_data()
{
    QTest::addColumn<QStringList>("details");
    QTest::addColumn<int>("asker");
    QTest::newRow("none") << QStringList{} << -1;
    QTest::newRow("the last one counts")
        << QStringList{"button", "signal"} << int(RunRecord::EndedBy::Signal);
    QTest::newRow("window closed")
        << QStringList{"window closed"} << int(RunRecord::EndedBy::WindowClosed);
    QTest::newRow("a cause that asks nothing") << QStringList{"disk low"} << -1;
    QTest::newRow("unknown") << QStringList{"the cat"} << -1;
}

void RunEventsTest::stopAskedBy()
{
    QFETCH(QStringList, details);
    QFETCH(int, asker);
    RunEvents events;
    events.recordingStarted(start);
    for (const QString &detail : details)
        events.note(at("stop asked", 1s, detail));
    const std::optional<RunRecord::EndedBy> found = events.stopAskedBy();
    QCOMPARE(found ? int(*found) : -1, asker);
}

void RunEventsTest::fromMilliseconds()
{
    QVERIFY(RunEvents::fromMilliseconds(1234) ==
            MonotonicClock::time_point(std::chrono::milliseconds(1234)));
}

QTEST_GUILESS_MAIN(RunEventsTest)
#include "tst_RunEvents.moc"
