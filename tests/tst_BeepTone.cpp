#include "tests/support/PulseAudioServer.h"
#include "tests/support/TestAudioOutput.h"
#include "tests/support/ToneFinder.h"
#include "ui/AudioOutputs.h"
#include "ui/BeepTone.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Plays the beeps through a PulseAudio server of the test's own and listens to what came out.
// The audio libraries keep their connection for the life of the process, so the bell case
// runs in a process of its own (CTest gives it PULSE_SERVER pointing nowhere).
class BeepToneTest : public QObject
{
    Q_OBJECT
private slots:
    void heardThroughTheAudioOutput();
    void bellWithoutAudioOutput();
};

namespace {

constexpr int beeps = 3;
constexpr int beepSpacingMs = 1000;
// Heard spacing against asked spacing: the audio output's latency varies this much at most.
// Idle it varies by 20 ms; with both cores busy, one tone waited up to 160 ms longer for the
// server than the one before it.
constexpr double latencyJitterMs = 300;
// The server rewinds the sink to start a new sound at once, but the monitor has already
// recorded what was rewound: it misses up to its own latency of each tone's beginning.
constexpr double monitorMissesMs = 2 * MonitorRecording::latencyMs;

// Beeps as a run does: one, then two more after a second each, waiting in an event loop.
// Returns the times that play() gave.
QList<qint64> beepThreeTimes(BeepTone &beep)
{
    QList<qint64> asked{beep.play()};
    for (int i = 1; i < beeps; ++i) {
        QEventLoop wait;
        QTimer::singleShot(beepSpacingMs, Qt::PreciseTimer, &wait, &QEventLoop::quit);
        wait.exec();
        asked << beep.play();
    }
    return asked;
}

// play() gives each beep's time as played() reports it.
void compareAsked(const QList<qint64> &asked, const QSignalSpy &played)
{
    QCOMPARE(played.count(), asked.size());
    for (int i = 0; i < asked.size(); ++i)
        QCOMPARE(played[i][0].toLongLong(), asked[i]);
}

} // namespace

void BeepToneTest::heardThroughTheAudioOutput()
{
    if (!PulseAudioServer::isInstalled())
        QSKIP("pulseaudio or pulseaudio-utils is not installed");
    TestAudioOutput output;
    QString why;
    QVERIFY2(output.start(&why), qPrintable(why));

    BeepTone beep;
    QVERIFY(!beep.usesBell());
    QSignalSpy played(&beep, &BeepTone::played);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(20);
    compareAsked(beepThreeTimes(beep), played);
    QCOMPARE(played.count(), beeps);
    // The event loop went on between the beeps.
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));

    QTRY_VERIFY_WITH_TIMEOUT(output.heardTones(beeps), 20000);
    const QVector<ToneFinder::Tone> tones = output.tones();
    QCOMPARE(tones.size(), beeps);
    for (int i = 0; i < beeps; ++i) {
        const QString tone = QString("tone %1: %2 ms at %3 Hz")
                                 .arg(i)
                                 .arg(tones[i].durationMs)
                                 .arg(tones[i].frequencyHz);
        QVERIFY2(tones[i].durationMs >= BeepTone::durationMs - monitorMissesMs, qPrintable(tone));
        QVERIFY2(tones[i].durationMs <= BeepTone::durationMs + 10, qPrintable(tone));
        QVERIFY2(qAbs(tones[i].frequencyHz - BeepTone::frequencyHz) <= 20, qPrintable(tone));
    }
    for (int i = 1; i < beeps; ++i) {
        const double heardSpacing = tones[i].startMs - tones[i - 1].startMs;
        const qint64 askedSpacing = played[i][0].toLongLong() - played[i - 1][0].toLongLong();
        const QString spacing = QString("beep %1: asked %2 ms, heard %3 ms after the one before")
                                    .arg(i)
                                    .arg(askedSpacing)
                                    .arg(heardSpacing);
        QVERIFY2(askedSpacing >= beepSpacingMs, qPrintable(spacing));
        QVERIFY2(qAbs(heardSpacing - askedSpacing) <= latencyJitterMs, qPrintable(spacing));
    }
}

void BeepToneTest::bellWithoutAudioOutput()
{
    if (AudioOutputs::exists())
        QSKIP("an audio output exists; this case runs with PULSE_SERVER pointing nowhere");
    QTest::ignoreMessage(QtDebugMsg, "Beeps ring the bell: no audio output");
    BeepTone beep;
    QVERIFY(beep.usesBell());
    QSignalSpy played(&beep, &BeepTone::played);
    compareAsked(beepThreeTimes(beep), played);
    QCOMPARE(played.count(), beeps);
    QVERIFY(played[2][0].toLongLong() - played[0][0].toLongLong() >= 2 * beepSpacingMs);
}

QTEST_MAIN(BeepToneTest)
#include "tst_BeepTone.moc"
