#include "app/CommandLine.h"
#include "stimulus/SerialSetting.h"
#include "tests/support/ProgramArguments.h"

#include <QTest>

class SerialOptionTest : public QObject
{
    Q_OBJECT
private slots:
    void setting_data();
    void setting();
    void takenFromTheCommandLine_data();
    void takenFromTheCommandLine();
};

void SerialOptionTest::setting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("understood");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("why");
    QTest::newRow("device and rate") << "/dev/ttyACM0:9600" << true << "/dev/ttyACM0" << 9600 << "";
    QTest::newRow("device alone: 115200")
        << "/dev/ttyUSB1" << true << "/dev/ttyUSB1" << 115200 << "";
    QTest::newRow("Windows port") << "COM3" << true << "COM3" << 115200 << "";
    QTest::newRow("rate not a number")
        << "/dev/ttyACM0:fast" << false << "" << 0 << "'fast' is not a rate in bits per second";
    QTest::newRow("rate zero") << "COM3:0" << false << "" << 0
                               << "'0' is not a rate in bits per second";
    QTest::newRow("rate empty") << "COM3:" << false << "" << 0
                                << "'' is not a rate in bits per second";
    QTest::newRow("no device") << ":9600" << false << "" << 0 << "no device";
    QTest::newRow("nothing") << "" << false << "" << 0 << "no device";
}

void SerialOptionTest::setting()
{
    QFETCH(QString, text);
    QFETCH(bool, understood);
    QFETCH(QString, device);
    QFETCH(int, baud);
    QFETCH(QString, why);
    QString reason;
    const std::optional<SerialSetting> setting = SerialSetting::fromOption(text, &reason);
    QCOMPARE(bool(setting), understood);
    if (setting) {
        QCOMPARE(setting->device, device);
        QCOMPARE(int(setting->baud), baud);
    }
    QCOMPARE(reason, why);
}

void SerialOptionTest::takenFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("startMessage");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("positional");
    QTest::newRow("none") << QStringList{"/data", "60"} << "" << QByteArray() << QStringList{}
                          << QStringList{"/data", "60"};
    QTest::newRow("port and message among the positional arguments")
        << QStringList{"/data", "--serial",       "/dev/ttyACM0:57600",
                       "60",    "--serial-start", "S\\x01\\n"}
        << "/dev/ttyACM0" << QByteArray("S\x01\n") << QStringList{} << QStringList{"/data", "60"};
    QTest::newRow("the last port counts")
        << QStringList{"--serial", "COM3", "--serial", "COM4"} << "COM4" << QByteArray()
        << QStringList{} << QStringList{};
    QTest::newRow("not understood: a note, no port")
        << QStringList{"--serial", "/dev/ttyACM0:fast", "/data", "5"} << "" << QByteArray()
        << QStringList{"serial port '/dev/ttyACM0:fast' not understood ('fast' is not a rate in "
                       "bits per second): none opened"}
        << QStringList{"/data", "5"};
}

void SerialOptionTest::takenFromTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, device);
    QFETCH(QByteArray, startMessage);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, positional);
    for (const QString &note : notes)
        QTest::ignoreMessage(QtDebugMsg, note.toUtf8().constData());
    ProgramArguments argv(arguments);
    const CommandLine line = CommandLine::parse(argv.count, argv.values());
    QCOMPARE(line.serial ? line.serial->device : QString(), device);
    QCOMPARE(line.serialStart, startMessage);
    QCOMPARE(line.notes, notes);
    QStringList left;
    for (int i = 1; i < argv.count; ++i)
        left << QString::fromUtf8(argv.values()[i]);
    QCOMPARE(left, positional);
}

QTEST_APPLESS_MAIN(SerialOptionTest)
#include "tst_SerialOption.moc"
