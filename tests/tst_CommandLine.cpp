#include "app/CommandLine.h"
#include "tests/support/ProgramArguments.h"

#include <QProcess>
#include <QRegularExpression>
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
    void eyelidOptions_data();
    void eyelidOptions();
    void sessionOptions_data();
    void sessionOptions();
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

void CommandLineTest::eyelidOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    // "X,Y,W,H" of the region kept, or empty for none.
    QTest::addColumn<QString>("region");
    // The threshold kept; -1 for none.
    QTest::addColumn<int>("threshold");
    QTest::addColumn<QStringList>("notes");
    // What stays for the toolkit and the positional arguments.
    QTest::addColumn<QStringList>("left");

    const QString notX = "eyelid region '%1' not used: eyelid region '%1' is not X,Y,W,H in whole "
                         "pixels";
    QTest::newRow("none") << QStringList{"/data", "60"} << QString() << -1 << QStringList{}
                          << QStringList{"/data", "60"};
    QTest::newRow("region and threshold")
        << QStringList{"--eyelid-region",
                       "280,200,160,80",
                       "--eyelid-threshold",
                       "87",
                       "/data",
                       "60"}
        << "280,200,160,80" << 87 << QStringList{} << QStringList{"/data", "60"};
    QTest::newRow("blanks around the numbers")
        << QStringList{"--eyelid-region", " 1, 2 ,3,4 ", "--eyelid-threshold", " 0 "} << "1,2,3,4"
        << 0 << QStringList{} << QStringList{};
    QTest::newRow("negative corner at the frame's edge")
        << QStringList{"--eyelid-region", "-10,-5,40,30"} << "-10,-5,40,30" << -1 << QStringList{}
        << QStringList{};
    QTest::newRow("the last one counts")
        << QStringList{"--eyelid-region", "1,2,3,4", "--eyelid-region", "5,6,7,8"} << "5,6,7,8"
        << -1 << QStringList{} << QStringList{};
    QTest::newRow("a region that looks like an option")
        << QStringList{"--eyelid-region", "--help"} << QString() << -1
        << QStringList{notX.arg("--help")} << QStringList{};
    QTest::newRow("three numbers") << QStringList{"--eyelid-region", "1,2,3"} << QString() << -1
                                   << QStringList{notX.arg("1,2,3")} << QStringList{};
    QTest::newRow("empty region")
        << QStringList{"--eyelid-region", "1,2,0,4"} << QString() << -1
        << QStringList{"eyelid region '1,2,0,4' not used: eyelid region '1,2,0,4' is empty: its "
                       "width and height must be 1 or more"}
        << QStringList{};
    QTest::newRow("threshold above 255")
        << QStringList{"--eyelid-threshold", "256"} << QString() << -1
        << QStringList{"eyelid threshold '256' not used: "} << QStringList{};
    QTest::newRow("threshold not a number")
        << QStringList{"--eyelid-threshold", "dark"} << QString() << -1
        << QStringList{"eyelid threshold 'dark' not used: "} << QStringList{};
    QTest::newRow("a bad one after a good one is not used")
        << QStringList{"--eyelid-threshold", "90", "--eyelid-threshold", "9.5"} << QString() << -1
        << QStringList{"eyelid threshold '9.5' not used: "} << QStringList{};
    QTest::newRow("after -- they are positional")
        << QStringList{"--", "/data", "60", "1", "--eyelid-region"} << QString() << -1
        << QStringList{} << QStringList{"/data", "60", "1", "--eyelid-region"};
}

// A bad text is said, as a note and a debug line, and no region or threshold is taken from it.
void CommandLineTest::eyelidOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, region);
    QFETCH(int, threshold);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, left);

    // The threshold's reason is EyelidThreshold's own: only the note's start is checked here.
    for (const QString &note : notes)
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^" + QRegularExpression::escape(note)));
    ProgramArguments argv(arguments);
    const CommandLine::Operands operands = CommandLine::holdBackOperands(argv.count, argv.values());
    const CommandLine line = CommandLine::parse(argv.count, argv.values(), operands);
    QCOMPARE(line.eyelidRegion ? line.eyelidRegion->text() : QString(), region);
    QCOMPARE(line.eyelidThreshold ? line.eyelidThreshold->level : -1, threshold);
    if (line.eyelidThreshold)
        QCOMPARE(line.eyelidThreshold->chosenBy, EyelidThreshold::ChosenBy::Given);
    QCOMPARE(line.notes.size(), notes.size());
    for (int i = 0; i < notes.size(); ++i)
        QVERIFY2(line.notes[i].startsWith(notes[i]), qPrintable(line.notes[i]));
    QStringList kept;
    for (int i = 1; i < argv.count; ++i)
        kept << QString::fromUtf8(argv.values()[i]);
    QCOMPARE(kept, left);
}

