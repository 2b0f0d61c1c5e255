#include "eyelid/EyelidRegion.h"

#include <QTest>

#include <climits>

Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(cv::Size)

namespace cv {
// Found by QCOMPARE, so that a failure shows both rectangles.
char *toString(const Rect &rect)
{
    return qstrdup(QByteArray::number(rect.x) + ',' + QByteArray::number(rect.y) + ',' +
                   QByteArray::number(rect.width) + ',' + QByteArray::number(rect.height));
}
} // namespace cv

class EyelidRegionTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void textReadsBack_data();
    void textReadsBack();
    void clippedTo_data();
    void clippedTo();
};

void EyelidRegionTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<cv::Rect>("box");
    QTest::addColumn<QString>("reason");
    const auto good = [](const char *name, const char *text, cv::Rect box) {
        QTest::newRow(name) << QString::fromLatin1(text) << true << box << QString();
    };
    const auto notPixels = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(text) << false << cv::Rect()
                            << QStringLiteral("eyelid region '%1' is not X,Y,W,H in whole pixels")
                                   .arg(QString::fromLatin1(text));
    };
    const auto empty = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(text) << false << cv::Rect()
                            << QStringLiteral("eyelid region '%1' is empty: its width and height "
                                              "must be 1 or more")
                                   .arg(QString::fromLatin1(text));
    };
    good("plain", "240,200,160,80", {240, 200, 160, 80});
    good("blanks around the numbers", " 240 , 200,160 ,80 ", {240, 200, 160, 80});
    good("negative origin, an eye at the top left edge", "-20,-10,160,80", {-20, -10, 160, 80});
    good("one pixel", "0,0,1,1", {0, 0, 1, 1});
    notPixels("letters", "x,200,160,80");
    notPixels("three numbers", "240,200,160");
    notPixels("five numbers", "240,200,160,80,1");
    notPixels("fraction", "240.5,200,160,80");
    notPixels("blanks inside a number", "2 40,200,160,80");
    notPixels("empty number", "240,,160,80");
    notPixels("empty text", "");
    notPixels("beyond a whole number's range", "99999999999,200,160,80");
    empty("zero width", "240,200,0,80");
    empty("zero height", "240,200,160,0");
    empty("negative width", "240,200,-160,80");
}

void EyelidRegionTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(cv::Rect, box);
    QFETCH(QString, reason);
    QString why;
    const std::optional<EyelidRegion> parsed = EyelidRegion::parse(text, why);
    QCOMPARE(parsed.has_value(), valid);
    QCOMPARE(why, reason);
    if (valid)
        QCOMPARE(parsed->box, box);
}

void EyelidRegionTest::textReadsBack_data()
{
    QTest::addColumn<cv::Rect>("box");
    QTest::newRow("inside") << cv::Rect(240, 200, 160, 80);
    QTest::newRow("negative origin") << cv::Rect(-20, -10, 160, 80);
}

void EyelidRegionTest::textReadsBack()
{
    QFETCH(cv::Rect, box);
    const EyelidRegion region{box};
    QString reason;
    const std::optional<EyelidRegion> parsed = EyelidRegion::parse(region.text(), reason);
    QVERIFY2(parsed.has_value(), qPrintable(reason));
    QCOMPARE(parsed->box, box);
}

void EyelidRegionTest::clippedTo_data()
{
    QTest::addColumn<cv::Size>("frameSize");
    QTest::addColumn<cv::Rect>("box");
    QTest::addColumn<cv::Rect>("inside");
    QTest::addColumn<bool>("partlyOutside");
    QTest::addColumn<QString>("reason");
    const cv::Size vga(640, 480);
    QTest::newRow("inside") << vga << cv::Rect(240, 200, 160, 80) << cv::Rect(240, 200, 160, 80)
                            << false << QString();
    QTest::newRow("the whole frame")
        << vga << cv::Rect(0, 0, 640, 480) << cv::Rect(0, 0, 640, 480) << false << QString();
    QTest::newRow("beyond the right edge")
        << vga << cv::Rect(600, 100, 80, 40) << cv::Rect(600, 100, 40, 40) << true
        << "eyelid region 600,100,80,40 reaches beyond the 640x480 frame: measured on its 40x40 "
           "inside";
    QTest::newRow("beyond the bottom edge")
        << vga << cv::Rect(100, 460, 80, 40) << cv::Rect(100, 460, 80, 20) << true
        << "eyelid region 100,460,80,40 reaches beyond the 640x480 frame: measured on its 80x20 "
           "inside";
    QTest::newRow("negative origin")
        << vga << cv::Rect(-20, -10, 60, 40) << cv::Rect(0, 0, 40, 30) << true
        << "eyelid region -20,-10,60,40 reaches beyond the 640x480 frame: measured on its 40x30 "
           "inside";
    QTest::newRow("larger than the frame on every side")
        << cv::Size(320, 240) << cv::Rect(-10, -10, 400, 300) << cv::Rect(0, 0, 320, 240) << true
        << "eyelid region -10,-10,400,300 reaches beyond the 320x240 frame: measured on its "
           "320x240 inside";
    QTest::newRow("far edge beyond a whole number's range")
        << vga << cv::Rect(INT_MAX - 10, 0, 100, 50) << cv::Rect() << false
        << QStringLiteral("eyelid region %1,0,100,50 lies outside the 640x480 frame")
               .arg(INT_MAX - 10);
    QTest::newRow("from far left to inside")
        << vga << cv::Rect(-2'000'000'000, 0, 2'000'000'100, 50) << cv::Rect(0, 0, 100, 50) << true
        << "eyelid region -2000000000,0,2000000100,50 reaches beyond the 640x480 frame: measured "
           "on its 100x50 inside";
    QTest::newRow("right of the frame")
        << vga << cv::Rect(700, 10, 50, 50) << cv::Rect() << false
        << "eyelid region 700,10,50,50 lies outside the 640x480 frame";
    QTest::newRow("touching the right edge from outside")
        << vga << cv::Rect(640, 10, 50, 50) << cv::Rect() << false
        << "eyelid region 640,10,50,50 lies outside the 640x480 frame";
    QTest::newRow("above the frame") << vga << cv::Rect(10, -60, 50, 50) << cv::Rect() << false
                                     << "eyelid region 10,-60,50,50 lies outside the 640x480 frame";
    QTest::newRow("empty") << vga << cv::Rect(10, 10, 0, 10) << cv::Rect() << false
                           << "eyelid region 10,10,0,10 is empty";
}

void EyelidRegionTest::clippedTo()
{
    QFETCH(cv::Size, frameSize);
    QFETCH(cv::Rect, box);
    QFETCH(cv::Rect, inside);
    QFETCH(bool, partlyOutside);
    QFETCH(QString, reason);
    const EyelidRegion::Clipped clipped = EyelidRegion{box}.clippedTo(frameSize);
    QCOMPARE(clipped.inside, inside);
    QCOMPARE(clipped.usable(), !inside.empty());
    QCOMPARE(clipped.partlyOutside, partlyOutside);
    QCOMPARE(clipped.reason, reason);
}

QTEST_APPLESS_MAIN(EyelidRegionTest)
#include "tst_EyelidRegion.moc"
