#include "capture/BlinkingEye.h"
#include "ui/OpenEyeGate.h"

#include <QTest>

// The gate that holds a trial until the eye has been open for a while, fed closures on an
// injected camera clock.
class OpenEyeGateTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void giveUp_data();
    void giveUp();
    void closures_data();
    void closures();
    void onTheBlinkingEye_data();
    void onTheBlinkingEye();
};

void OpenEyeGateTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("understood");
    QTest::addColumn<double>("level");
    QTest::addColumn<qint64>("holdMs");
    QTest::newRow("labs' usual") << "0.25:200" << true << 0.25 << qint64(200);
    QTest::newRow("no hold") << "0.5:0" << true << 0.5 << qint64(0);
    QTest::newRow("level 1") << "1:50" << true << 1.0 << qint64(50);
    QTest::newRow("level 0 never opens") << "0:200" << false << 0.0 << qint64(0);
    QTest::newRow("level above 1") << "1.5:200" << false << 0.0 << qint64(0);
    QTest::newRow("negative hold") << "0.25:-1" << false << 0.0 << qint64(0);
    QTest::newRow("hold in seconds") << "0.25:0.2" << false << 0.0 << qint64(0);
    QTest::newRow("no hold given") << "0.25" << false << 0.0 << qint64(0);
    QTest::newRow("words") << "open:long" << false << 0.0 << qint64(0);
}

void OpenEyeGateTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, understood);
    QFETCH(double, level);
    QFETCH(qint64, holdMs);
    QString reason;
    const std::optional<OpenEyeGate> gate = OpenEyeGate::parse(text, reason);
    QCOMPARE(gate.has_value(), understood);
    if (!understood) {
        QVERIFY(reason.contains(text));
        return;
    }
    QCOMPARE(gate->level(), level);
    QCOMPARE(gate->holdMs(), holdMs);
}

void OpenEyeGateTest::giveUp_data()
{
    QTest::addColumn<qint64>("holdMs");
    QTest::addColumn<qint64>("giveUpMs");
    QTest::newRow("short hold: a minute") << qint64(200) << qint64(60000);
    QTest::newRow("ten holds make a minute") << qint64(6000) << qint64(60000);
    QTest::newRow("long hold: ten of it") << qint64(9000) << qint64(90000);
}

void OpenEyeGateTest::giveUp()
{
    QFETCH(qint64, holdMs);
    QFETCH(qint64, giveUpMs);
    QCOMPARE(OpenEyeGate(0.25, holdMs).giveUpMs(), giveUpMs);
}

void OpenEyeGateTest::closures_data()
{
    // Pairs of ms and closure fed in turn; the index of the first closure that opens the gate,
    // -1 for none.
    QTest::addColumn<qint64>("holdMs");
    QTest::addColumn<QVector<double>>("fed");
    QTest::addColumn<int>("opensAt");
    QTest::newRow("open for the hold")
        << qint64(200) << QVector<double>{0, 0.1, 100, 0.1, 200, 0.1, 250, 0.1} << 2;
    QTest::newRow("no hold: the first open closure")
        << qint64(0) << QVector<double>{0, 0.9, 10, 0.1} << 1;
    QTest::newRow("a blink restarts the time")
        << qint64(200) << QVector<double>{0, 0.1, 150, 0.6, 160, 0.1, 300, 0.1, 360, 0.1} << 4;
    QTest::newRow("at the level counts as closed")
        << qint64(200) << QVector<double>{0, 0.25, 100, 0.25, 200, 0.25, 300, 0.25} << -1;
    QTest::newRow("a gap could hide a blink")
        << qint64(200) << QVector<double>{0, 0.1, 100, 0.1, 400, 0.1, 500, 0.1, 600, 0.1} << 4;
    QTest::newRow("a camera watched anew counts from 0")
        << qint64(200) << QVector<double>{1000, 0.1, 1150, 0.1, 0, 0.1, 100, 0.1, 200, 0.1} << 4;
}

// At level 0.25.
void OpenEyeGateTest::closures()
{
    QFETCH(qint64, holdMs);
    QFETCH(QVector<double>, fed);
    QFETCH(int, opensAt);
    OpenEyeGate gate(0.25, holdMs);
    int opened = -1;
    for (int i = 0; i + 1 < fed.size() && opened < 0; i += 2) {
        if (gate.feed(fed[i], fed[i + 1]))
            opened = i / 2;
    }
    QCOMPARE(opened, opensAt);
    // Forgotten for the next wait: one closure alone opens nothing unless the hold is 0.
    gate.reset();
    QCOMPARE(gate.feed(5000, 0.1), gate.holdMs() == 0);
}

void OpenEyeGateTest::onTheBlinkingEye_data()
{
    // The test camera's eye: blink k starts at 1000 + 2000k ms, closes over 40 ms, stays shut
    // 40 ms and opens over 120 ms, so its closure falls below 0.25 again 170 ms into a blink.
    QTest::addColumn<double>("startMs");
    QTest::addColumn<qint64>("holdMs");
    QTest::addColumn<double>("openFromMs");
    QTest::newRow("open long enough before the first blink") << 100.0 << qint64(200) << 100.0;
    QTest::newRow("held while the lid is closing") << 1010.0 << qint64(200) << 1170.0;
    QTest::newRow("held while the lid is shut") << 1060.0 << qint64(500) << 1170.0;
    QTest::newRow("the stretch before a blink too short") << 500.0 << qint64(600) << 1170.0;
    QTest::newRow("the hold spans most of an open stretch") << 1200.0 << qint64(1800) << 3170.0;
}

// Fed the true schedule at the watcher's pace (60 closures a second): the gate opens once the
// eye has been open for the hold, and not before, within one closure's period.
void OpenEyeGateTest::onTheBlinkingEye()
{
    QFETCH(double, startMs);
    QFETCH(qint64, holdMs);
    QFETCH(double, openFromMs);
    const double periodMs = 1000.0 / 60;
    OpenEyeGate gate(0.25, holdMs);
    std::optional<double> openedAt;
    for (double ms = startMs; ms < startMs + 10000 && !openedAt; ms += periodMs) {
        if (gate.feed(ms, BlinkingEye::closedFraction(ms)))
            openedAt = ms;
    }
    QVERIFY(openedAt);
    const double due = openFromMs + double(holdMs);
    QVERIFY2(*openedAt >= due, qPrintable(QString::number(*openedAt)));
    QVERIFY2(*openedAt < due + 2 * periodMs, qPrintable(QString::number(*openedAt)));
}

QTEST_MAIN(OpenEyeGateTest)
#include "tst_OpenEyeGate.moc"
