#include "app/CommandLine.h"
#include "tests/support/ProgramArguments.h"

#include <QTest>

class CameraModeOptionTest : public QObject
{
    Q_OBJECT
private slots:
    void takenFromTheCommandLine_data();
    void takenFromTheCommandLine();
};

void CameraModeOptionTest::takenFromTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("cameraMode");
    QTest::addColumn<QStringList>("positional");
    QTest::addColumn<QStringList>("sources");
    QTest::newRow("none") << QStringList{"/data", "60"} << "" << QStringList{"/data", "60"}
                          << QStringList{};
    QTest::newRow("before the positional arguments")
        << QStringList{"--camera-mode", "1280x720@60:MJPG", "/data", "60", "1"}
        << "1280x720@60:MJPG" << QStringList{"/data", "60", "1"} << QStringList{};
    QTest::newRow("between them, beside sources")
        << QStringList{"/data", "--source", "test", "--camera-mode", "640x480@30", "60"}
        << "640x480@30" << QStringList{"/data", "60"} << QStringList{"test"};
    QTest::newRow("the last one counts")
        << QStringList{"--camera-mode", "640x480@30", "--camera-mode", "320x240@15"} << "320x240@15"
        << QStringList{} << QStringList{};
    // Understood or not is for the camera list to say; here it is only taken out.
    QTest::newRow("not a mode") << QStringList{"--camera-mode", "fast", "/data", "5"} << "fast"
                                << QStringList{"/data", "5"} << QStringList{};
    QTest::newRow("no value: an argument like any other")
        << QStringList{"/data", "5", "--camera-mode"} << ""
        << QStringList{"/data", "5", "--camera-mode"} << QStringList{};
}

void CameraModeOptionTest::takenFromTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, cameraMode);
    QFETCH(QStringList, positional);
    QFETCH(QStringList, sources);
    ProgramArguments argv(arguments);
    const CommandLine line = CommandLine::parse(argv.count, argv.values());
    QCOMPARE(line.cameraMode, cameraMode);
    QCOMPARE(line.sources, sources);
    QStringList left;
    for (int i = 1; i < argv.count; ++i)
        left << QString::fromUtf8(argv.values()[i]);
    QCOMPARE(left, positional);
    QCOMPARE(argv.values()[argv.count], nullptr);
}

QTEST_APPLESS_MAIN(CameraModeOptionTest)
#include "tst_CameraModeOption.moc"
