#include "engine/PreviewFrame.h"
#include "ui/EyelidTrace.h"
#include "ui/PreviewWindow.h"
#include "ui/RegionPicture.h"

#include <opencv2/core.hpp>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A 640x480 frame, shown on the window as the recording or the watcher lends it.
void showFrame(PreviewWindow &window)
{
    const cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(40, 80, 120));
    IplImage header = cvIplImage(frame);
    window.showPicture(&header);
}

} // namespace

class PreviewWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void dragGivesTheRegionInFramePixels_data();
    void dragGivesTheRegionInFramePixels();
    void tinyDragGivesNothing_data();
    void tinyDragGivesNothing();
    void noFrameNoRegion();
    void closingReleasesTheWatchButton();
    void failureReleasesTheWatchButtonAndSaysWhy();
    void traceKeepsTheLastFiveSeconds();
    void traceDrawsClosedAtTheTop();
    void traceClearsAndStartsAgainOnANewClock();
    void traceShowsTheChosenThreshold();

private:
    void drag(QPoint from, QPoint to);

    std::unique_ptr<PreviewWindow> window;
    RegionPicture *picture = nullptr;
    EyelidTrace *trace = nullptr;
};

void PreviewWindowTest::init()
{
    window = std::make_unique<PreviewWindow>();
    picture = window->findChild<RegionPicture *>();
    trace = window->findChild<EyelidTrace *>();
    QVERIFY(picture);
    QVERIFY(trace);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void PreviewWindowTest::cleanup()
{
    window.reset();
}

// Press, a move on the way, release: as the operator drags.
void PreviewWindowTest::drag(QPoint from, QPoint to)
{
    QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(picture, (from + to) / 2);
    QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, to);
}

void PreviewWindowTest::dragGivesTheRegionInFramePixels_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("region");

    // The frame is 640x480; the box from (80,60) to (280,220) in its pixels.
    QTest::newRow("half size") << QSize(320, 240) << QPoint(40, 30) << QPoint(140, 110)
                               << QRect(80, 60, 200, 160);
    QTest::newRow("larger than the frame")
        << QSize(960, 720) << QPoint(120, 90) << QPoint(420, 330) << QRect(80, 60, 200, 160);
    // A wide window: the picture is 480x360, 80 pixels in from either side.
    QTest::newRow("wide window, dragged backwards")
        << QSize(640, 360) << QPoint(290, 165) << QPoint(140, 45) << QRect(80, 60, 200, 160);
    QTest::newRow("wide window, ending beside the picture")
        << QSize(640, 360) << QPoint(140, 45) << QPoint(630, 345) << QRect(80, 60, 560, 400);
    // A tall window: the picture is 320x240, 80 pixels down from the top.
    QTest::newRow("tall window") << QSize(320, 400) << QPoint(40, 110) << QPoint(140, 190)
                                 << QRect(80, 60, 200, 160);
}

void PreviewWindowTest::dragGivesTheRegionInFramePixels()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRect, region);

    picture->setFixedSize(pictureSize);
    showFrame(*window);
    QTRY_COMPARE(picture->size(), pictureSize);
    QSignalSpy drawn(window.get(), &PreviewWindow::regionDrawn);
    drag(from, to);
    QCOMPARE(drawn.count(), 1);
    QCOMPARE(drawn.first().first().toRect(), region);
    QCOMPARE(picture->region(), region);
}

void PreviewWindowTest::tinyDragGivesNothing_data()
{
    QTest::addColumn<QPoint>("to");
    QTest::newRow("a click") << QPoint(100, 100);
    QTest::newRow("narrow") << QPoint(100 + RegionPicture::shortestDrag - 1, 180);
    QTest::newRow("flat") << QPoint(180, 100 + RegionPicture::shortestDrag - 1);
}

