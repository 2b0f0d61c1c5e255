#include "engine/LineFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A frame's line waits for the writer's word that the frame is in the video file.
class LineFileTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void linesWaitForConfirmation();
    void closeDropsWhatTheVideoLacks();
    void reopenStartsAfresh();
    void fileThatCannotBeCreated();

private:
    QByteArray contents() const;

    std::unique_ptr<QTemporaryDir> folder;
    std::string fileName;
};

void LineFileTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    fileName = folder->filePath("lines.txt").toStdString();
}

QByteArray LineFileTest::contents() const
{
    QFile file(QString::fromStdString(fileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

void LineFileTest::linesWaitForConfirmation()
{
    LineFile lines;
    QVERIFY(lines.open(fileName));
    lines.frameQueued(0);
    lines.frameQueued(33);
    lines.frameQueued(67);
    lines.writeConfirmed(0);
    QCOMPARE(contents(), QByteArray());
    lines.writeConfirmed(2);
    QCOMPARE(contents(), QByteArray("0 0\n1 33\n"));
    // A count the writer already told changes nothing, and never more than were queued.
    lines.writeConfirmed(2);
    lines.writeConfirmed(5);
    QCOMPARE(contents(), QByteArray("0 0\n1 33\n2 67\n"));
    QCOMPARE(lines.lines(), 3);
    QCOMPARE(lines.times(), QVector<qint64>({0, 33, 67}));
    QVERIFY(lines.close(3));
}

void LineFileTest::closeDropsWhatTheVideoLacks()
{
    LineFile lines;
    QVERIFY(lines.open(fileName));
    for (qint64 ms : {0, 10, 20, 30})
        lines.frameQueued(ms);
    lines.writeConfirmed(1);
    QVERIFY(lines.close(2));
    QCOMPARE(contents(), QByteArray("0 0\n1 10\n"));
    QCOMPARE(lines.lines(), 2);
}

void LineFileTest::reopenStartsAfresh()
{
    LineFile lines;
    QVERIFY(lines.open(fileName));
    lines.frameQueued(5);
    QVERIFY(lines.close(0));
    QVERIFY(lines.open(fileName));
    lines.frameQueued(7);
    lines.writeConfirmed(1);
    QVERIFY(lines.close(1));
    QCOMPARE(contents(), QByteArray("0 7\n"));
}

void LineFileTest::fileThatCannotBeCreated()
{
    LineFile lines;
    QVERIFY(!lines.open(folder->filePath("missing/lines.txt").toStdString()));
    QVERIFY(!lines.close(0));
}

QTEST_APPLESS_MAIN(LineFileTest)
#include "tst_LineFile.moc"
