#include "eyelid/EyelidTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(std::optional<double>)

// The eyelid table's rows as the recorder and the checker write them and readers parse them.
class EyelidTableTest : public QObject
{
    Q_OBJECT
private slots:
    void rowText_data();
    void rowText();
    void refusedRows_data();
    void refusedRows();
    void readsWholeTable();
    void refusesTableWithoutHeader();
};

void EyelidTableTest::rowText_data()
{
    QTest::addColumn<qint64>("frame");
    QTest::addColumn<double>("ms");
    QTest::addColumn<std::optional<double>>("closure");
    QTest::addColumn<QString>("text");
    QTest::newRow("first frame, open")
        << qint64(0) << 0.0 << std::optional<double>(0.0) << "0,0.000,0.0000\n";
    QTest::newRow("closure rounded to four decimals")
        << qint64(251) << 1012.0 << std::optional<double>(0.052349) << "251,1012.000,0.0523\n";
    QTest::newRow("microseconds kept")
        << qint64(7) << 28.4567 << std::optional<double>(1.0) << "7,28.457,1.0000\n";
    QTest::newRow("not measured") << qint64(3) << 12.0 << std::optional<double>() << "3,12.000,\n";
}

// Written and read back alike: a reader gets what was written, to the decimals kept.
void EyelidTableTest::rowText()
{
    QFETCH(qint64, frame);
    QFETCH(double, ms);
    QFETCH(std::optional<double>, closure);
    QFETCH(QString, text);
    const std::string written = EyelidTable::text({frame, ms, closure});
    QCOMPARE(QString::fromStdString(written), text);
    const std::optional<EyelidTable::Row> read =
        EyelidTable::parse(QByteArray::fromStdString(written).chopped(1));
    QVERIFY(read);
    QCOMPARE(read->frame, frame);
    QCOMPARE(read->ms, std::round(ms * 1000) / 1000);
    QCOMPARE(bool(read->closure), bool(closure));
    if (closure)
        QCOMPARE(*read->closure, std::round(*closure * 10000) / 10000);
}

void EyelidTableTest::refusedRows_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("two fields") << QByteArray("1,2.000");
    QTest::newRow("four fields") << QByteArray("1,2.000,0.5,7");
    QTest::newRow("frame not a number") << QByteArray("x,2.000,0.5");
    QTest::newRow("time not a number") << QByteArray("1,soon,0.5");
    QTest::newRow("closure not a number") << QByteArray("1,2.000,half");
    QTest::newRow("the header") << QByteArray("frame,ms,closure");
}

void EyelidTableTest::refusedRows()
{
    QFETCH(QByteArray, line);
    QVERIFY(!EyelidTable::parse(line));
}

void EyelidTableTest::readsWholeTable()
{
    QTemporaryDir folder;
    const QString fileName = folder.filePath("t_eyelid.csv");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(EyelidTable::header);
    file.write(EyelidTable::text({0, 4, 0.25}).c_str());
    file.write(EyelidTable::text({1, 8, 0.75}).c_str());
    file.close();
    const auto rows = EyelidTable::read(fileName);
    QVERIFY(rows);
    QCOMPARE(rows->size(), 2);
    QCOMPARE(rows->at(1).frame, qint64(1));
    QCOMPARE(rows->at(1).ms, 8.0);
    QCOMPARE(*rows->at(1).closure, 0.75);
}

void EyelidTableTest::refusesTableWithoutHeader()
{
    QTemporaryDir folder;
    const QString fileName = folder.filePath("t_eyelid.csv");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(EyelidTable::text({0, 4, 0.25}).c_str());
    file.close();
    QVERIFY(!EyelidTable::read(fileName));
    QVERIFY(!EyelidTable::read(folder.filePath("missing.csv")));
}

QTEST_GUILESS_MAIN(EyelidTableTest)
#include "tst_EyelidTable.moc"
