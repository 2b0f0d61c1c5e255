#include "ui/RecordNumber.h"

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
    void neverRepeatsBeyondInt();
};

void RecordNumberTest::read_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("number");
    QTest::newRow("plain") << QByteArray("7") << QByteArray("7");
    QTest::newRow("digits then letters") << QByteArray("12abc") << QByteArray("12");
    QTest::newRow("leading zeros") << QByteArray("007") << QByteArray("7");
    QTest::newRow("only zeros") << QByteArray("000") << QByteArray();
    QTest::newRow("leading blank") << QByteArray(" 5") << QByteArray("5");
    QTest::newRow("leading tab and newline") << QByteArray("\t\n9") << QByteArray("9");
    QTest::newRow("plus sign") << QByteArray("+3") << QByteArray("3");
    QTest::newRow("minus sign") << QByteArray("-4") << QByteArray();
    QTest::newRow("blank after the sign") << QByteArray("+ 3") << QByteArray();
    QTest::newRow("letters first") << QByteArray("notes") << QByteArray();
    QTest::newRow("dot") << QByteArray(".") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("largest int") << QByteArray("2147483647") << QByteArray("2147483647");
    QTest::newRow("one past largest int") << QByteArray("2147483648") << QByteArray("2147483648");
    QTest::newRow("eleven digits") << QByteArray("99999999999") << QByteArray("99999999999");
    QTest::newRow("beyond 64 bits")
        << QByteArray("099999999999999999999999x") << QByteArray("99999999999999999999999");
}

void RecordNumberTest::read()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, number);
    QCOMPARE(RecordNumber::read(name), number);
}

void RecordNumberTest::next_data()
{
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("next");
    QTest::newRow("no subdirectories") << QStringList() << QStringList() << "1";
    QTest::newRow("numbers, words and mixed names")
        << QStringList{"1", "7", "notes", "12abc"} << QStringList() << "13";
    QTest::newRow("files and hidden directories ignored")
        << QStringList{"2", ".40"} << QStringList{"30", "50.txt"} << "3";
    QTest::newRow("blank and sign read as atoi") << QStringList{" 5", "+3"} << QStringList() << "6";
    QTest::newRow("negative numbers") << QStringList{"-8"} << QStringList() << "1";
    QTest::newRow("ten after nine") << QStringList{"9", "10abc"} << QStringList() << "11";
    QTest::newRow("longer is larger") << QStringList{"900", "1000"} << QStringList() << "1001";
    QTest::newRow("largest int has a successor")
        << QStringList{"2147483647"} << QStringList() << "2147483648";
    QTest::newRow("beyond int next to 1 and 7")
        << QStringList{"1", "7", "99999999999"} << QStringList() << "100000000000";
    QTest::newRow("largest 64-bit number has a successor")
        << QStringList{"9223372036854775807"} << QStringList() << "9223372036854775808";
    QTest::newRow("beyond 64 bits")
        << QStringList{"99999999999999999999999"} << QStringList() << "100000000000000000000000";
}

void RecordNumberTest::next()
{
    QFETCH(QStringList, directories);
    QFETCH(QStringList, files);
    QFETCH(QString, next);
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
    QCOMPARE(RecordNumber::next(workingDirectory.filePath("missing")), QStringLiteral("1"));
}

// Each run makes the folder it was given: the numbers go on from the largest, one by one.
void RecordNumberTest::neverRepeatsBeyondInt()
{
    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    QDir root(workingDirectory.path());
    for (const char *name : {"1", "7", "99999999999"})
        QVERIFY(root.mkdir(name));
    QStringList taken;
    for (int run = 0; run < 3; ++run) {
        const QString next = RecordNumber::next(root.path());
        QVERIFY2(!root.exists(next), qPrintable(next));
        QVERIFY(root.mkdir(next));
        taken << next;
    }
    QCOMPARE(taken, (QStringList{"100000000000", "100000000001", "100000000002"}));
}

QTEST_GUILESS_MAIN(RecordNumberTest)
#include "tst_RecordNumber.moc"
