#include "capture/BlinkingEye.h"
#include "eyelid/EyelidMeasure.h"
#include "tests/support/EyeMeasurement.h"

#include <QJsonObject>
#include <QTest>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(cv::Scalar)

namespace {

constexpr int dark = 30;
constexpr int bright = 200;
const cv::Size vga(640, 480);

// A dark grey frame with the given areas bright.
cv::Mat greyFrame(const QVector<cv::Rect> &brightAreas, cv::Size size = vga)
{
    cv::Mat frame(size, CV_8UC1, cv::Scalar(dark));
    for (const cv::Rect &area : brightAreas)
        frame(area & cv::Rect({0, 0}, size)).setTo(cv::Scalar(bright));
    return frame;
}

// The share of a circle left of a vertical line halfway between its left edge and centre.
double leftQuarterShareOfHalfCircle()
{
    const double segment = std::acos(0.5) - 0.5 * std::sqrt(0.75);
    return segment / (M_PI / 2);
}

} // namespace

class EyelidMeasureTest : public QObject
{
    Q_OBJECT
private slots:
    void closure_data();
    void closure();
    void colourMatchesItsGreyTwin_data();
    void colourMatchesItsGreyTwin();
    void colourIsMeasuredOnLuminance_data();
    void colourIsMeasuredOnLuminance();
    void refusesWhatItCannotMeasure_data();
    void refusesWhatItCannotMeasure();
    void maskFollowsRegionAndFrameSize();
    void otsuLandsBetweenTwoLevels_data();
    void otsuLandsBetweenTwoLevels();
    void otsuReadsTheEllipseAlone();
    void otsuOnOneLevelReadsOpen();
    void blinkingEyeClosesMonotonically();
    void splitOfTheRegion_data();
    void splitOfTheRegion();
    void thresholdParse_data();
    void thresholdParse();
    void thresholdForTheRunRecord();
};

void EyelidMeasureTest::closure_data()
{
    QTest::addColumn<cv::Rect>("box");
    QTest::addColumn<QVector<cv::Rect>>("brightAreas");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    const cv::Rect eye(240, 200, 160, 80);
    const cv::Rect whole({0, 0}, vga);
    QTest::newRow("all dark: open") << eye << QVector<cv::Rect>{} << 100 << 0.0 << 0.0;
    QTest::newRow("all bright: closed") << eye << QVector<cv::Rect>{whole} << 100 << 1.0 << 0.0;
    QTest::newRow("top half bright")
        << eye << QVector<cv::Rect>{{240, 200, 160, 40}} << 100 << 0.5 << 0.01;
    QTest::newRow("left half bright")
        << eye << QVector<cv::Rect>{{240, 200, 80, 80}} << 100 << 0.5 << 0.01;
    QTest::newRow("bright around the box only") << eye
                                                << QVector<cv::Rect>{{0, 0, 640, 200},
                                                                     {0, 280, 640, 200},
                                                                     {0, 200, 240, 80},
                                                                     {400, 200, 240, 80}}
                                                << 100 << 0.0 << 0.0;
    QTest::newRow("bright box corners, outside the ellipse")
        << eye
        << QVector<cv::Rect>{{240, 200, 20, 10},
                             {380, 200, 20, 10},
                             {240, 270, 20, 10},
                             {380, 270, 20, 10}}
        << 100 << 0.0 << 0.0;
    QTest::newRow("level equal to the threshold is not brighter")
        << eye << QVector<cv::Rect>{whole} << bright << 0.0 << 0.0;
    QTest::newRow("level one above the threshold")
        << eye << QVector<cv::Rect>{whole} << bright - 1 << 1.0 << 0.0;
    const cv::Rect pastRight(600, 100, 80, 40);
    QTest::newRow("partly outside, all bright: the clipped ellipse counts")
        << pastRight << QVector<cv::Rect>{whole} << 100 << 1.0 << 0.0;
    QTest::newRow("partly outside, top half bright")
        << pastRight << QVector<cv::Rect>{{600, 100, 40, 20}} << 100 << 0.5 << 0.01;
    QTest::newRow("partly outside, outer quarter bright")
        << pastRight << QVector<cv::Rect>{{600, 100, 20, 40}} << 100
        << leftQuarterShareOfHalfCircle() << 0.02;
    QTest::newRow("negative origin, all bright")
        << cv::Rect(-40, -20, 80, 40) << QVector<cv::Rect>{whole} << 100 << 1.0 << 0.0;
}

void EyelidMeasureTest::closure()
{
    QFETCH(cv::Rect, box);
    QFETCH(QVector<cv::Rect>, brightAreas);
    QFETCH(int, threshold);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    EyelidMeasure measure;
    const std::optional<double> closure =
        measure.closure(greyFrame(brightAreas), EyelidRegion{box}, threshold);
    QVERIFY(closure.has_value());
    QVERIFY2(std::abs(*closure - expected) <= tolerance,
             qPrintable(QStringLiteral("closure %1, expected %2").arg(*closure).arg(expected)));
}

