#include "ui/CountdownText.h"

#include <QTest>

class CountdownTextTest : public QObject
{
    Q_OBJECT
private slots:
    void remainingSeconds_data();
    void remainingSeconds();
    void text_data();
    void text();
};

void CountdownTextTest::remainingSeconds_data()
{
    QTest::addColumn<int>("postpone");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<qint64>("remaining");
    QTest::newRow("at the press") << 65 << qint64(0) << qint64(65);
    QTest::newRow("a part second counts as none") << 65 << qint64(999) << qint64(65);
    QTest::newRow("one second") << 65 << qint64(1000) << qint64(64);
    QTest::newRow("last second") << 65 << qint64(64999) << qint64(1);
    QTest::newRow("over") << 65 << qint64(65000) << qint64(0);
    QTest::newRow("late tick after the end") << 1 << qint64(2500) << qint64(-1);
    QTest::newRow("no postponement") << 0 << qint64(0) << qint64(0);
    // A day's worth of elapsed time, as a countdown running across midnight would see it from
    // a monotonic clock; a time of day would have jumped back to 0 instead.
    QTest::newRow("long countdown") << 90000 << qint64(86400000) << qint64(3600);
}

void CountdownTextTest::remainingSeconds()
{
    QFETCH(int, postpone);
    QFETCH(qint64, elapsedMs);
    QFETCH(qint64, remaining);
    QCOMPARE(CountdownText::remainingSeconds(postpone, elapsedMs), remaining);
}

void CountdownTextTest::text_data()
{
    QTest::addColumn<qint64>("remaining");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 s") << qint64(1) << "0:1";
    QTest::newRow("59 s") << qint64(59) << "0:59";
    QTest::newRow("60 s") << qint64(60) << "1:0";
    QTest::newRow("65 s") << qint64(65) << "1:5";
    QTest::newRow("59 min 59 s") << qint64(3599) << "59:59";
    QTest::newRow("an hour drops to 0:0") << qint64(3600) << "0:0";
    QTest::newRow("an hour, 2 min, 5 s") << qint64(3725) << "2:5";
    QTest::newRow("largest postponement") << qint64(999999999) << "46:39";
}

void CountdownTextTest::text()
{
    QFETCH(qint64, remaining);
    QFETCH(QString, text);
    QCOMPARE(CountdownText::of(remaining), text);
}

QTEST_GUILESS_MAIN(CountdownTextTest)
#include "tst_CountdownText.moc"
