#include "engine/FrameTimeline.h"

#include <QElapsedTimer>
#include <QTest>
#include <QVector>

#include <limits>

using Values = QVector<qint64>;

namespace {

// No capture time, or no sequence number.
constexpr qint64 none = std::numeric_limits<qint64>::min();

const MonotonicClock::time_point start = MonotonicClock::time_point(std::chrono::hours(50));

MonotonicClock::time_point at(qint64 milliseconds)
{
    return start + std::chrono::milliseconds(milliseconds);
}

} // namespace

class FrameTimelineTest : public QObject
{
    Q_OBJECT
private slots:
    void placesFrames_data();
    void placesFrames();
    void monotonicClockIsTheToolkitsClock();
};

void FrameTimelineTest::placesFrames_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<bool>("live");
    QTest::addColumn<Values>("captures");
    QTest::addColumn<Values>("sequences");
    QTest::addColumn<Values>("arrivals");
    QTest::addColumn<Values>("milliseconds");
    QTest::addColumn<Values>("lost");
    QTest::addColumn<bool>("captureTimesUsed");

    QTest::newRow("capture times, however late the frames came")
        << 30.0 << true << Values{0, 33, 67, 100} << Values{none, none, none, none}
        << Values{400, 401, 402, 403} << Values{0, 33, 67, 100} << Values{0, 0, 0, 0} << true;
    QTest::newRow("arrival where the source has no times")
        << 30.0 << true << Values{none, none, none} << Values{none, none, none}
        << Values{12, 80, 81} << Values{12, 80, 81} << Values{0, 0, 0} << true;
    QTest::newRow("before the start: earlier than zero")
        << 30.0 << true << Values{-20, 13} << Values{none, none} << Values{5, 20} << Values{-20, 13}
        << Values{0, 0} << true;
    QTest::newRow("gaps in the sequence, counted exactly")
        << 30.0 << true << Values{0, 33, 167, 200} << Values{7, 8, 12, 13}
        << Values{1, 34, 168, 201} << Values{0, 33, 167, 200} << Values{0, 0, 3, 0} << true;
    QTest::newRow("the sequence rules over the times")
        << 30.0 << true << Values{0, 300} << Values{0, 1} << Values{1, 301} << Values{0, 300}
        << Values{0, 0} << true;
    QTest::newRow("gaps in the capture times: rounded to whole periods")
        << 10.0 << true << Values{0, 100, 260, 400, 600, 1000}
        << Values{none, none, none, none, none, none} << Values{1, 101, 261, 401, 601, 1001}
        << Values{0, 100, 260, 400, 600, 1000} << Values{0, 0, 1, 0, 1, 3} << true;
    QTest::newRow("late frames by arrival alone are no losses")
        << 30.0 << true << Values{none, none} << Values{none, none} << Values{0, 500}
        << Values{0, 500} << Values{0, 0} << true;
    QTest::newRow("a file's gaps are no losses")
        << 30.0 << false << Values{0, 500} << Values{0, 9} << Values{0, 500} << Values{0, 500}
        << Values{0, 0} << true;
    QTest::newRow("unknown rate: no gap is a loss")
        << 0.0 << true << Values{0, 500} << Values{none, none} << Values{1, 501} << Values{0, 500}
        << Values{0, 0} << true;
    QTest::newRow("times of another clock: arrival instead")
        << 30.0 << true << Values{-3'600'000, -3'599'967, -3'599'933} << Values{none, none, none}
        << Values{10, 43, 77} << Values{10, 43, 77} << Values{0, 0, 0} << false;
    QTest::newRow("times after the arrival: arrival instead")
        << 30.0 << true << Values{50, 83} << Values{none, none} << Values{10, 43} << Values{10, 43}
        << Values{0, 0} << false;
    QTest::newRow("times that run backwards: arrival from then on")
        << 30.0 << true << Values{0, 33, 20, 100} << Values{none, none, none, none}
        << Values{1, 34, 70, 101} << Values{0, 33, 70, 101} << Values{0, 0, 0, 0} << false;
}

void FrameTimelineTest::placesFrames()
{
    QFETCH(double, fps);
    QFETCH(bool, live);
    QFETCH(Values, captures);
    QFETCH(Values, sequences);
    QFETCH(Values, arrivals);
    QFETCH(Values, milliseconds);
    QFETCH(Values, lost);
    QFETCH(bool, captureTimesUsed);
    if (!captureTimesUsed)
        QTest::ignoreMessage(QtDebugMsg,
                             "capture times not on the monotonic clock: frames timed on arrival");
    FrameTimeline timeline(start, fps, live);
    Values placed;
    Values counted;
    for (int i = 0; i < captures.size(); ++i) {
        FrameSource::Frame frame;
        if (captures[i] != none)
            frame.captureTime = at(captures[i]);
        if (sequences[i] != none)
            frame.sequence = std::uint64_t(sequences[i]);
        const FrameTimeline::Placement placement = timeline.place(frame, at(arrivals[i]));
        placed << placement.milliseconds;
        counted << placement.lostBefore;
    }
    QCOMPARE(placed, milliseconds);
    QCOMPARE(counted, lost);
    QCOMPARE(timeline.usesCaptureTimes(), captureTimesUsed);
}

// Capture times, the recording clock and the window's QElapsedTimer readings are compared as
// readings of one clock: a clock with another epoch would be hours or years off.
void FrameTimelineTest::monotonicClockIsTheToolkitsClock()
{
    QElapsedTimer timer;
    timer.start();
    const qint64 ours = std::chrono::duration_cast<std::chrono::milliseconds>(
                            MonotonicClock::now().time_since_epoch())
                            .count();
    QVERIFY2(qAbs(ours - timer.msecsSinceReference()) < 1000,
             qPrintable(QString("%1 against %2").arg(ours).arg(timer.msecsSinceReference())));
}

QTEST_APPLESS_MAIN(FrameTimelineTest)
#include "tst_FrameTimeline.moc"
