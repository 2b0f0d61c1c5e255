#include "app/CommandLine.h"
#include "tests/support/ProgramArguments.h"

#include <QProcess>
#include <QTest>

Q_DECLARE_METATYPE(CommandLine::Request)

// The command line as the program's entry reads it, before and without the toolkit.
class CommandLineTest : public QObject
{
    Q_OBJECT
private slots:
    void request_data();
    void request();
    void endOfOptions_data();
    void endOfOptions();
    void numbersNotUnderstood_data();
    void numbersNotUnderstood();
    void answeredWithoutDisplay_data();
    void answeredWithoutDisplay();
};

void CommandLineTest::request_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CommandLine::Request>("expected");

    using Request = CommandLine::Request;
    QTest::newRow("nothing asked") << QStringList{"/data", "60"} << Request::Run;
    QTest::newRow("help") << QStringList{"--help"} << Request::ShowHelp;
    QTest::newRow("short help") << QStringList{"-h"} << Request::ShowHelp;
    QTest::newRow("version") << QStringList{"--version"} << Request::ShowVersion;
    QTest::newRow("after positional arguments")
        << QStringList{"/data", "60", "--version"} << Request::ShowVersion;
    QTest::newRow("the first one asked wins")
        << QStringList{"--version", "--help"} << Request::ShowVersion;
    QTest::newRow("a source named --help") << QStringList{"--source", "--help"} << Request::Run;
    QTest::newRow("after -- it is positional") << QStringList{"--", "--help"} << Request::Run;
    QTest::newRow("a source named -- ends nothing")
        << QStringList{"--source", "--", "--help"} << Request::ShowHelp;
}

void CommandLineTest::request()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Request, expected);

    ProgramArguments argv(arguments);
    QCOMPARE(CommandLine::request(argv.count, argv.values()), expected);
}

void CommandLineTest::endOfOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("camera");

    QTest::newRow("-- itself is not positional")
        << QStringList{"/data", "--", "60", "1"} << QStringList{} << "/data" << 60 << 1;
    QTest::newRow("--source after -- is positional")
        << QStringList{"--source", "test", "--", "--source", "60"} << QStringList{"test"}
        << "--source" << 60 << 0;
    QTest::newRow("a second -- is positional")
        << QStringList{"--", "--", "60"} << QStringList{} << "--" << 60 << 0;
    QTest::newRow("a source may be named --")
        << QStringList{"--source", "--", "/data", "60"} << QStringList{"--"} << "/data" << 60 << 0;
    QTest::newRow("-- last") << QStringList{"/data", "60", "--"} << QStringList{} << "/data" << 60
                             << 0;
}

// The split that the application makes around the toolkit, without the toolkit in between.
void CommandLineTest::endOfOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, sources);
    QFETCH(QString, directory);
    QFETCH(int, length);
    QFETCH(int, camera);

    ProgramArguments argv(arguments);
    const CommandLine::Operands operands = CommandLine::holdBackOperands(argv.count, argv.values());
    const CommandLine line = CommandLine::parse(argv.count, argv.values(), operands);
    QCOMPARE(line.sources, sources);
    QCOMPARE(line.workingDirectory, directory);
    QCOMPARE(line.videoLength, length);
    QCOMPARE(line.cameraIndex, camera);
    QCOMPARE(argv.values()[argv.count], nullptr);
}

void CommandLineTest::numbersNotUnderstood_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("camera");
    QTest::addColumn<QStringList>("notes");

    const auto length = [](const char *given) {
        return QString("video length '%1' is not a whole number of seconds: 0 used").arg(given);
    };
    QTest::newRow("whole numbers") << QStringList{"/data", "60", "1"} << 60 << 1 << QStringList{};
    QTest::newRow("negative length: a whole number")
        << QStringList{"/data", "-1"} << -1 << 0 << QStringList{};
    QTest::newRow("letters") << QStringList{"/data", "abc"} << 0 << 0 << QStringList{length("abc")};
    QTest::newRow("a fraction") << QStringList{"/data", "2.5"} << 0 << 0
                                << QStringList{length("2.5")};
    QTest::newRow("too large for a number")
        << QStringList{"/data", "99999999999"} << 0 << 0 << QStringList{length("99999999999")};
    QTest::newRow("digits then letters")
        << QStringList{"/data", "10s"} << 0 << 0 << QStringList{length("10s")};
    QTest::newRow("empty") << QStringList{"/data", ""} << 0 << 0 << QStringList{length("")};
    QTest::newRow("camera index too")
        << QStringList{"/data", "2.5", "first"} << 0 << 0
        << QStringList{length("2.5"), "camera index 'first' is not a whole number: 0 used"};
    QTest::newRow("after --") << QStringList{"--", "/data", "abc"} << 0 << 0
                              << QStringList{length("abc")};
}

// The rule stays (what is not a whole number counts as 0), but it is said, once for each.
void CommandLineTest::numbersNotUnderstood()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, length);
    QFETCH(int, camera);
    QFETCH(QStringList, notes);

    for (const QString &note : notes)
        QTest::ignoreMessage(QtDebugMsg, note.toUtf8().constData());
    ProgramArguments argv(arguments);
    const CommandLine::Operands operands = CommandLine::holdBackOperands(argv.count, argv.values());
    const CommandLine line = CommandLine::parse(argv.count, argv.values(), operands);
    QCOMPARE(line.videoLength, length);
    QCOMPARE(line.cameraIndex, camera);
    QCOMPARE(line.notes, notes);
}

void CommandLineTest::answeredWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("version") << QStringList{"--version"} << CommandLine::versionText();
    QTest::newRow("help among other arguments")
        << QStringList{"--source", "test", "/data", "60", "--help"} << CommandLine::helpText();
}

// With the X11 platform and no display, making the application object would end the program
// with an error: the answer must come before it.
void CommandLineTest::answeredWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(EYEBLINK_RECORDER_PROGRAM, arguments);
    QVERIFY2(program.waitForFinished(60000), "the program did not end");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.readAllStandardError(), QByteArray());
    QCOMPARE(program.readAllStandardOutput(), expected);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_APPLESS_MAIN(CommandLineTest)
#include "tst_CommandLine.moc"
