#include "checker/EventMarks.h"
#include "checker/IntervalPlot.h"

#include <QImage>
#include <QTest>

class EventMarksTest : public QObject
{
    Q_OBJECT
private slots:
    void labels_data();
    void labels();
    void serialLinesPicked();
    void intervalPlotMarksSerialLines();
};

void EventMarksTest::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("label");
    QTest::newRow("serial line") << "serial"
                                 << "CS on"
                                 << "CS on";
    QTest::newRow("empty serial line") << "serial"
                                       << ""
                                       << "serial";
    QTest::newRow("window event") << "beep"
                                  << ""
                                  << "beep";
    QTest::newRow("detail of another event") << "stop asked"
                                             << "timer"
                                             << "stop asked";
}

void EventMarksTest::labels()
{
    QFETCH(QString, name);
    QFETCH(QString, detail);
    QFETCH(QString, label);
    QCOMPARE(EventMarks::label({name, 100, detail}), label);
}

void EventMarksTest::serialLinesPicked()
{
    const QVector<RunRecord::Event> events{{"recording started", 0},
                                           {"serial", 10, "CS"},
                                           {"serial sent", 1, "go"},
                                           {"serial", 260, "US"}};
    const QVector<RunRecord::Event> lines = EventMarks::serialLines(events);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].detail, QString("CS"));
    QCOMPARE(lines[1].detail, QString("US"));
}

namespace {

// Green as the marks, also where antialiasing blends them with the white around them; the
// plot's other colours (blue trace, red median, grey grid, black text) are not.
bool isMark(const QColor &pixel)
{
    return pixel.green() > pixel.red() + 40 && pixel.green() > pixel.blue() + 20;
}

// The columns in which the marks' colour runs down at least a sixth of the picture.
QVector<int> markedColumns(const QImage &plot)
{
    QVector<int> columns;
    for (int x = 0; x < plot.width(); ++x) {
        int marked = 0;
        for (int y = 0; y < plot.height(); ++y)
            marked += isMark(plot.pixelColor(x, y));
        if (marked > plot.height() / 6)
            columns.append(x);
    }
    return columns;
}

} // namespace

// A line at 3 s and one at 7 s of a 10 s recording are marked where they came; one after the
// last frame is left out, and the window's events are not the interval plot's.
void EventMarksTest::intervalPlotMarksSerialLines()
{
    QVector<qint64> times;
    for (qint64 ms = 0; ms <= 10000; ms += 10)
        times.append(ms);
    QVERIFY(markedColumns(IntervalPlot::draw(times, "none")).isEmpty());

    const QImage plot = IntervalPlot::draw(
        times, "lines",
        {{"serial", 3000, "CS"}, {"serial", 7000, "US"}, {"serial", 12000, "late"}});
    const QVector<int> columns = markedColumns(plot);
    QVERIFY(!columns.isEmpty());
    int nearThree = 0;
    int nearSeven = 0;
    for (const int x : columns) {
        const double share = double(x) / plot.width();
        QVERIFY2((share > 0.3 && share < 0.4) || (share > 0.65 && share < 0.75),
                 qPrintable(QString("marked at %1 of the width").arg(share)));
        nearThree += share < 0.5;
        nearSeven += share > 0.5;
    }
    QVERIFY(nearThree > 0);
    QVERIFY(nearSeven > 0);
}

QTEST_MAIN(EventMarksTest)
#include "tst_EventMarks.moc"