void PreviewWindowTest::tinyDragGivesNothing()
{
    QFETCH(QPoint, to);
    picture->setFixedSize(320, 240);
    showFrame(*window);
    window->setRegion({10, 20, 30, 40});
    QSignalSpy drawn(window.get(), &PreviewWindow::regionDrawn);
    drag({100, 100}, to);
    QCOMPARE(drawn.count(), 0);
    QCOMPARE(picture->region(), QRect(10, 20, 30, 40));
}

// Before the first frame the frame's size is unknown: nothing to map a drag to.
void PreviewWindowTest::noFrameNoRegion()
{
    picture->setFixedSize(320, 240);
    QSignalSpy drawn(window.get(), &PreviewWindow::regionDrawn);
    drag({40, 30}, {140, 110});
    QCOMPARE(drawn.count(), 0);
}

void PreviewWindowTest::closingReleasesTheWatchButton()
{
    auto *button = window->findChild<QPushButton *>("pushButton_watchCamera");
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Watch camera"));
    QSignalSpy toggled(window.get(), &PreviewWindow::watchToggled);
    button->click();
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.last().first().toBool(), true);
    QVERIFY(window->close());
    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.last().first().toBool(), false);
    QVERIFY(!button->isChecked());
}

void PreviewWindowTest::failureReleasesTheWatchButtonAndSaysWhy()
{
    auto *button = window->findChild<QPushButton *>("pushButton_watchCamera");
    button->click();
    QSignalSpy toggled(window.get(), &PreviewWindow::watchToggled);
    window->watchFailed("camera /dev/video2 did not open");
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.first().first().toBool(), false);
    QCOMPARE(button->toolTip(), QStringLiteral("camera /dev/video2 did not open"));
    QVERIFY(window->isVisible());
    // Pressed again, the button no longer tells the old failure.
    button->click();
    QVERIFY(button->toolTip() != QStringLiteral("camera /dev/video2 did not open"));
}

void PreviewWindowTest::traceKeepsTheLastFiveSeconds()
{
    trace->setFixedSize(500, 100);
    for (int ms = 0; ms <= 8000; ms += 1000)
        window->showClosure(ms, 0);
    const QPolygonF line = trace->line();
    // 3000 ms to 8000 ms: the newest at the right edge, 100 pixels a second.
    QCOMPARE(line.size(), 6);
    QCOMPARE(line.first().x(), 0.0);
    QCOMPARE(line.at(1).x(), 100.0);
    QCOMPARE(line.last().x(), 500.0);
}

void PreviewWindowTest::traceDrawsClosedAtTheTop()
{
    trace->setFixedSize(500, 104);
    window->showClosure(0, 1);
    window->showClosure(100, EyelidTrace::onsetClosure);
    window->showClosure(200, 0);
    const QPolygonF line = trace->line();
    QCOMPARE(line.size(), 3);
    QVERIFY(line.at(0).y() < line.at(1).y());
    QVERIFY(line.at(1).y() < line.at(2).y());
    QCOMPARE(line.at(1).y(), 52.0);
    QVERIFY(line.at(0).y() >= 0);
    QVERIFY(line.at(2).y() <= 104);
}

void PreviewWindowTest::traceClearsAndStartsAgainOnANewClock()
{
    window->showClosure(4000, 0.2);
    window->showClosure(4100, 0.3);
    window->clearTrace();
    QCOMPARE(trace->line().size(), 0);
    window->showClosure(4200, 0.3);
    // A late measure of a new recording, whose clock started again.
    window->showClosure(30, 0.1);
    QCOMPARE(trace->line().size(), 1);
}

void PreviewWindowTest::traceShowsTheChosenThreshold()
{
    QCOMPARE(trace->thresholdText(), QString());
    window->showThreshold(87);
    QCOMPARE(trace->thresholdText(), QStringLiteral("threshold 87 (otsu)"));
    window->clearTrace();
    QCOMPARE(trace->thresholdText(), QString());
}

QTEST_MAIN(PreviewWindowTest)
#include "tst_PreviewWindow.moc"