void CommandLineTest::sessionOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("trials");
    QTest::addColumn<qint64>("minMs");
    QTest::addColumn<qint64>("maxMs");
    // "level:hold", empty for no gate.
    QTest::addColumn<QString>("gate");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("none: one run a press")
        << QStringList{"/data", "60"} << 0 << qint64(0) << qint64(0) << QString() << QStringList{}
        << QStringList{"/data", "60"};
    QTest::newRow("trials alone: no interval")
        << QStringList{"--trials", "100", "/data", "3"} << 100 << qint64(0) << qint64(0)
        << QString() << QStringList{} << QStringList{"/data", "3"};
    QTest::newRow("all three") << QStringList{"--trials",          "5",       "--iti", "10-20",
                                              "--start-when-open", "0.25:200"}
                               << 5 << qint64(10000) << qint64(20000) << "0.25:200" << QStringList{}
                               << QStringList{};
    QTest::newRow("the last counts")
        << QStringList{"--trials", "5", "--trials", "7", "--iti", "1-2", "--iti", "0.2-0.5"} << 7
        << qint64(200) << qint64(500) << QString() << QStringList{} << QStringList{};
    QTest::newRow("trials not a number")
        << QStringList{"--trials", "many", "--iti", "1-2"} << 0 << qint64(1000) << qint64(2000)
        << QString()
        << QStringList{"trials 'many' not used: not a whole number from 1",
                       "trial interval and start when open not used: no --trials"}
        << QStringList{};
    QTest::newRow("no trials") << QStringList{"--trials", "0"} << 0 << qint64(0) << qint64(0)
                               << QString()
                               << QStringList{"trials '0' not used: not a whole number from 1"}
                               << QStringList{};
    QTest::newRow("interval backwards")
        << QStringList{"--trials", "3", "--iti", "20-10"} << 3 << qint64(0) << qint64(0)
        << QString() << QStringList{"trial interval '20-10' not used: "} << QStringList{};
    QTest::newRow("gate not understood")
        << QStringList{"--trials", "3", "--start-when-open", "open"} << 3 << qint64(0) << qint64(0)
        << QString() << QStringList{"start when open 'open' not used: "} << QStringList{};
    QTest::newRow("after -- they are positional")
        << QStringList{"--", "/data", "--trials", "3"} << 0 << qint64(0) << qint64(0) << QString()
        << QStringList{"video length '--trials' is not a whole number of seconds: 0 used"}
        << QStringList{"/data", "--trials", "3"};
}

// The session's options, taken out of the arguments; a bad text is said as a note and a debug
// line, as the other options do, and sets nothing.
void CommandLineTest::sessionOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, trials);
    QFETCH(qint64, minMs);
    QFETCH(qint64, maxMs);
    QFETCH(QString, gate);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, left);
    for (const QString &note : notes)
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^" + QRegularExpression::escape(note)));
    ProgramArguments argv(arguments);
    const CommandLine::Operands operands = CommandLine::holdBackOperands(argv.count, argv.values());
    const CommandLine line = CommandLine::parse(argv.count, argv.values(), operands);
    QCOMPARE(line.session.trials, trials);
    if (trials > 0) {
        QCOMPARE(line.session.interval.minMs, minMs);
        QCOMPARE(line.session.interval.maxMs, maxMs);
    }
    const std::optional<OpenEyeGate> &openEye = line.session.openEye;
    QCOMPARE(openEye ? QString("%1:%2").arg(openEye->level()).arg(openEye->holdMs()) : QString(),
             gate);
    QCOMPARE(line.notes.size(), notes.size());
    for (int i = 0; i < notes.size(); ++i)
        QVERIFY2(line.notes[i].startsWith(notes[i]), qPrintable(line.notes[i]));
    QStringList kept;
    for (int i = 1; i < argv.count; ++i)
        kept << QString::fromUtf8(argv.values()[i]);
    QCOMPARE(kept, left);
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
