#include "ViewFixture.h"
#include "view/ImageExport.h"

#include "display/ChartColours.h"
#include "utils/ZynPng.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

using ExportTest = ViewFixture;

int CountColour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST_F(ExportTest, WritesThePictureTheViewShows) {
    Record(2, ZynRGB(0, 255, 0));
    doc->Settings().ColorBackGround = ZynRGB(0, 0, 48);
    CTallonView& v = MakeView(QSize(640, 400));
    const QSize size = v.viewport()->size();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    ASSERT_TRUE(zyn::display::ExportChartImage(*doc, size, path));
    QImage exported(path);
    ASSERT_EQ(exported.size(), size);
    EXPECT_GT(CountColour(exported, qRgb(0, 0, 48)), size.width() * size.height() / 2) << "mostly background";
    EXPECT_GT(CountColour(exported, qRgb(0, 255, 0)), 200) << "the channel is drawn";

    QImage shown(v.viewport()->size(), QImage::Format_RGB32);
    v.viewport()->render(&shown);
    ASSERT_EQ(shown.size(), exported.size());
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            differing += shown.pixel(x, y) != exported.pixel(x, y);
    EXPECT_LT(differing, shown.width() * shown.height() / 100) << "same picture as the view after opening";
}

// The fast PNG encoder must give back every pixel exactly, whatever the width (rows of odd byte
// counts), for the export's .png files and for suffixes no image format claims, and keep the
// image's physical size.
TEST_F(ExportTest, PngFilesHoldExactlyThePixelsDrawn) {
    Record(2, ZynRGB(0, 255, 0));
    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("chart.png"), QStringLiteral("chart.unknownsuffix")}) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(zyn::display::ExportChartImage(*doc, QSize(333, 201), path));
        const QImage drawn = zyn::display::RenderChartImage(*doc, QSize(333, 201));
        QImage read(path, "png");
        ASSERT_FALSE(read.isNull()) << name.toStdString();
        EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), drawn) << name.toStdString();
        EXPECT_EQ(read.dotsPerMeterX(), drawn.dotsPerMeterX());
    }
    QImage noise(7, 3, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y * 53 + 11) % 256));
    const std::vector<std::uint8_t> png =
        ZynEncodePng(noise.constBits(), noise.width(), noise.height(), std::size_t(noise.bytesPerLine()));
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(png.data(), int(png.size()), "png"));
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), noise);
    EXPECT_TRUE(ZynEncodePng(noise.constBits(), 0, 3, 64).empty());
}

TEST_F(ExportTest, RefusesEmptyOrHugeSizesAndParsesWxH) {
    EXPECT_FALSE(zyn::display::ExportChartImage(*doc, QSize(0, 10), QStringLiteral("/tmp/never.png")));
    EXPECT_TRUE(zyn::display::RenderChartImage(*doc, QSize(20000, 10)).isNull());
    EXPECT_EQ(zyn::display::ParseImageSize(QStringLiteral("1024x600")), QSize(1024, 600));
    EXPECT_EQ(zyn::display::ParseImageSize(QStringLiteral(" 80X60 ")), QSize(80, 60));
    EXPECT_FALSE(zyn::display::ParseImageSize(QStringLiteral("0x600")).isValid());
    EXPECT_FALSE(zyn::display::ParseImageSize(QStringLiteral("99999x2")).isValid());
    EXPECT_FALSE(zyn::display::ParseImageSize(QStringLiteral("800")).isValid());
    QTemporaryDir dir;
    EXPECT_FALSE(zyn::display::ExportChartImage(*doc, QSize(10, 10),
                                                dir.filePath(QStringLiteral("no/such/dir/x.png"))));
}

// Real counters for a few seconds: the picture is written where ZYN_LIVE_PNG says, for a person
// to look at, and checked for the channels' colours.
TEST_F(ExportTest, LiveChartOfRealCounters) {
    ctx.DefaultChartSettings().sampleRate = 200;
    ctx.DefaultChartSettings().viewSpan = kMinuteDays; // a few seconds show best on the shortest span
    doc = std::make_unique<CTallonChart>(ctx);
    ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
    ASSERT_TRUE(doc->AddChannelByPath(kMemPath));
    CComPtr<IZynChannel> mem = doc->Channels()[1];
    doc->Chart()->put_Rate(200);
    doc->Chart()->put_Run(1);
    CComPtr<IZynDataSet> data;
    mem->get_Data(&data);
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 LONG n = 0;
                                 data->get_Count(&n);
                                 return n >= 25;
                             }()),
                             15000);
    doc->Chart()->put_Run(0);
    // Both channels scaled to what they recorded, so neither hides along the plot frame.
    LONG stat = 0;
    mem->AutoScale(&stat);
    doc->Channels()[0]->AutoScale(&stat);
    doc->Channels()[0]->put_Width(2);
    const QByteArray target = qgetenv("ZYN_LIVE_PNG");
    QTemporaryDir dir;
    const QString path =
        target.isEmpty() ? dir.filePath(QStringLiteral("live.png")) : QString::fromLocal8Bit(target);
    ASSERT_TRUE(zyn::display::ExportChartImage(*doc, QSize(800, 500), path));
    const QImage image(path);
    EXPECT_GT(CountColour(image, qRgb(255, 0, 0)), 20) << "the first channel is red";
    EXPECT_GT(CountColour(image, qRgb(0, 255, 0)), 20) << "the second is green";
}

} // namespace
