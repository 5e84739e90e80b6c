#pragma once
// The two fonts of a chart (chart font and report font), their stored descriptions, copying a
// settings record, and adapting a record for a printer.

#include "ChartSettings.h"

#include <QFont>

class QPaintDevice;

// "Microsoft Sans Serif", height -12, weight 400, swiss.
ZynLogFont DefaultChartLogFont();

// A font object for a stored description at a target with `dpiY` dots per inch vertically.
// The stored face is used when it is installed, else the system's default sans font; the
// description itself is left as it is so that files round-trip unchanged. Heights are pixels
// of the target: negative the character height, positive the cell height, 0 the default.
QFont CreateFontFromLogFont(const ZynLogFont& lf);
// The description of a font object (its pixel height negated, weight, style, face).
ZynLogFont LogFontFromFont(const QFont& font);

// The chart font, created (default chart font) and kept in the record when it has none.
QFont ChartFont(ChartSettings& s);
// The report font, or the chart font when the record has no report font.
QFont ReportFont(ChartSettings& s);
void SetChartFont(ChartSettings& s, const ZynLogFont& lf);
void SetChartFont(ChartSettings& s, const QFont& font);
void SetReportFont(ChartSettings& s, const ZynLogFont& lf);
void SetReportFont(ChartSettings& s, const QFont& font);
// Copies each live font's description into the stored fields (before the record is written).
void RefreshStoredFonts(ChartSettings& s);
void ReleaseFonts(ChartSettings& s);

// After a record was read from storage (`fromStorage`) or built as a new default: fonts recreated
// from the stored descriptions, or the default chart font and a copy of it as report font. A
// palette index of 12 takes `systemWindowColour` as background.
void FinishChartSettings(ChartSettings& s, bool fromStorage, COLORREF systemWindowColour = 0xFFFFFF);

// Every field but the version; fonts are recreated in the target, never shared.
void CopySettings(ChartSettings& target, const ChartSettings& source);

// A LOGFONT height in screen pixels as a negative point size at `screenDpiY` (0 leaves it alone).
int PixelsToPoints(int height, int screenDpiY);
// The screen's vertical resolution, or 0 without a screen.
int ScreenDpiY();

// Printer-friendly colours and fonts scaled from the screen's resolution to the printer's.
void AdaptForPrinter(ChartSettings& s, int printerDpiY, int screenDpiY = ScreenDpiY());
void AdaptForPrinter(ChartSettings& s, const QPaintDevice& printer);

// Windows' rounding multiply-divide: a * b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);
