#include "ChartFonts.h"

#include "ChartColours.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kDefaultPixelHeight = 12;

QString FaceName(const ZynLogFont& lf) {
    const auto end = std::find(lf.lfFaceName.begin(), lf.lfFaceName.end(), u'\0');
    return QString::fromUtf16(lf.lfFaceName.data(), end - lf.lfFaceName.begin());
}

// The faces that stored records name are rarely installed on Linux; an installed sans face keeps
// the chart legible and its metrics close to what the record describes.
QString InstalledFamily(const QString& wanted) {
    if (!wanted.isEmpty() && QFontDatabase::hasFamily(wanted)) return wanted;
    QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (!general.isEmpty() && QFontDatabase::hasFamily(general)) return general;
    for (const char* face : {"DejaVu Sans", "Liberation Sans", "Noto Sans", "FreeSans"})
        if (QFontDatabase::hasFamily(QString::fromLatin1(face))) return QString::fromLatin1(face);
    return QStringLiteral("Sans Serif");
}

// Pixel size whose line height (ascent + descent) comes closest to a cell height.
int PixelSizeForCellHeight(const QFont& font, int cellHeight) {
    QFont probe(font);
    probe.setPixelSize(100);
    const double lineHeight = QFontMetricsF(probe).height();
    if (!(lineHeight > 0)) return cellHeight;
    return std::max(1, int(std::lround(cellHeight * 100.0 / lineHeight)));
}

std::optional<ZynFontSlot> MakeSlot(const ZynLogFont& lf) {
    return ZynFontSlot{lf, CreateFontFromLogFont(lf)};
}

} // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long half = std::llabs(c) / 2;
    const long long q = ((p < 0) != (c < 0)) ? -((std::llabs(p) + half) / std::llabs(c))
                                             : (std::llabs(p) + half) / std::llabs(c);
    return static_cast<int>(q);
}

ZynLogFont DefaultChartLogFont() {
    ZynLogFont lf;
    lf.lfHeight = -12;
    lf.lfWeight = 400;
    lf.lfPitchAndFamily = 0x20;
    const std::u16string_view face = u"Microsoft Sans Serif";
    std::copy(face.begin(), face.end(), lf.lfFaceName.begin());
    return lf;
}

QFont CreateFontFromLogFont(const ZynLogFont& lf) {
    QFont font(InstalledFamily(FaceName(lf)));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(lf.lfWeight <= 0 ? QFont::Normal : QFont::Weight(std::clamp(int(lf.lfWeight), 1, 1000)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    if (lf.lfHeight < 0)
        font.setPixelSize(int(std::min<long long>(-static_cast<long long>(lf.lfHeight), 4096)));
    else if (lf.lfHeight > 0)
        font.setPixelSize(PixelSizeForCellHeight(font, std::min(int(lf.lfHeight), 4096)));
    else
        font.setPixelSize(kDefaultPixelHeight);
    return font;
}

ZynLogFont LogFontFromFont(const QFont& font) {
    ZynLogFont lf;
    int px = font.pixelSize();
    if (px <= 0) {
        const int dpi = ScreenDpiY() > 0 ? ScreenDpiY() : 96;
        px = int(std::lround(font.pointSizeF() * dpi / 72.0));
    }
    lf.lfHeight = -px;
    lf.lfWeight = font.weight();
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfPitchAndFamily = 0x20;
    const QString family = font.family().left(31);
    std::copy(family.utf16(), family.utf16() + family.size(), lf.lfFaceName.begin());
    return lf;
}

QFont ChartFont(ChartSettings& s) {
    if (!s.chartFontSlot) s.chartFontSlot = MakeSlot(DefaultChartLogFont());
    return s.chartFontSlot->font;
}

QFont ReportFont(ChartSettings& s) {
    return s.reportFontSlot ? s.reportFontSlot->font : ChartFont(s);
}

void SetChartFont(ChartSettings& s, const ZynLogFont& lf) {
    s.chartFontSlot = MakeSlot(lf);
}
void SetChartFont(ChartSettings& s, const QFont& font) {
    SetChartFont(s, LogFontFromFont(font));
}
void SetReportFont(ChartSettings& s, const ZynLogFont& lf) {
    s.reportFontSlot = MakeSlot(lf);
}
void SetReportFont(ChartSettings& s, const QFont& font) {
    SetReportFont(s, LogFontFromFont(font));
}

void RefreshStoredFonts(ChartSettings& s) {
    if (s.chartFontSlot) s.chartFont = s.chartFontSlot->logFont;
    if (s.reportFontSlot) s.reportFont = s.reportFontSlot->logFont;
}

void ReleaseFonts(ChartSettings& s) {
    s.chartFontSlot.reset();
    s.reportFontSlot.reset();
}

void FinishChartSettings(ChartSettings& s, bool fromStorage, COLORREF systemWindowColour) {
    ReleaseFonts(s);
    if (fromStorage) {
        s.chartFontSlot = MakeSlot(s.chartFont);
        s.reportFontSlot = MakeSlot(s.reportFont);
    } else {
        s.chartFontSlot = MakeSlot(DefaultChartLogFont());
        s.reportFontSlot = s.chartFontSlot;
    }
    if (s.backgroundPaletteIndex == ChartSettings::kSystemWindowPaletteIndex)
        s.ColorBackGround = systemWindowColour;
    if (s.reportBackgroundPaletteIndex == ChartSettings::kSystemWindowPaletteIndex)
        s.reportBackgroundColour = systemWindowColour;
}

void CopySettings(ChartSettings& target, const ChartSettings& source) {
    if (&target == &source) return;
    const std::uint32_t version = target.version;
    target = source;
    target.version = version;
    // Recreated from the source's descriptions so that the two records never share a font.
    target.chartFontSlot = source.chartFontSlot ? MakeSlot(source.chartFontSlot->logFont) : std::nullopt;
    target.reportFontSlot = source.reportFontSlot ? MakeSlot(source.reportFontSlot->logFont) : std::nullopt;
}

int ScreenDpiY() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInchY())) : 0;
}

int PixelsToPoints(int height, int screenDpiY) {
    if (screenDpiY == 0) return height;
    return -MulDiv(std::abs(height), 72, std::abs(screenDpiY));
}

void AdaptForPrinter(ChartSettings& s, int printerDpiY, int screenDpiY) {
    if (s.chartPrinterFriendly) {
        s.ColorGrid = MaskColour(EffectiveGridColour(s), 0x3f);
        s.gridColourAuto = 0;
        s.ColorText = MaskColour(EffectiveTextColour(s), 0x3f);
        s.textColourAuto = 0;
        s.ColorBackGround = 0xFFFFFF;
    }
    if (s.reportPrinterFriendly) {
        s.reportTextColour = MaskColour(EffectiveReportTextColour(s), 0x3f);
        s.reportTextColourAuto = 0;
        s.reportBackgroundColour = 0xFFFFFF;
    }
    auto toPrinter = [&](std::optional<ZynFontSlot>& slot) {
        if (!slot) return;
        ZynLogFont lf = slot->logFont;
        const int points = PixelsToPoints(lf.lfHeight, screenDpiY);
        lf.lfHeight = -MulDiv(points, printerDpiY, 72);
        slot = MakeSlot(lf);
    };
    ChartFont(s);
    toPrinter(s.chartFontSlot);
    toPrinter(s.reportFontSlot);
}

void AdaptForPrinter(ChartSettings& s, const QPaintDevice& printer) {
    AdaptForPrinter(s, printer.logicalDpiY());
}
