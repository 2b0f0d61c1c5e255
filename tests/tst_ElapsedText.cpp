#include "engine/ElapsedText.h"

#include <QTest>

class ElapsedTextTest : public QObject
{
    Q_OBJECT
private slots:
    void of_data();
    void of();
};

void ElapsedTextTest::of_data()
{
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("start") << qint64(0) << "00:00";
    QTest::newRow("just under a second") << qint64(999) << "00:00";
    QTest::newRow("one second") << qint64(1000) << "00:01";
    QTest::newRow("just under a minute") << qint64(59999) << "00:59";
    QTest::newRow("one minute") << qint64(60000) << "01:00";
    QTest::newRow("a minute and a second") << qint64(61000) << "01:01";
    QTest::newRow("an hour: minutes not wrapped") << qint64(3600000) << "60:00";
    QTest::newRow("100 minutes: three digits") << qint64(6000000) << "100:00";
}

void ElapsedTextTest::of()
{
    QFETCH(qint64, milliseconds);
    QFETCH(QString, expected);
    QCOMPARE(ElapsedText::of(milliseconds), expected);
}

QTEST_APPLESS_MAIN(ElapsedTextTest)
#include "tst_ElapsedText.moc"
