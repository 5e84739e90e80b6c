#pragma once
// The "Display" page: sample rate, view size and the time axis's mode and format.

#include "OptionPage.h"
#include "display/ChartSettings.h"

#include <array>
#include <optional>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace zyn::options {

inline constexpr double kMinRateSeconds = 0.2;
inline constexpr double kMaxRateSeconds = 86400.0;
inline constexpr int kSliderMax = 100;

// The rate slider's 17 steps in seconds; 0 stands for half a second.
const std::array<int, 17>& RateTable();
// Seconds clamped to 0.2 .. 86400 (a value that is not a number reads as the lower bound).
double ClampRateSeconds(double seconds);
// The rate a slider position selects, in seconds.
double RateSecondsAtSlider(int position);
// The slider position shown for a rate: the first step not below it, 0 below one second.
int RateSliderPosition(double seconds);
// Stored milliseconds for a typed rate: clamped seconds times 1000, truncated.
std::uint32_t RateMilliseconds(double seconds);
// The seconds the rate edit shows for stored milliseconds.
double RateSecondsOf(std::uint32_t milliseconds);
QString FormatRateSeconds(double seconds);

// The view-size slider over `levels` positions (the zoom spans, plus "all data" when offered).
int ViewLevelAtSlider(int position, int levels);
int ViewSliderPosition(int level, int levels);
// The zoom level shown for a span: the first span not shorter.
int ViewLevelOf(double span);
// A span typed as a duration ("3.00 minutes", "90 seconds", "2 h", "1.5 days"; a bare number is
// minutes), clamped to the zoom range; nothing for text that is not a duration.
std::optional<double> ParseSpan(const QString& text);

// The format lists by time mode (0 absolute, 1 relative).
QStringList TimeFormats(int timeMode);
int ClampTimeFormat(int timeMode, std::int64_t index);

} // namespace zyn::options

class CDisplayPage : public COptionPage {
    Q_OBJECT
public:
    // `offerAllData` adds "View all data" at the end of the view-size slider (a chart's sheet).
    CDisplayPage(ChartSettings& working, bool offerAllData, QWidget* parent = nullptr);

    void UpdateData() override;

    QSlider* RateSlider() const { return m_rateSlider; }
    QLineEdit* RateEdit() const { return m_rateEdit; }
    QSlider* ViewSlider() const { return m_viewSlider; }
    QLineEdit* ViewEdit() const { return m_viewEdit; }
    QRadioButton* AbsoluteRadio() const { return m_absolute; }
    QRadioButton* RelativeRadio() const { return m_relative; }
    QComboBox* FormatCombo() const { return m_format; }
    // The rate and span the controls hold now.
    double RateSeconds() const { return m_rateSeconds; }
    double ViewSpan() const { return m_span; }

private:
    void OnRateSlider(int position);
    void OnRateEdited(const QString& text);
    bool ReadRate(const QString& text);
    void ShowRate();
    void OnViewSlider(int position);
    void OnViewEdited();
    void ShowSpan();
    int ViewLevels() const;
    void SetTimeMode(int mode);
    void FillFormats();

    ChartSettings& m_working;
    bool m_offerAllData;
    double m_rateSeconds = 1.0;
    double m_span = ChartSettings::kDefaultViewSpan; // -1: all data
    int m_timeMode = 1;
    int m_absoluteFormat = 0;
    int m_relativeFormat = 1;
    QSlider* m_rateSlider = nullptr;
    QLineEdit* m_rateEdit = nullptr;
    QSlider* m_viewSlider = nullptr;
    QLineEdit* m_viewEdit = nullptr;
    QRadioButton* m_absolute = nullptr;
    QRadioButton* m_relative = nullptr;
    QComboBox* m_format = nullptr;
};