void EyelidMeasureTest::colourMatchesItsGreyTwin_data()
{
    QTest::addColumn<int>("conversion");
    QTest::addColumn<bool>("noise");
    QTest::newRow("BGR, top half bright") << int(cv::COLOR_GRAY2BGR) << false;
    QTest::newRow("BGRA, top half bright") << int(cv::COLOR_GRAY2BGRA) << false;
    QTest::newRow("BGR, noise") << int(cv::COLOR_GRAY2BGR) << true;
    QTest::newRow("BGRA, noise") << int(cv::COLOR_GRAY2BGRA) << true;
}

void EyelidMeasureTest::colourMatchesItsGreyTwin()
{
    QFETCH(int, conversion);
    QFETCH(bool, noise);
    cv::Mat grey = greyFrame({{240, 200, 160, 40}});
    if (noise)
        cv::RNG(7).fill(grey, cv::RNG::UNIFORM, 0, 256);
    cv::Mat colour;
    cv::cvtColor(grey, colour, conversion);
    const EyelidRegion region{{240, 200, 160, 80}};
    EyelidMeasure measure;
    const std::optional<double> fromGrey = measure.closure(grey, region, 128);
    const std::optional<double> fromColour = EyelidMeasure().closure(colour, region, 128);
    QVERIFY(fromGrey.has_value() && fromColour.has_value());
    QVERIFY(*fromGrey > 0.3 && *fromGrey < 0.7);
    QCOMPARE(*fromColour, *fromGrey);
    // The same object measures either kind of frame.
    QCOMPARE(measure.closure(colour, region, 128), fromGrey);
}

void EyelidMeasureTest::colourIsMeasuredOnLuminance_data()
{
    QTest::addColumn<cv::Scalar>("colour");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("expected");
    // Luminance 0.114 B + 0.587 G + 0.299 R, against a threshold of 100.
    QTest::newRow("blue is dark (29)") << cv::Scalar(255, 0, 0) << 3 << 0.0;
    QTest::newRow("red is dark (76)") << cv::Scalar(0, 0, 255) << 3 << 0.0;
    QTest::newRow("green is bright (150)") << cv::Scalar(0, 255, 0) << 3 << 1.0;
    QTest::newRow("BGRA: alpha is not light") << cv::Scalar(0, 0, 0, 255) << 4 << 0.0;
    QTest::newRow("BGRA: green is bright") << cv::Scalar(0, 255, 0, 0) << 4 << 1.0;
}

void EyelidMeasureTest::colourIsMeasuredOnLuminance()
{
    QFETCH(cv::Scalar, colour);
    QFETCH(int, channels);
    QFETCH(double, expected);
    const cv::Mat frame(vga, CV_8UC(channels), colour);
    const std::optional<double> closure =
        EyelidMeasure().closure(frame, EyelidRegion{{240, 200, 160, 80}}, 100);
    QVERIFY(closure.has_value());
    QCOMPARE(*closure, expected);
}

void EyelidMeasureTest::refusesWhatItCannotMeasure_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<cv::Rect>("box");
    const cv::Rect eye(240, 200, 160, 80);
    QTest::newRow("region outside the frame") << int(CV_8UC1) << cv::Rect(700, 10, 50, 50);
    QTest::newRow("empty region") << int(CV_8UC1) << cv::Rect(240, 200, 0, 80);
    QTest::newRow("16-bit frame") << int(CV_16UC1) << eye;
    QTest::newRow("two channels") << int(CV_8UC2) << eye;
}

void EyelidMeasureTest::refusesWhatItCannotMeasure()
{
    QFETCH(int, type);
    QFETCH(cv::Rect, box);
    const cv::Mat frame(vga, type, cv::Scalar::all(bright));
    EyelidMeasure measure;
    QCOMPARE(measure.closure(frame, EyelidRegion{box}, 100), std::nullopt);
    QCOMPARE(measure.otsuThreshold(frame, EyelidRegion{box}), std::nullopt);
}

void EyelidMeasureTest::maskFollowsRegionAndFrameSize()
{
    // Bright on the left of the frame only: a region there reads closed, one on the right open.
    const QVector<cv::Rect> leftBright{{0, 0, 320, 480}};
    const EyelidRegion left{{40, 200, 160, 80}};
    const EyelidRegion right{{440, 200, 160, 80}};
    const EyelidRegion straddling{{240, 200, 160, 80}};
    const cv::Mat large = greyFrame(leftBright);
    const cv::Mat small = greyFrame({{0, 0, 160, 240}}, {320, 240});
    EyelidMeasure measure;
    QCOMPARE(measure.closure(large, left, 100), 1.0);
    QCOMPARE(measure.closure(large, right, 100), 0.0);
    QCOMPARE(measure.closure(large, straddling, 100),
             EyelidMeasure().closure(large, straddling, 100));
    // The same region on a smaller frame reaches past its edge: measured on what is left.
    QCOMPARE(measure.closure(small, straddling, 100),
             EyelidMeasure().closure(small, straddling, 100));
    QCOMPARE(measure.closure(small, straddling, 100), 0.0);
    QCOMPARE(measure.closure(large, straddling, 100),
             EyelidMeasure().closure(large, straddling, 100));
}

