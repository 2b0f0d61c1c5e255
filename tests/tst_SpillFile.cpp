#include "encode/SpillFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/core.hpp>

#include <vector>

// The spill file keeps frames as they were given and gives them back in the order written.
class SpillFileTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void framesComeBackInOrder_data();
    void framesComeBackInOrder();
    void takingFollowsAppending();
    void partOfALargerFrame();
    void writeFailures_data();
    void writeFailures();
    void removeDeletesTheFile();

private:
    std::unique_ptr<QTemporaryDir> folder;
};

namespace {

constexpr qint64 headerBytes = 4 * sizeof(qint64);

std::vector<cv::Mat> randomFrames(int count, cv::Size size, int type)
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        cv::Mat frame(size, type);
        cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(255));
        frames.push_back(frame);
    }
    return frames;
}

bool samePixels(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace

void SpillFileTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void SpillFileTest::framesComeBackInOrder_data()
{
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<int>("type");
    QTest::newRow("grey") << QSize(320, 240) << CV_8UC1;
    QTest::newRow("BGR") << QSize(640, 480) << CV_8UC3;
    QTest::newRow("BGR of odd sides") << QSize(321, 241) << CV_8UC3;
    QTest::newRow("four channels") << QSize(64, 48) << CV_8UC4;
    QTest::newRow("16-bit grey") << QSize(160, 120) << CV_16UC1;
}

void SpillFileTest::framesComeBackInOrder()
{
    QFETCH(QSize, pixels);
    QFETCH(int, type);
    const cv::Size size(pixels.width(), pixels.height());
    const std::vector<cv::Mat> frames = randomFrames(5, size, type);
    SpillFile spill(folder->filePath("spill.raw"));
    QVERIFY(!QFile::exists(spill.fileName()));
    for (const cv::Mat &frame : frames)
        QVERIFY(spill.append(frame));
    QCOMPARE(spill.framesAppended(), 5);
    const qint64 frameBytes = headerBytes + qint64(size.area()) * qint64(frames[0].elemSize());
    QCOMPARE(spill.bytes(), 5 * frameBytes);
    QCOMPARE(QFile(spill.fileName()).size(), spill.bytes());
    for (const cv::Mat &frame : frames) {
        cv::Mat back;
        QVERIFY(spill.takeNext(back));
        QVERIFY(samePixels(back, frame));
    }
    cv::Mat none;
    QVERIFY(!spill.takeNext(none));
    QCOMPARE(spill.framesTaken(), 5);
    QVERIFY(!spill.hasFailed());
}

// Frames are taken back while others are still appended, as the writer does while recording.
void SpillFileTest::takingFollowsAppending()
{
    const std::vector<cv::Mat> frames = randomFrames(6, {32, 24}, CV_8UC3);
    SpillFile spill(folder->filePath("spill.raw"));
    cv::Mat back;
    QVERIFY(!spill.takeNext(back));
    QVERIFY(spill.append(frames[0]));
    QVERIFY(spill.append(frames[1]));
    QVERIFY(spill.takeNext(back));
    QVERIFY(samePixels(back, frames[0]));
    for (std::size_t i = 2; i < frames.size(); ++i)
        QVERIFY(spill.append(frames[i]));
    for (std::size_t i = 1; i < frames.size(); ++i) {
        QVERIFY(spill.takeNext(back));
        QVERIFY2(samePixels(back, frames[i]), qPrintable(QString::number(i)));
    }
    QVERIFY(!spill.takeNext(back));
}

// A region of a frame has rows apart in memory: only its own pixels are kept.
void SpillFileTest::partOfALargerFrame()
{
    const cv::Mat whole = randomFrames(1, {100, 80}, CV_8UC3)[0];
    const cv::Mat part = whole(cv::Rect(10, 5, 40, 30));
    QVERIFY(!part.isContinuous());
    SpillFile spill(folder->filePath("spill.raw"));
    QVERIFY(spill.append(part));
    QCOMPARE(spill.bytes(), headerBytes + 40 * 30 * 3);
    cv::Mat back;
    QVERIFY(spill.takeNext(back));
    QVERIFY(samePixels(back, part));
}

void SpillFileTest::writeFailures_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing folder") << "missing/spill.raw"
                                    << "No such file or directory";
#ifdef Q_OS_LINUX
    // Takes the file open, and refuses every byte, as a full disk does.
    QTest::newRow("full disk") << "/dev/full"
                               << "No space left on device";
#endif
}

// The failure is told, every later frame is refused, and nothing is given back from it.
void SpillFileTest::writeFailures()
{
    QFETCH(QString, fileName);
    QFETCH(QString, error);
    const std::vector<cv::Mat> frames = randomFrames(2, {64, 48}, CV_8UC1);
    SpillFile spill(fileName.startsWith('/') ? fileName : folder->filePath(fileName));
    QVERIFY(!spill.append(frames[0]));
    QVERIFY(spill.hasFailed());
    QVERIFY2(spill.errorString().contains(error), qPrintable(spill.errorString()));
    QVERIFY(!spill.append(frames[1]));
    QCOMPARE(spill.framesAppended(), 0);
    cv::Mat back;
    QVERIFY(!spill.takeNext(back));
}

void SpillFileTest::removeDeletesTheFile()
{
    SpillFile spill(folder->filePath("spill.raw"));
    QVERIFY(spill.append(randomFrames(1, {16, 16}, CV_8UC1)[0]));
    QVERIFY(QFile::exists(spill.fileName()));
    QVERIFY(spill.remove());
    QVERIFY(!QFile::exists(spill.fileName()));
}

QTEST_GUILESS_MAIN(SpillFileTest)
#include "tst_SpillFile.moc"
