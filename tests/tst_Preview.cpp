#include "engine/PreviewFrame.h"
#include "tests/support/MessageLog.h"
#include "ui/MainWindow.h"

#include <opencv2/core.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(cv::Mat)

namespace {

// Every byte differs from its neighbours, in the row and across rows, so a swapped channel,
// a flipped picture or a wrong row stride changes what is shown.
cv::Mat patternFrame(int width, int height, int type)
{
    cv::Mat frame(height, width, type);
    const size_t rowBytes = frame.cols * frame.elemSize();
    for (int y = 0; y < frame.rows; ++y) {
        uchar *row = frame.ptr(y);
        for (size_t i = 0; i < rowBytes; ++i)
            row[i] = uchar((i * 7 + size_t(y) * 13) % 251);
    }
    return frame;
}

// The left part of a wider frame: its rows end in bytes that belong to no pixel of it.
cv::Mat paddedFrame(int width, int height, int type, int extraColumns)
{
    return patternFrame(width + extraColumns, height, type)(cv::Rect(0, 0, width, height));
}

cv::Mat solidFrame(int type, const cv::Scalar &bgr)
{
    return cv::Mat(480, 640, type, bgr);
}

// What the operator must see for an 8-bit frame: its bytes are blue, green, red (and one that
// is ignored), or a grey level.
QImage screenImage(const cv::Mat &frame)
{
    QImage image(frame.cols, frame.rows, QImage::Format_RGB32);
    for (int y = 0; y < frame.rows; ++y) {
        for (int x = 0; x < frame.cols; ++x) {
            const uchar *p = frame.ptr(y) + x * frame.elemSize();
            image.setPixel(x, y,
                           frame.channels() == 1 ? qRgb(p[0], p[0], p[0]) : qRgb(p[2], p[1], p[0]));
        }
    }
    return image;
}

QImage filled(QRgb colour)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void addUnconvertibleRows()
{
    QTest::addColumn<cv::Mat>("frame");
    QTest::newRow("16-bit, 3 channels") << cv::Mat(480, 640, CV_16UC3, cv::Scalar::all(1000));
    QTest::newRow("16-bit, 1 channel") << cv::Mat(480, 640, CV_16UC1, cv::Scalar::all(1000));
    QTest::newRow("8-bit, 2 channels") << cv::Mat(480, 640, CV_8UC2, cv::Scalar::all(100));
    QTest::newRow("8-bit signed") << cv::Mat(480, 640, CV_8SC3, cv::Scalar::all(10));
    QTest::newRow("32-bit float") << cv::Mat(480, 640, CV_32FC3, cv::Scalar::all(0.5));
}

} // namespace

class PreviewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<IplImage *>("IplImage*"); }
    void init();
    void cleanup();

    void convertShowsTheFrameAsItIs_data();
    void convertShowsTheFrameAsItIs();
    void convertRefusesOtherFrames_data();
    void convertRefusesOtherFrames();
    void drawsTheFrameUnscaledInItsOwnPixels_data();
    void drawsTheFrameUnscaledInItsOwnPixels();
    void dropsFramesWithoutConverting_data();
    void dropsFramesWithoutConverting();
    void checkingTheBoxAgainResumesDrawing();
    void unconvertibleFrameEmptiesThePicture_data();
    void unconvertibleFrameEmptiesThePicture();
    void closingThePreviewOnlyHidesIt();
    void previewGoesWithTheMainWindow();

private:
    QImage convert(const cv::Mat &frame);
    bool deliver(const cv::Mat &frame);
    QImage shownPicture() const;
    void showPreview();

    MainWindow *window = nullptr;
    QPointer<QWidget> preview;
    QLabel *label = nullptr;
    QCheckBox *showVideo = nullptr;
    PreviewFrame::Counter lentOut;
};

void PreviewTest::init()
{
    window = new MainWindow({}, -1, 0);
    window->show();
    int previews = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == "Camera output") {
            preview = widget;
            ++previews;
        }
    }
    QCOMPARE(previews, 1);
    label = preview->findChild<QLabel *>();
    QVERIFY(label);
    showVideo = window->findChild<QCheckBox *>("checkbox_showVideo");
    QVERIFY(showVideo);
    lentOut = std::make_shared<std::atomic<int>>(0);
}

void PreviewTest::cleanup()
{
    if (!window)
        return;
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    delete window;
    window = nullptr;
}