void EyelidMeasureTest::otsuLandsBetweenTwoLevels_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("eye and lid under infrared") << dark << bright;
    QTest::newRow("black and white") << 0 << 255;
    QTest::newRow("neighbouring levels") << 100 << 101;
    QTest::newRow("two bright levels") << 180 << 240;
}

void EyelidMeasureTest::otsuLandsBetweenTwoLevels()
{
    QFETCH(int, low);
    QFETCH(int, high);
    const EyelidRegion region{{240, 200, 160, 80}};
    cv::Mat half(vga, CV_8UC1, cv::Scalar(low));
    half(cv::Rect(240, 200, 160, 40)).setTo(cv::Scalar(high));
    EyelidMeasure measure;
    const std::optional<EyelidThreshold> threshold = measure.otsuThreshold(half, region);
    QVERIFY(threshold.has_value());
    QCOMPARE(threshold->chosenBy, EyelidThreshold::ChosenBy::Otsu);
    QVERIFY2(threshold->level >= low && threshold->level < high,
             qPrintable(QString::number(threshold->level)));
    // In the middle of the gap, not at its dark edge.
    QCOMPARE(threshold->level, (low + high) / 2);
    const cv::Mat open(vga, CV_8UC1, cv::Scalar(low));
    const cv::Mat closed(vga, CV_8UC1, cv::Scalar(high));
    QCOMPARE(measure.closure(open, region, threshold->level), 0.0);
    QCOMPARE(measure.closure(closed, region, threshold->level), 1.0);
    const std::optional<double> halfClosed = measure.closure(half, region, threshold->level);
    QVERIFY(halfClosed && std::abs(*halfClosed - 0.5) <= 0.01);
}

void EyelidMeasureTest::otsuReadsTheEllipseAlone()
{
    // The ellipse holds eye (30) and lid (120) halves; the box's corners outside it are
    // glare (255). Over the whole box the method would part lid and glare and read the lid as
    // open.
    const cv::Rect box(240, 200, 160, 80);
    cv::Mat frame(vga, CV_8UC1, cv::Scalar(255));
    cv::Mat ellipse(box.size(), CV_8UC1, cv::Scalar(0));
    // A little larger than the region's ellipse, so that no glare is left inside it.
    cv::ellipse(ellipse, cv::RotatedRect({79.5f, 39.5f}, {160, 80}, 0), cv::Scalar(255),
                cv::FILLED);
    frame(box).setTo(cv::Scalar(dark), ellipse);
    frame(cv::Rect(box.x, box.y, box.width, box.height / 2))
        .setTo(cv::Scalar(120), ellipse.rowRange(0, 40));
    EyelidMeasure measure;
    const std::optional<EyelidThreshold> threshold =
        measure.otsuThreshold(frame, EyelidRegion{box});
    QVERIFY(threshold.has_value());
    QVERIFY2(threshold->level >= dark && threshold->level < 120,
             qPrintable(QString::number(threshold->level)));
    const std::optional<double> closure =
        measure.closure(frame, EyelidRegion{box}, threshold->level);
    QVERIFY(closure && std::abs(*closure - 0.5) <= 0.02);
}

void EyelidMeasureTest::otsuOnOneLevelReadsOpen()
{
    const EyelidRegion region{{240, 200, 160, 80}};
    const cv::Mat uniform(vga, CV_8UC1, cv::Scalar(dark));
    EyelidMeasure measure;
    const std::optional<EyelidThreshold> threshold = measure.otsuThreshold(uniform, region);
    QVERIFY(threshold.has_value());
    QCOMPARE(threshold->level, dark);
    QCOMPARE(measure.closure(uniform, region, threshold->level), 0.0);
}

