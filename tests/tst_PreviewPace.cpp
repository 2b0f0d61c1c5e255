#include "engine/PreviewPace.h"

#include <QTest>

using namespace std::chrono_literals;

class PreviewPaceTest : public QObject
{
    Q_OBJECT
private slots:
    void due_data();
    void due();
    void refusedFramesDoNotCount();
};

void PreviewPaceTest::due_data()
{
    QTest::addColumn<int>("lentMicroseconds");
    QTest::addColumn<int>("arrivedMicroseconds");
    QTest::addColumn<bool>("due");
    const int spacing = int(PreviewPace::spacing.count());
    QTest::newRow("the next frame of a 250 fps camera") << 0 << 4000 << false;
    QTest::newRow("just before the spacing") << 0 << spacing - 1 << false;
    QTest::newRow("at the spacing") << 0 << spacing << true;
    QTest::newRow("a 30 fps camera's next frame") << 0 << 33333 << true;
    QTest::newRow("a clock that went back") << 50000 << 10000 << false;
}

void PreviewPaceTest::due()
{
    QFETCH(int, lentMicroseconds);
    QFETCH(int, arrivedMicroseconds);
    QFETCH(bool, due);
    const MonotonicClock::time_point start(1h);
    PreviewPace pace;
    QVERIFY(pace.due(start + std::chrono::microseconds(lentMicroseconds)));
    pace.lent(start + std::chrono::microseconds(lentMicroseconds));
    QCOMPARE(pace.due(start + std::chrono::microseconds(arrivedMicroseconds)), due);
    pace.restart();
    QVERIFY(pace.due(start + std::chrono::microseconds(arrivedMicroseconds)));
}

// A frame the window could not take (two already lent) leaves the next one due.
void PreviewPaceTest::refusedFramesDoNotCount()
{
    const MonotonicClock::time_point start(1h);
    PreviewPace pace;
    pace.lent(start);
    QVERIFY(pace.due(start + 20ms));
    // Not lent after all: nothing recorded.
    QVERIFY(pace.due(start + 24ms));
    pace.lent(start + 24ms);
    QVERIFY(!pace.due(start + 28ms));
}

QTEST_APPLESS_MAIN(PreviewPaceTest)
#include "tst_PreviewPace.moc"