QImage PreviewTest::convert(const cv::Mat &frame)
{
    const IplImage header = cvIplImage(frame);
    const IplImage *argument = &header;
    QImage result;
    if (!QMetaObject::invokeMethod(window, "convert", Qt::DirectConnection,
                                   Q_RETURN_ARG(QImage, result), Q_ARG(const IplImage *, argument)))
        qFatal("MainWindow has no slot convert(const IplImage*)");
    return result;
}

// Lends the frame to the window as the recording does, through a queued call, and waits until
// the window has given it back.
bool PreviewTest::deliver(const cv::Mat &frame)
{
    IplImage *lent = PreviewFrame::lend(frame, lentOut, 1);
    return lent &&
           QMetaObject::invokeMethod(window, "showFrame", Qt::QueuedConnection,
                                     Q_ARG(IplImage *, lent)) &&
           QTest::qWaitFor([this] { return lentOut->load() == 0; });
}

// The label's picture painted on an opaque surface: a pixel taken as transparent shows magenta.
QImage PreviewTest::shownPicture() const
{
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    if (pixmap.isNull())
        return {};
    QImage canvas(pixmap.size(), QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    QPainter(&canvas).drawPixmap(0, 0, pixmap);
    return canvas;
}

void PreviewTest::showPreview()
{
    showVideo->setChecked(true);
    preview->show();
}

void PreviewTest::convertShowsTheFrameAsItIs_data()
{
    QTest::addColumn<cv::Mat>("frame");
    QTest::addColumn<QImage>("expected");

    QTest::newRow("3 channels 640x480: red stays red")
        << solidFrame(CV_8UC3, {0, 0, 255}) << filled(qRgb(255, 0, 0));
    const cv::Mat colour = patternFrame(640, 480, CV_8UC3);
    QTest::newRow("3 channels: pattern") << colour << screenImage(colour);
    QTest::newRow("4 channels: fourth byte ignored")
        << solidFrame(CV_8UC4, {0, 255, 0, 0}) << filled(qRgb(0, 255, 0));
    const cv::Mat withFourth = patternFrame(640, 480, CV_8UC4);
    QTest::newRow("4 channels: pattern") << withFourth << screenImage(withFourth);
    const cv::Mat grey = patternFrame(640, 480, CV_8UC1);
    QTest::newRow("1 channel: grey levels") << grey << screenImage(grey);

    // Rows whose stride differs from the rounded-up row length.
    const cv::Mat paddedColour = paddedFrame(101, 7, CV_8UC3, 3);
    QTest::newRow("3 channels, padded rows") << paddedColour << screenImage(paddedColour);
    const cv::Mat paddedGrey = paddedFrame(6, 5, CV_8UC1, 4);
    QTest::newRow("1 channel, padded rows") << paddedGrey << screenImage(paddedGrey);
    const cv::Mat paddedFourth = paddedFrame(9, 4, CV_8UC4, 2);
    QTest::newRow("4 channels, padded rows") << paddedFourth << screenImage(paddedFourth);
    const cv::Mat oddColour = patternFrame(3, 4, CV_8UC3);
    QTest::newRow("3 channels, 9-byte rows without filler") << oddColour << screenImage(oddColour);
    const cv::Mat oddGrey = patternFrame(5, 3, CV_8UC1);
    QTest::newRow("1 channel, 5-byte rows without filler") << oddGrey << screenImage(oddGrey);
}

void PreviewTest::convertShowsTheFrameAsItIs()
{
    QFETCH(cv::Mat, frame);
    QFETCH(QImage, expected);

    const QImage converted = convert(frame);
    QCOMPARE(converted.size(), QSize(frame.cols, frame.rows));
    QCOMPARE(converted.convertToFormat(QImage::Format_RGB32), expected);

    // The result must not refer to the frame, whose pixels the recording refills.
    frame.setTo(cv::Scalar::all(0));
    QCOMPARE(converted.convertToFormat(QImage::Format_RGB32), expected);
}

void PreviewTest::convertRefusesOtherFrames_data()
{
    addUnconvertibleRows();
}

void PreviewTest::convertRefusesOtherFrames()
{
    QFETCH(cv::Mat, frame);
    QTest::ignoreMessage(QtDebugMsg, "Couldn't convert image");
    QVERIFY(convert(frame).isNull());
}

void PreviewTest::drawsTheFrameUnscaledInItsOwnPixels_data()
{
    QTest::addColumn<cv::Mat>("frame");
    QTest::addColumn<QImage>("expected");

    QTest::newRow("3 channels: red stays red")
        << solidFrame(CV_8UC3, {0, 0, 255}) << filled(qRgb(255, 0, 0));
    QTest::newRow("4 channels: a zero fourth byte is not transparency")
        << solidFrame(CV_8UC4, {0, 255, 0, 0}) << filled(qRgb(0, 255, 0));
    QTest::newRow("1 channel: grey")
        << solidFrame(CV_8UC1, cv::Scalar(90)) << filled(qRgb(90, 90, 90));
    const cv::Mat grey = patternFrame(320, 240, CV_8UC1);
    QTest::newRow("1 channel: pattern at 320x240") << grey << screenImage(grey);
    const cv::Mat padded = paddedFrame(333, 20, CV_8UC3, 5);
    QTest::newRow("3 channels, padded rows") << padded << screenImage(padded);
}

void PreviewTest::drawsTheFrameUnscaledInItsOwnPixels()
{
    QFETCH(cv::Mat, frame);
    QFETCH(QImage, expected);

    showPreview();
    QVERIFY(deliver(frame));
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(frame.cols, frame.rows));
    QCOMPARE(shownPicture(), expected);

    // The frame has gone back to the recording: refilling its pixels must not show.
    frame.setTo(cv::Scalar::all(0));
    QCOMPARE(shownPicture(), expected);
}

