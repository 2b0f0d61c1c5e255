#include "tests/support/PulseAudioServer.h"
#include "tests/support/TestAudioOutput.h"
#include "tests/support/ToneFinder.h"
#include "tests/support/WindowUnderTest.h"

#include <QTemporaryDir>
#include <QTest>

// A run's beeps as the window plays them, heard through a PulseAudio server of the test's
// own while a stand-in recorder takes the run's events. The server is chosen before the
// window exists, because the audio libraries keep their first connection for the process.
class MainWindowBeepsTest : public QObject
{
    Q_OBJECT
private slots:
    void heardWhenTheRunSaysSo();
};

namespace {

constexpr int beeps = 3;
// As for the tone alone: how much the audio output's latency varies from one tone to the
// next, on a busy machine included.
constexpr double latencyJitterMs = 300;

} // namespace

// Three tones before the recording starts, spaced as the run's beep events say.
void MainWindowBeepsTest::heardWhenTheRunSaysSo()
{
    if (!PulseAudioServer::isInstalled())
        QSKIP("pulseaudio or pulseaudio-utils is not installed");
    TestAudioOutput output;
    QString why;
    QVERIFY2(output.start(&why), qPrintable(why));

    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    WindowUnderTest w(workingDirectory.path());
    QVERIFY(!w.window.findChild<BeepTone *>()->usesBell());
    w.postpone->setValue(0);
    w.beeps->setChecked(true);
    w.press();
    QVERIFY(w.starts.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(w.recorder.events.count("beep"), beeps, 20000);
    // Every beep was asked for before the recording was.
    QCOMPARE(w.recorder.events.mid(0, 1 + beeps),
             (QStringList{"new record pressed", "beep", "beep", "beep"}));

    QTRY_VERIFY_WITH_TIMEOUT(output.heardTones(beeps), 20000);
    const QVector<ToneFinder::Tone> tones = output.tones();
    QCOMPARE(tones.size(), beeps);
    for (const ToneFinder::Tone &tone : tones)
        QVERIFY2(qAbs(tone.frequencyHz - BeepTone::frequencyHz) <= 20,
                 qPrintable(QString("%1 Hz").arg(tone.frequencyHz)));
    const QList<qint64> beepTimes = w.recorder.eventTimes.mid(1, beeps);
    for (int i = 1; i < beeps; ++i) {
        const double heardSpacing = tones[i].startMs - tones[i - 1].startMs;
        const qint64 toldSpacing = beepTimes[i] - beepTimes[i - 1];
        const QString spacing = QString("beep %1: told %2 ms, heard %3 ms after the one before")
                                    .arg(i)
                                    .arg(toldSpacing)
                                    .arg(heardSpacing);
        QVERIFY2(toldSpacing >= 1000, qPrintable(spacing));
        QVERIFY2(qAbs(heardSpacing - toldSpacing) <= latencyJitterMs, qPrintable(spacing));
    }
    w.press();
    QCOMPARE(w.stops.count(), 1);
}

QTEST_MAIN(MainWindowBeepsTest)
#include "tst_MainWindowBeeps.moc"
