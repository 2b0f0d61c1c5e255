#include "capture/BlinkingEye.h"
#include "engine/EyelidWorker.h"
#include "eyelid/EyelidTable.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>

namespace {

const cv::Size frameSize(640, 480);

// The eye's box of a test camera frame whose lid covers closedFraction of the eye.
cv::Mat eyeBoxAt(double closedFraction)
{
    cv::Mat frame(frameSize, CV_8UC1, cv::Scalar(0));
    BlinkingEye::draw(frame, closedFraction);
    return frame(BlinkingEye::eyeBox(frameSize)).clone();
}

// The region as the worker sees it: filling the box it gets.
EyelidRegion boxRegion()
{
    return EyelidRegion{cv::Rect({0, 0}, BlinkingEye::eyeBox(frameSize).size())};
}

} // namespace

// The worker on its own, in the test's thread: the threshold chosen on the first box, the
// doubt it says about a closed eye there, the rows as the video confirms them, and the live
// closures thinned out by their times.
class EyelidWorkerTest : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void thresholdOnTheFirstBox_data();
    void thresholdOnTheFirstBox();
    void rowsFollowTheConfirmedFrames();
    void liveClosuresThinnedByTheirTimes();
    void tableThatCannotBeCreated();

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::string tableFile;
};

void EyelidWorkerTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    tableFile = folder->filePath("t_eyelid.csv").toStdString();
}

void EyelidWorkerTest::thresholdOnTheFirstBox_data()
{
    QTest::addColumn<double>("firstClosed");
    QTest::addColumn<int>("given");
    QTest::addColumn<bool>("doubted");

    QTest::newRow("open eye, Otsu") << 0.0 << -1 << false;
    QTest::newRow("closed eye, Otsu") << 1.0 << -1 << true;
    QTest::newRow("mostly closed eye, Otsu") << 0.8 << -1 << true;
    QTest::newRow("closed eye, given threshold") << 1.0 << 100 << false;
}

// Otsu's threshold on a closed eye parts nothing: said in a debug line, and still used.
void EyelidWorkerTest::thresholdOnTheFirstBox()
{
    QFETCH(double, firstClosed);
    QFETCH(int, given);
    QFETCH(bool, doubted);

    EyelidWorker worker;
    QSignalSpy chosen(&worker, &EyelidWorker::thresholdChosen);
    std::optional<EyelidThreshold> givenThreshold;
    if (given >= 0)
        givenThreshold = EyelidThreshold{given, EyelidThreshold::ChosenBy::Given};
    if (doubted)
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^Eyelid threshold \\d+ may not part lid from eye: "
                                                "grey levels \\d+ and \\d+, \\d+% above it on "
                                                "the first frame$"));
    worker.start(tableFile, boxRegion(), givenThreshold);
    worker.measure(eyeBoxAt(firstClosed), 0);
    worker.measure(eyeBoxAt(0.0), 4);
    const std::optional<EyelidThreshold> used = worker.finish(2);
    QVERIFY(used);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toInt(), used->level);
    if (givenThreshold)
        QCOMPARE(*used, *givenThreshold);
    else
        QCOMPARE(used->chosenBy, EyelidThreshold::ChosenBy::Otsu);
    if (!doubted) {
        QVERIFY(used->level >= BlinkingEye::eyeLevel);
        QVERIFY(used->level < BlinkingEye::skinLevel);
    }
}

// Rows wait for the video: only confirmed frames get one, in order, and closing drops those
// the completed video lacks.
void EyelidWorkerTest::rowsFollowTheConfirmedFrames()
{
    EyelidWorker worker;
    worker.start(tableFile, boxRegion(), {});
    const double closedFractions[] = {0.0, 0.25, 0.5, 1.0, 0.0};
    for (int i = 0; i < 5; ++i)
        worker.measure(eyeBoxAt(closedFractions[i]), 4 * i);
    worker.writeConfirmed(2);
    std::optional<QVector<EyelidTable::Row>> rows =
        EyelidTable::read(folder->filePath("t_eyelid.csv"));
    QVERIFY(rows);
    QCOMPARE(rows->size(), 2);
    worker.writeConfirmed(1); // never goes back
    worker.finish(4);
    rows = EyelidTable::read(folder->filePath("t_eyelid.csv"));
    QVERIFY(rows);
    QCOMPARE(rows->size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(rows->at(i).frame, qint64(i));
        QCOMPARE(rows->at(i).ms, 4.0 * i);
    }
    QVERIFY(*rows->at(0).closure < 0.05);
    QVERIFY(std::abs(*rows->at(2).closure - 0.5) < 0.05);
    QVERIFY(*rows->at(3).closure > 0.95);
}

void EyelidWorkerTest::liveClosuresThinnedByTheirTimes()
{
    EyelidWorker worker;
    QSignalSpy closures(&worker, &EyelidWorker::closureMeasured);
    worker.start(tableFile, boxRegion(), {});
    const cv::Mat open = eyeBoxAt(0.0);
    // 250 frames a second for one second.
    for (int i = 0; i < 250; ++i)
        worker.measure(open, 4 * i);
    worker.finish(250);
    // Every fifth: the first frame 1/60 s or more after the last one shown is 20 ms later.
    QCOMPARE(closures.count(), 50);
    QCOMPARE(closures.first().at(0).toDouble(), 0.0);
    for (int i = 1; i < closures.count(); ++i)
        QVERIFY(closures[i].at(0).toDouble() - closures[i - 1].at(0).toDouble() >=
                EyelidWorker::shownEveryMs);
}

void EyelidWorkerTest::tableThatCannotBeCreated()
{
    EyelidWorker worker;
    QSignalSpy chosen(&worker, &EyelidWorker::thresholdChosen);
    const std::string missing = folder->filePath("missing/t_eyelid.csv").toStdString();
    QTest::ignoreMessage(QtDebugMsg, ("Eyelid table open failed: " + missing).c_str());
    worker.start(missing, boxRegion(), {});
    worker.measure(eyeBoxAt(0.0), 0);
    QVERIFY(!worker.finish(1));
    QCOMPARE(chosen.count(), 0);
}

QTEST_GUILESS_MAIN(EyelidWorkerTest)
#include "tst_EyelidWorker.moc"
