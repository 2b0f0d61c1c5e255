#include "ui/TrialInterval.h"

#include <QTest>

class TrialIntervalTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void draw_data();
    void draw();
};

void TrialIntervalTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("understood");
    QTest::addColumn<qint64>("minMs");
    QTest::addColumn<qint64>("maxMs");
    QTest::newRow("whole seconds") << "10-20" << true << qint64(10000) << qint64(20000);
    QTest::newRow("fractions") << "0.2-0.5" << true << qint64(200) << qint64(500);
    QTest::newRow("one number: fixed") << "15" << true << qint64(15000) << qint64(15000);
    QTest::newRow("no wait") << "0-0" << true << qint64(0) << qint64(0);
    QTest::newRow("blanks") << " 1 - 2 " << true << qint64(1000) << qint64(2000);
    QTest::newRow("longest first") << "20-10" << false << qint64(0) << qint64(0);
    QTest::newRow("negative") << "-1-5" << false << qint64(0) << qint64(0);
    QTest::newRow("words") << "short-long" << false << qint64(0) << qint64(0);
    QTest::newRow("more than a day") << "10-90000" << false << qint64(0) << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0) << qint64(0);
}

void TrialIntervalTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, understood);
    QFETCH(qint64, minMs);
    QFETCH(qint64, maxMs);
    QString reason;
    const std::optional<TrialInterval> interval = TrialInterval::parse(text, reason);
    QCOMPARE(interval.has_value(), understood);
    if (!understood) {
        QVERIFY(reason.contains(QString("'%1'").arg(text)));
        return;
    }
    QCOMPARE(interval->minMs, minMs);
    QCOMPARE(interval->maxMs, maxMs);
}

void TrialIntervalTest::draw_data()
{
    QTest::addColumn<double>("uniform");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("lowest draw: the shortest") << 0.0 << qint64(10000);
    QTest::newRow("highest draw: the longest") << 1.0 << qint64(20000);
    QTest::newRow("middle") << 0.5 << qint64(15000);
    QTest::newRow("a quarter") << 0.25 << qint64(12500);
    QTest::newRow("below the range stays in it") << -0.5 << qint64(10000);
    QTest::newRow("above the range stays in it") << 7.0 << qint64(20000);
}

void TrialIntervalTest::draw()
{
    QFETCH(double, uniform);
    QFETCH(qint64, ms);
    QCOMPARE((TrialInterval{10000, 20000}.draw(uniform)), ms);
}

QTEST_MAIN(TrialIntervalTest)
#include "tst_TrialInterval.moc"
