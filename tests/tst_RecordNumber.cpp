#include "RecordNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class RecordNumberTest : public QObject
{
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void next_data();
    void next();
    void nextOfMissingDirectoryIsOne();
};

void RecordNumberTest::read_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QByteArray("7") << 7;
    QTest::newRow("digits then letters") << QByteArray("12abc") << 12;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("leading blank") << QByteArray(" 5") << 5;
    QTest::newRow("plus sign") << QByteArray("+3") << 3;
    QTest::newRow("minus sign") << QByteArray("-4") << -4;
    QTest::newRow("letters first") << QByteArray("notes") << 0;
    QTest::newRow("dot") << QByteArray(".") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("largest int") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("one past largest int") << QByteArray("2147483648") << 0;
    QTest::newRow("eleven digits") << QByteArray("99999999999") << 0;
    QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999999") << 0;
    QTest::newRow("below smallest int") << QByteArray("-2147483649") << 0;
}

void RecordNumberTest::read()
{
    QFETCH(QByteArray, name);
    QFETCH(int, value);
    QCOMPARE(RecordNumber::read(name), value);
}

void RecordNumberTest::next_data()
{
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<qint64>("next");
    QTest::newRow("no subdirectories") << QStringList() << QStringList() << qint64(1);
    QTest::newRow("numbers, words and mixed names")
        << QStringList{"1", "7", "notes", "12abc"} << QStringList() << qint64(13);
    QTest::newRow("files and hidden directories ignored")
        << QStringList{"2", ".40"} << QStringList{"30", "50.txt"} << qint64(3);
    QTest::newRow("blank and sign read as atoi")
        << QStringList{" 5", "+3"} << QStringList() << qint64(6);
    QTest::newRow("too large for an int ignored")
        << QStringList{"99999999999", "4"} << QStringList() << qint64(5);
    QTest::newRow("negative numbers") << QStringList{"-8"} << QStringList() << qint64(1);
    QTest::newRow("largest int has a successor")
        << QStringList{"2147483647"} << QStringList() << qint64(2147483648LL);
}

void RecordNumberTest::next()
{
    QFETCH(QStringList, directories);
    QFETCH(QStringList, files);
    QFETCH(qint64, next);
    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    QDir root(workingDirectory.path());
    for (const QString &directory : directories)
        QVERIFY(root.mkdir(directory));
    for (const QString &file : files) {
        QFile created(root.filePath(file));
        QVERIFY(created.open(QIODevice::WriteOnly));
    }
    QCOMPARE(RecordNumber::next(workingDirectory.path()), next);
}

void RecordNumberTest::nextOfMissingDirectoryIsOne()
{
    QTemporaryDir workingDirectory;
    QCOMPARE(RecordNumber::next(workingDirectory.filePath("missing")), qint64(1));
}

QTEST_GUILESS_MAIN(RecordNumberTest)
#include "tst_RecordNumber.moc"
