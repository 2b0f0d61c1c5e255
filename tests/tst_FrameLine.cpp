#include "runrecord/FrameLine.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<FrameLine>)

// The text file's line form, as the recorder writes it and every reader takes it.
class FrameLineTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void textParsesBack_data();
    void textParsesBack();
};

void FrameLineTest::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<FrameLine>>("expected");
    const std::optional<FrameLine> none;
    QTest::newRow("first frame") << QByteArray("0 0") << std::optional(FrameLine{0, 0});
    QTest::newRow("later frame") << QByteArray("41 1366") << std::optional(FrameLine{41, 1366});
    QTest::newRow("CR as Windows writes")
        << QByteArray("3 99\r") << std::optional(FrameLine{3, 99});
    QTest::newRow("largest numbers")
        << QByteArray("999999999999999999 999999999999999999")
        << std::optional(FrameLine{999999999999999999LL, 999999999999999999LL});
    QTest::newRow("too many digits") << QByteArray("1 1000000000000000000") << none;
    QTest::newRow("leading zero") << QByteArray("01 5") << none;
    QTest::newRow("negative time") << QByteArray("1 -5") << none;
    QTest::newRow("two blanks") << QByteArray("1  5") << none;
    QTest::newRow("tab") << QByteArray("1\t5") << none;
    QTest::newRow("third field") << QByteArray("1 5 7") << none;
    QTest::newRow("one field") << QByteArray("15") << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("LF left on") << QByteArray("1 5\n") << none;
    QTest::newRow("fraction") << QByteArray("1 5.5") << none;
}

void FrameLineTest::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(std::optional<FrameLine>, expected);
    QCOMPARE(FrameLine::parse(text), expected);
}

void FrameLineTest::textParsesBack_data()
{
    QTest::addColumn<qint64>("index");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("zero") << qint64(0) << qint64(0);
    QTest::newRow("hour of 500 fps") << qint64(1800000) << qint64(3600000);
    QTest::newRow("large") << qint64(123456789012) << qint64(987654321098);
}

void FrameLineTest::textParsesBack()
{
    QFETCH(qint64, index);
    QFETCH(qint64, ms);
    const std::string text = FrameLine{index, ms}.text();
    QCOMPARE(text.back(), '\n');
    QCOMPARE(FrameLine::parse(QByteArray::fromStdString(text).chopped(1)),
             std::optional(FrameLine{index, ms}));
}

QTEST_APPLESS_MAIN(FrameLineTest)
#include "tst_FrameLine.moc"
