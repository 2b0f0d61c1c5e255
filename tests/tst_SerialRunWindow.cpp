#include "stimulus/SerialRunWindow.h"

#include <QTest>

class SerialRunWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void nothingOutsideARun();
    void keptUpToTheCap_data();
    void keptUpToTheCap();
    void eachRunCountsAnew();
};

void SerialRunWindowTest::nothingOutsideARun()
{
    SerialRunWindow window(3);
    QVERIFY(!window.admit());
    window.open();
    QVERIFY(window.admit());
    window.close();
    QVERIFY(!window.isOpen());
    QVERIFY(!window.admit());
    // Lines between runs are not the cap's drops.
    QCOMPARE(window.dropped(), 0);
    QCOMPARE(window.betweenRuns(), 1);
    window.open();
    QCOMPARE(window.betweenRuns(), 0);
}

void SerialRunWindowTest::keptUpToTheCap_data()
{
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("kept");
    QTest::newRow("below the cap") << 5 << 4 << 4;
    QTest::newRow("at the cap") << 5 << 5 << 5;
    QTest::newRow("beyond the cap") << 5 << 12 << 5;
    QTest::newRow("the default cap, flooded") << int(SerialRunWindow::defaultCap) << 25000 << 10000;
}

void SerialRunWindowTest::keptUpToTheCap()
{
    QFETCH(int, cap);
    QFETCH(int, lines);
    QFETCH(int, kept);
    SerialRunWindow window(cap);
    window.open();
    int admitted = 0;
    for (int i = 0; i < lines; ++i)
        admitted += window.admit() ? 1 : 0;
    QCOMPARE(admitted, kept);
    QCOMPARE(window.kept(), kept);
    QCOMPARE(window.dropped(), lines - kept);
}

void SerialRunWindowTest::eachRunCountsAnew()
{
    SerialRunWindow window(2);
    window.open();
    for (int i = 0; i < 4; ++i)
        window.admit();
    window.close();
    window.open();
    QCOMPARE(window.dropped(), 0);
    QVERIFY(window.admit());
    QVERIFY(window.admit());
    QVERIFY(!window.admit());
    QCOMPARE(window.dropped(), 1);
}

QTEST_APPLESS_MAIN(SerialRunWindowTest)
#include "tst_SerialRunWindow.moc"
