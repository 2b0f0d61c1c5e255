#include "stimulus/SerialText.h"

#include <QTest>

class SerialTextTest : public QObject
{
    Q_OBJECT
private slots:
    void escaped_data();
    void escaped();
    void unescaped_data();
    void unescaped();
    void everyByteComesBack();
};

void SerialTextTest::escaped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("printable text") << QByteArray("CS on 250 ms") << "CS on 250 ms";
    QTest::newRow("tab and carriage return") << QByteArray("a\tb\rc") << "a\\x09b\\x0dc";
    QTest::newRow("the escape's own backslash") << QByteArray("a\\xb") << "a\\x5cxb";
    QTest::newRow("zero byte") << QByteArray("a\0b", 3) << "a\\x00b";
    QTest::newRow("high bytes, lower case hex") << QByteArray("\xff\xc3\xa9") << "\\xff\\xc3\\xa9";
    QTest::newRow("delete") << QByteArray("\x7f") << "\\x7f";
    QTest::newRow("nothing") << QByteArray() << "";
}

void SerialTextTest::escaped()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(SerialText::escaped(bytes), text);
}

void SerialTextTest::unescaped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "start" << QByteArray("start");
    QTest::newRow("new line") << "go\\n" << QByteArray("go\n");
    QTest::newRow("carriage return and tab") << "a\\r\\tb" << QByteArray("a\r\tb");
    QTest::newRow("hex, either case") << "\\x01\\xFf\\x0a" << QByteArray("\x01\xff\n");
    QTest::newRow("backslash") << "a\\\\n" << QByteArray("a\\n");
    QTest::newRow("unknown escape kept") << "a\\qb" << QByteArray("a\\qb");
    QTest::newRow("hex without two digits kept") << "\\x4g\\x" << QByteArray("\\x4g\\x");
    QTest::newRow("trailing backslash kept") << "end\\" << QByteArray("end\\");
    QTest::newRow("UTF-8") << QString::fromUtf8("\xc2\xb5s") << QByteArray("\xc2\xb5s");
}

void SerialTextTest::unescaped()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(SerialText::unescaped(text), bytes);
}

// What a line records can be sent back as it was received.
void SerialTextTest::everyByteComesBack()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    QCOMPARE(SerialText::unescaped(SerialText::escaped(all)), all);
}

QTEST_APPLESS_MAIN(SerialTextTest)
#include "tst_SerialText.moc"
