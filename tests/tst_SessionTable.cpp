#include "runrecord/SessionTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(SessionTable::Row)

// The session table as the session writes it and the checker reads it.
class SessionTableTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void refusedLines_data();
    void refusedLines();
    void rowFromRunRecord();
    void rowOfCancelledTrial();
    void rowsReadableWhileWritten();
    void refusesTableWithoutHeader();
    void fileNameFromLocalTime();
};

namespace {

SessionTable::Row row(int trial, const QString &folder, const QString &result, int frames, int lost,
                      qint64 waited, SessionTable::Eye eye, const QStringList &serial)
{
    SessionTable::Row r;
    r.trial = trial;
    r.folder = folder;
    r.started = QDateTime(QDate(2026, 12, 6), QTime(6, 19, 47, 250));
    r.result = result;
    r.frames = frames;
    r.framesLost = lost;
    r.waitedMs = waited;
    r.eye = eye;
    r.serialLines = serial;
    return r;
}

} // namespace

void SessionTableTest::roundTrip_data()
{
    QTest::addColumn<SessionTable::Row>("row");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain trial") << row(1, "1", "successful", 612, 0, 0,
                                        SessionTable::Eye::NotAsked, {})
                                 << "1,1,2026-12-06 06:19:47.250,successful,612,0,0,,";
    QTest::newRow("serial lines in their order")
        << row(2, "2", "successful", 600, 0, 0, SessionTable::Eye::NotAsked, {"CS on", "US on"})
        << "2,2,2026-12-06 06:19:47.250,successful,600,0,0,,CS on;US on";
    QTest::newRow("eye waited for")
        << row(3, "3", "failed", 598, 2, 1234, SessionTable::Eye::Open, {})
        << "3,3,2026-12-06 06:19:47.250,failed,598,2,1234,open,";
    QTest::newRow("gate gave up") << row(4, "4", "successful", 10, 0, 60000,
                                         SessionTable::Eye::GaveUp, {})
                                  << "4,4,2026-12-06 06:19:47.250,successful,10,0,60000,gave up,";
    QTest::newRow("comma and quote quoted")
        << row(5, "odd, \"name\"", "successful", 1, 0, 0, SessionTable::Eye::NotAsked, {"x=1,y=2"})
        << "5,\"odd, \"\"name\"\"\",2026-12-06 06:19:47.250,successful,1,0,0,,\"x=1,y=2\"";
}

// Written and read back alike, and written as the README shows it.
void SessionTableTest::roundTrip()
{
    QFETCH(SessionTable::Row, row);
    QFETCH(QString, text);
    QCOMPARE(SessionTable::line(row), text);
    const std::optional<SessionTable::Row> read = SessionTable::parse(text);
    QVERIFY(read);
    QCOMPARE(*read, row);
}

void SessionTableTest::refusedLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("too few fields") << "1,1,,successful,612,0,0,";
    QTest::newRow("too many fields") << "1,1,,successful,612,0,0,,,";
    QTest::newRow("trial not a number") << "one,1,,successful,612,0,0,,";
    QTest::newRow("negative frames") << "1,1,,successful,-3,0,0,,";
    QTest::newRow("unknown eye") << "1,1,,successful,612,0,0,shut,";
    QTest::newRow("time not a time") << "1,1,yesterday,successful,612,0,0,,";
    QTest::newRow("quote left open") << "1,\"1,,successful,612,0,0,,";
}

void SessionTableTest::refusedLines()
{
    QFETCH(QString, line);
    QVERIFY(!SessionTable::parse(line));
}

// A trial's row takes the result, frames, losses and the stimulus lines from its run record,
// and only the lines of the stimulus hardware, not the window's own events.
void SessionTableTest::rowFromRunRecord()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RunRecord record;
    record.started = QDateTime(QDate(2026, 12, 6), QTime(6, 19, 47, 250));
    record.frameSize = QSize(320, 240);
    record.result = RunRecord::Result::Failed;
    record.endedBy = RunRecord::EndedBy::FramesLost;
    record.frames = 598;
    record.lines = 598;
    record.framesLost = 2;
    record.events = {{"new record pressed", -10},
                     {"serial", 250, "CS on"},
                     {"beep", 0},
                     {"serial sent", 0, "S"},
                     {"serial", 600, "US on"}};
    QVERIFY(record.write(dir.filePath("06122026_061947_cam.json")));
    const std::optional<RunRecord> read = SessionTable::recordIn(dir.path());
    QVERIFY(read);
    const SessionTable::Row r = SessionTable::rowOf(7, "7", read);
    QCOMPARE(r.trial, 7);
    QCOMPARE(r.folder, QString("7"));
    QCOMPARE(r.started, record.started);
    QCOMPARE(r.result, QString("failed"));
    QCOMPARE(r.frames, 598);
    QCOMPARE(r.framesLost, 2);
    QCOMPARE(r.serialLines, (QStringList{"CS on", "US on"}));
}

void SessionTableTest::rowOfCancelledTrial()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!SessionTable::recordIn(dir.path()));
    const SessionTable::Row r = SessionTable::rowOf(2, "2", SessionTable::recordIn(dir.path()));
    QCOMPARE(r.result, QString(SessionTable::cancelled));
    QCOMPARE(r.frames, 0);
    QVERIFY(SessionTable::parse(SessionTable::line(r)));
}

// Each row is on disk once appended, while the table is still open: a session that dies keeps
// the rows of the trials that ended.
void SessionTableTest::rowsReadableWhileWritten()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("session_06122026_061947.csv");
    SessionTable table;
    QVERIFY(table.create(path));
    QCOMPARE(SessionTable::read(path)->size(), 0);
    const QVector<SessionTable::Row> rows = {
        row(1, "1", "successful", 612, 0, 0, SessionTable::Eye::NotAsked, {"CS on"}),
        row(2, "2", "failed", 3, 1, 250, SessionTable::Eye::Open, {}),
    };
    for (int i = 0; i < rows.size(); ++i) {
        QVERIFY(table.append(rows[i]));
        QString why;
        const std::optional<QVector<SessionTable::Row>> read = SessionTable::read(path, &why);
        QVERIFY2(read, qPrintable(why));
        QCOMPARE(*read, rows.mid(0, i + 1));
    }
}

void SessionTableTest::refusesTableWithoutHeader()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("table.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("1,1,,successful,612,0,0,,\n");
    file.close();
    QString why;
    QVERIFY(!SessionTable::read(file.fileName(), &why));
    QCOMPARE(why, QString("no session table header"));
    QVERIFY(!SessionTable::read(dir.filePath("missing.csv"), &why));
    QVERIFY(!why.isEmpty());
}

void SessionTableTest::fileNameFromLocalTime()
{
    const QDateTime start(QDate(2026, 12, 6), QTime(6, 9, 7));
    QCOMPARE(SessionTable::fileName(start), QString("session_06122026_060907.csv"));
}

QTEST_MAIN(SessionTableTest)
#include "tst_SessionTable.moc"
