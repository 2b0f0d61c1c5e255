#include "runrecord/RecordingNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class RecordingNamesTest : public QObject
{
    Q_OBJECT
private slots:
    void stamp_data();
    void stamp();
    void stampOfCalendarTime();
    void folderUsedAsGiven_data();
    void folderUsedAsGiven();
    void sameSecondKeepsEarlierFiles_data();
    void sameSecondKeepsEarlierFiles();
};

static std::tm localTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    return time;
}

void RecordingNamesTest::stamp_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("expected");
    QTest::newRow("day before month, leading zeros")
        << 2027 << 2 << 1 << 9 << 5 << 3 << "/01022027_090503_cam";
    QTest::newRow("last second of the year")
        << 2026 << 12 << 31 << 23 << 59 << 59 << "/31122026_235959_cam";
    QTest::newRow("midnight") << 2026 << 12 << 6 << 0 << 0 << 0 << "/06122026_000000_cam";
}

void RecordingNamesTest::stamp()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QString, expected);
    const std::tm time = localTime(year, month, day, hour, minute, second);
    QCOMPARE(QString::fromStdString(RecordingNames::stamp(time)), expected);
}

void RecordingNamesTest::stampOfCalendarTime()
{
    // A calendar time is named after its local time, whatever the time zone.
    std::tm time = localTime(2027, 2, 1, 9, 5, 3);
    const std::time_t calendar = std::mktime(&time);
    QCOMPARE(QString::fromStdString(RecordingNames::stamp(calendar)),
             QString("/01022027_090503_cam"));
}

void RecordingNamesTest::folderUsedAsGiven_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain folder") << "/nowhere/data/1"
                                  << "/nowhere/data/1/01022027_090503_cam.avi"
                                  << "/nowhere/data/1/01022027_090503_cam.txt";
    QTest::newRow("trailing separator doubled") << "/nowhere/data/"
                                                << "/nowhere/data//01022027_090503_cam.avi"
                                                << "/nowhere/data//01022027_090503_cam.txt";
    QTest::newRow("empty folder") << ""
                                  << "/01022027_090503_cam.avi"
                                  << "/01022027_090503_cam.txt";
}

void RecordingNamesTest::folderUsedAsGiven()
{
    QFETCH(QString, folder);
    QFETCH(QString, video);
    QFETCH(QString, text);
    const RecordingNames names(folder.toStdString(), "/01022027_090503_cam");
    QCOMPARE(QString::fromStdString(names.videoFileName()), video);
    QCOMPARE(QString::fromStdString(names.textFileName()), text);
}

void RecordingNamesTest::sameSecondKeepsEarlierFiles_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expectedBase");
    QTest::newRow("free") << QStringList{} << "s";
    QTest::newRow("earlier video") << QStringList{"s.avi"} << "s_2";
    QTest::newRow("earlier text only") << QStringList{"s.txt"} << "s_2";
    QTest::newRow("two earlier recordings")
        << QStringList{"s.avi", "s.txt", "s_2.avi", "s_2.txt"} << "s_3";
    // Left by a recording that was killed while saving.
    QTest::newRow("earlier spill file only") << QStringList{"s_spill.raw"} << "s_2";
}

void RecordingNamesTest::sameSecondKeepsEarlierFiles()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expectedBase);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString &name : existing) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const RecordingNames names(folder.path().toStdString(), "/s");
    QCOMPARE(QString::fromStdString(names.videoFileName()), folder.filePath(expectedBase + ".avi"));
    QCOMPARE(QString::fromStdString(names.textFileName()), folder.filePath(expectedBase + ".txt"));
    QCOMPARE(QString::fromStdString(names.spillFileName()),
             folder.filePath(expectedBase + "_spill.raw"));
}

QTEST_APPLESS_MAIN(RecordingNamesTest)
#include "tst_RecordingNames.moc"