void EyelidMeasureTest::blinkingEyeClosesMonotonically()
{
    const EyelidRegion region{BlinkingEye::eyeBox(vga)};
    const auto eyeAt = [](double fraction) {
        cv::Mat frame(vga, CV_8UC1, cv::Scalar(0));
        BlinkingEye::draw(frame, fraction);
        return frame;
    };
    EyelidMeasure measure;
    const std::optional<EyelidThreshold> threshold = measure.otsuThreshold(eyeAt(0), region);
    QVERIFY(threshold.has_value());
    double previous = -1;
    double open = 0;
    for (const double fraction : {0.0, 0.25, 0.5, 1.0}) {
        const std::optional<double> closure =
            measure.closure(eyeAt(fraction), region, threshold->level);
        QVERIFY(closure.has_value());
        const QByteArray what =
            QByteArray::number(fraction) + " closed reads " + QByteArray::number(*closure);
        QVERIFY2(*closure > previous, what);
        // The lid covers what the ellipse's geometry says it should.
        QVERIFY2(std::abs(*closure - (1 - EyeMeasurement::visibleShare(fraction))) <= 0.02, what);
        if (fraction == 0)
            open = *closure;
        previous = *closure;
    }
    QVERIFY(previous - open >= 0.8);
}

void EyelidMeasureTest::thresholdParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("reason");
    const auto refused = [](const char *text) {
        return QStringLiteral("eyelid threshold '%1' is not a whole number from 0 to 255")
            .arg(QString::fromLatin1(text));
    };
    QTest::newRow("lowest") << "0" << 0 << QString();
    QTest::newRow("highest") << "255" << 255 << QString();
    QTest::newRow("blanks around") << " 87 " << 87 << QString();
    QTest::newRow("negative") << "-1" << -1 << refused("-1");
    QTest::newRow("above 255") << "256" << -1 << refused("256");
    QTest::newRow("fraction") << "87.5" << -1 << refused("87.5");
    QTest::newRow("word") << "otsu" << -1 << refused("otsu");
    QTest::newRow("empty") << "" << -1 << refused("");
}

void EyelidMeasureTest::thresholdParse()
{
    QFETCH(QString, text);
    QFETCH(int, level);
    QFETCH(QString, reason);
    QString why;
    const std::optional<EyelidThreshold> parsed = EyelidThreshold::parse(text, why);
    QCOMPARE(why, reason);
    QCOMPARE(parsed.has_value(), level >= 0);
    if (parsed) {
        QCOMPARE(parsed->level, level);
        QCOMPARE(parsed->chosenBy, EyelidThreshold::ChosenBy::Given);
    }
}

void EyelidMeasureTest::thresholdForTheRunRecord()
{
    const QJsonObject otsu{{"threshold", 87}, {"chosenBy", "otsu"}};
    const QJsonObject given{{"threshold", 120}, {"chosenBy", "given"}};
    QCOMPARE((EyelidThreshold{87, EyelidThreshold::ChosenBy::Otsu}.toJson()), otsu);
    QString reason;
    QCOMPARE(EyelidThreshold::parse("120", reason)->toJson(), given);
}

void EyelidMeasureTest::splitOfTheRegion_data()
{
    QTest::addColumn<double>("closedFraction");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<double>("darkMean");
    QTest::addColumn<double>("brightMean");
    QTest::addColumn<bool>("mostlyBright");

    const int between = (BlinkingEye::eyeLevel + BlinkingEye::skinLevel) / 2;
    QTest::newRow("open eye") << 0.0 << between << double(BlinkingEye::eyeLevel)
                              << double(BlinkingEye::skinLevel) << false;
    QTest::newRow("closed eye") << 1.0 << between << double(between)
                                << double(BlinkingEye::skinLevel) << true;
    QTest::newRow("three quarters closed") << 0.75 << between << double(BlinkingEye::eyeLevel)
                                           << double(BlinkingEye::skinLevel) << true;
    QTest::newRow("threshold above everything") << 0.0 << 250 << -1.0 << 250.0 << false;
}

// The two sides of a threshold, as the recorder's doubt about Otsu's choice reads them.
void EyelidMeasureTest::splitOfTheRegion()
{
    QFETCH(double, closedFraction);
    QFETCH(int, threshold);
    QFETCH(double, darkMean);
    QFETCH(double, brightMean);
    QFETCH(bool, mostlyBright);

    const cv::Size size(640, 480);
    cv::Mat frame(size, CV_8UC1, cv::Scalar(0));
    BlinkingEye::draw(frame, closedFraction);
    const EyelidRegion region{BlinkingEye::eyeBox(size)};
    EyelidMeasure measure;
    const std::optional<EyelidMeasure::Split> parts = measure.split(frame, region, threshold);
    QVERIFY(parts);
    QCOMPARE(parts->brightShare, *measure.closure(frame, region, threshold));
    QCOMPARE(parts->brightShare > 0.5, mostlyBright);
    // -1: a mix of eye and skin at the ellipse's rim, below the skin's level.
    if (darkMean >= 0)
        QCOMPARE(parts->darkMean, darkMean);
    else
        QVERIFY(parts->darkMean < BlinkingEye::skinLevel);
    QCOMPARE(parts->brightMean, brightMean);
}

QTEST_APPLESS_MAIN(EyelidMeasureTest)
#include "tst_EyelidMeasure.moc"