void PreviewTest::dropsFramesWithoutConverting_data()
{
    QTest::addColumn<bool>("shownAtStart");
    QTest::addColumn<bool>("boxChecked");
    QTest::addColumn<bool>("closedByOperator");

    QTest::newRow("box checked after the start: never shown") << false << true << false;
    QTest::newRow("box unchecked while shown: last frame stays") << true << false << false;
    QTest::newRow("closed by the operator") << true << true << true;
}

void PreviewTest::dropsFramesWithoutConverting()
{
    QFETCH(bool, shownAtStart);
    QFETCH(bool, boxChecked);
    QFETCH(bool, closedByOperator);

    if (shownAtStart) {
        showPreview();
        QVERIFY(deliver(solidFrame(CV_8UC3, {0, 0, 255})));
    }
    showVideo->setChecked(boxChecked);
    if (closedByOperator)
        QVERIFY(preview->close());
    const QImage before = shownPicture();
    QCOMPARE(before.isNull(), !shownAtStart);

    // An unconvertible frame would write a message if it were converted.
    MessageLog log;
    QVERIFY(deliver(cv::Mat(480, 640, CV_16UC3, cv::Scalar::all(1000))));
    QVERIFY(deliver(solidFrame(CV_8UC3, {255, 0, 0})));
    QCOMPARE(log.all(), QStringList());
    QCOMPARE(shownPicture(), before);
}

void PreviewTest::checkingTheBoxAgainResumesDrawing()
{
    showPreview();
    showVideo->setChecked(false);
    QVERIFY(deliver(solidFrame(CV_8UC3, {0, 0, 255})));
    QVERIFY(shownPicture().isNull());
    showVideo->setChecked(true);
    QVERIFY(deliver(solidFrame(CV_8UC3, {255, 0, 0})));
    QCOMPARE(shownPicture(), filled(qRgb(0, 0, 255)));
}

void PreviewTest::unconvertibleFrameEmptiesThePicture_data()
{
    addUnconvertibleRows();
}

void PreviewTest::unconvertibleFrameEmptiesThePicture()
{
    QFETCH(cv::Mat, frame);
    showPreview();
    QVERIFY(deliver(solidFrame(CV_8UC3, {0, 0, 255})));
    QTest::ignoreMessage(QtDebugMsg, "Couldn't convert image");
    QVERIFY(deliver(frame));
    QVERIFY(label->pixmap(Qt::ReturnByValue).isNull());
}

void PreviewTest::closingThePreviewOnlyHidesIt()
{
    showPreview();
    QSignalSpy finishRequested(window, &MainWindow::finishRequested);
    QVERIFY(preview->close());
    QVERIFY(preview);
    QVERIFY(preview->isHidden());
    QVERIFY(window->isVisible());
    QCOMPARE(finishRequested.count(), 0);
}

void PreviewTest::previewGoesWithTheMainWindow()
{
    showPreview();
    QTest::ignoreMessage(QtDebugMsg, "MW: destructor");
    delete window;
    window = nullptr;
    QVERIFY(preview.isNull());
}

QTEST_MAIN(PreviewTest)
#include "tst_Preview.moc"
