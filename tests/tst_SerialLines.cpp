#include "stimulus/SerialLines.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const MonotonicClock::time_point t0{1000s};

} // namespace

class SerialLinesTest : public QObject
{
    Q_OBJECT
private slots:
    void linesOfOneRead_data();
    void linesOfOneRead();
    void lineSplitAcrossReads();
    void transferTimeAtTheRate();
    void neverBeforeWhatWasKnown();
    void longLineCut_data();
    void longLineCut();
    void partialLineForgotten();
};

void SerialLinesTest::linesOfOneRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("one line") << QByteArray("CS\n") << QStringList{"CS"};
    QTest::newRow("carriage return and new line") << QByteArray("US\r\n") << QStringList{"US"};
    QTest::newRow("two lines") << QByteArray("CS\nUS\n") << QStringList{"CS", "US"};
    QTest::newRow("empty line") << QByteArray("\n") << QStringList{""};
    QTest::newRow("no end yet") << QByteArray("CS") << QStringList{};
    QTest::newRow("binary bytes escaped")
        << QByteArray("\x01\xfe\r\x00z\n", 6) << QStringList{"\\x01\\xfe\\x0d\\x00z"};
}

void SerialLinesTest::linesOfOneRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, texts);
    SerialLines lines;
    QStringList taken;
    for (const SerialLines::Line &line : lines.take(bytes, t0)) {
        taken << line.text;
        // Without a rate, every byte of a read arrived when it was stamped.
        QCOMPARE(line.firstByte, t0);
    }
    QCOMPARE(taken, texts);
}

void SerialLinesTest::lineSplitAcrossReads()
{
    SerialLines lines;
    QVERIFY(lines.take("trial 1", t0).isEmpty());
    const QVector<SerialLines::Line> taken = lines.take("7 CS\nUS", t0 + 30ms);
    QCOMPARE(taken.size(), 1);
    QCOMPARE(taken[0].text, "trial 17 CS");
    QCOMPARE(taken[0].firstByte, t0);
    // The rest begins the next line, timed by its own read.
    const QVector<SerialLines::Line> next = lines.take("\n", t0 + 60ms);
    QCOMPARE(next.size(), 1);
    QCOMPARE(next[0].text, "US");
    QCOMPARE(next[0].firstByte, t0 + 30ms);
}

// At 1000 baud a byte takes 10 ms: the first byte of the read's 6 arrived 60 ms before the
// read was stamped, the fourth 30 ms.
void SerialLinesTest::transferTimeAtTheRate()
{
    SerialLines lines(1000);
    const QVector<SerialLines::Line> taken = lines.take("ab\ncd\n", t0);
    QCOMPARE(taken.size(), 2);
    QCOMPARE(taken[0].firstByte, t0 - 60ms);
    QCOMPARE(taken[1].firstByte, t0 - 30ms);
}

// A device faster than its rate: the correction for the rate stops at the previous read, which
// found none of the bytes, and at a message written to the device, which the line may answer.
void SerialLinesTest::neverBeforeWhatWasKnown()
{
    SerialLines lines(1000);
    QCOMPARE(lines.take("a\n", t0).first().firstByte, t0 - 20ms);
    QCOMPARE(lines.take("CS\n", t0 + 5ms).first().firstByte, t0);
    lines.notBefore(t0 + 40ms);
    QCOMPARE(lines.take("US\n", t0 + 50ms).first().firstByte, t0 + 40ms);
    // Far enough from both, the rate counts in full.
    QCOMPARE(lines.take("go\n", t0 + 200ms).first().firstByte, t0 + 170ms);
}

void SerialLinesTest::longLineCut_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("cut");
    QTest::newRow("300 bytes") << 300 << QByteArray("\n") << true;
    QTest::newRow("257 bytes") << 257 << QByteArray("\r\n") << true;
    QTest::newRow("256 bytes and carriage return") << 256 << QByteArray("\r\n") << false;
    QTest::newRow("256 bytes") << 256 << QByteArray("\n") << false;
}

void SerialLinesTest::longLineCut()
{
    QFETCH(int, length);
    QFETCH(QByteArray, end);
    QFETCH(bool, cut);
    if (cut)
        QTest::ignoreMessage(QtDebugMsg, "Serial line longer than 256 bytes cut");
    QByteArray line;
    for (int i = 0; i < length; ++i)
        line += char('a' + i % 26);
    SerialLines lines;
    const QVector<SerialLines::Line> taken = lines.take(line + end + "next\n", t0);
    QCOMPARE(taken.size(), 2);
    QCOMPARE(taken[0].text, QString::fromLatin1(line.left(SerialLines::longestLine)));
    QCOMPARE(taken[1].text, "next");
}

void SerialLinesTest::partialLineForgotten()
{
    SerialLines lines;
    lines.take("half a li", t0);
    lines.clear();
    const QVector<SerialLines::Line> taken = lines.take("whole\n", t0 + 1s);
    QCOMPARE(taken.size(), 1);
    QCOMPARE(taken[0].text, "whole");
    QCOMPARE(taken[0].firstByte, t0 + 1s);
}

QTEST_APPLESS_MAIN(SerialLinesTest)
#include "tst_SerialLines.moc"
