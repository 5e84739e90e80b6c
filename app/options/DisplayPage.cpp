#include "DisplayPage.h"

#include "display/ChartRenderer.h"
#include "display/DisplayFormat.h"

#include "utils/ZynNumber.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zyn::options {

namespace {

constexpr int kRateSteps = 17;

// The smallest slider position that selects step `index` of `steps` (positions map to steps by
// position * (steps - 1) / 100, truncated), so that a slider set from a value reads that value back.
int FirstPositionOf(int index, int steps) {
    if (steps <= 1) return 0;
    return std::clamp((index * kSliderMax + steps - 2) / (steps - 1), 0, kSliderMax);
}

} // namespace

const std::array<int, 17>& RateTable() {
    static const std::array<int, 17> table = {0,  1,  2,  3,   4,   5,   10,  20,  30,
                                              45, 60, 90, 180, 240, 300, 500, 1000};
    return table;
}

double ClampRateSeconds(double seconds) {
    if (std::isnan(seconds)) return kMinRateSeconds;
    return std::clamp(seconds, kMinRateSeconds, kMaxRateSeconds);
}

double RateSecondsAtSlider(int position) {
    const int index = std::clamp(position * (kRateSteps - 1) / kSliderMax, 0, kRateSteps - 1);
    const int value = RateTable()[std::size_t(index)];
    return value == 0 ? 0.5 : double(value);
}

int RateSliderPosition(double seconds) {
    seconds = ClampRateSeconds(seconds);
    if (seconds < 1.0) return 0;
    const auto& table = RateTable();
    const auto it = std::find_if(table.begin() + 1, table.end(), [&](int v) { return v >= seconds; });
    const int index = it == table.end() ? kRateSteps - 1 : int(it - table.begin());
    return FirstPositionOf(index, kRateSteps);
}

std::uint32_t RateMilliseconds(double seconds) {
    return std::uint32_t(std::trunc(ClampRateSeconds(seconds) * 1000.0));
}

double RateSecondsOf(std::uint32_t milliseconds) {
    return ClampRateSeconds(milliseconds * 0.001);
}

QString FormatRateSeconds(double seconds) {
    return QString::number(seconds, 'g', 10);
}

int ViewLevelAtSlider(int position, int levels) {
    return std::clamp(position * (levels - 1) / kSliderMax, 0, std::max(0, levels - 1));
}

int ViewSliderPosition(int level, int levels) {
    return FirstPositionOf(std::clamp(level, 0, std::max(0, levels - 1)), levels);
}

int ViewLevelOf(double span) {
    const auto& table = CChartRenderer::SpanTable();
    const double entry = CChartRenderer::SpanAtLeast(span);
    return int(std::find(table.begin(), table.end(), entry) - table.begin());
}

std::optional<double> ParseSpan(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*([0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?)\\s*([A-Za-z]*)\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    const double value = m.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    const QString unit = m.captured(2).toLower();
    // A unit is any beginning of the unit word or its usual short form.
    struct Unit {
        const char* word;
        const char* shortForm;
        double days;
    };
    static const Unit units[] = {{"days", "d", 1.0},
                                 {"hours", "hrs", 1.0 / 24},
                                 {"minutes", "mins", 1.0 / 1440},
                                 {"seconds", "secs", 1.0 / 86400}};
    double factor = 1.0 / 1440; // a bare number is minutes, the unit of the default span
    if (!unit.isEmpty()) {
        const auto it = std::find_if(std::begin(units), std::end(units), [&](const Unit& u) {
            return QLatin1String(u.word).startsWith(unit) || QLatin1String(u.shortForm).startsWith(unit);
        });
        if (it == std::end(units)) return std::nullopt;
        factor = it->days;
    }
    const auto& table = CChartRenderer::SpanTable();
    return std::clamp(value * factor, table.front(), table.back());
}

QStringList TimeFormats(int timeMode) {
    if (timeMode == 0) return {QStringLiteral("hh:mm:ss"), QStringLiteral("hh:mm")};
    return {QStringLiteral("hh:mm:ss"), QStringLiteral("mm:ss"), QStringLiteral("ss")};
}

int ClampTimeFormat(int timeMode, std::int64_t index) {
    return int(std::clamp<std::int64_t>(index, 0, TimeFormats(timeMode).size() - 1));
}

} // namespace zyn::options

using namespace zyn::options;

namespace {
const QString kAllData = QStringLiteral("View all data");
}

CDisplayPage::CDisplayPage(ChartSettings& working, bool offerAllData, QWidget* parent)
    : COptionPage(tr("Display"), parent), m_working(working), m_offerAllData(offerAllData) {
    m_rateSeconds = RateSecondsOf(working.sampleRate);
    m_span = working.viewSpan;
    if (!(m_span > 0) && !m_offerAllData) m_span = CChartRenderer::SpanTable().front();
    m_timeMode = working.timeMode == 0 ? 0 : 1;
    m_absoluteFormat = ClampTimeFormat(0, working.absoluteTimeFormat);
    m_relativeFormat = ClampTimeFormat(1, working.relativeTimeFormat);

    auto* rateBox = new QGroupBox(tr("Sample Rate"), this);
    m_rateSlider = new QSlider(Qt::Horizontal, rateBox);
    m_rateSlider->setObjectName(QStringLiteral("RateSlider"));
    m_rateSlider->setRange(0, kSliderMax);
    m_rateSlider->setTickPosition(QSlider::TicksBelow);
    m_rateSlider->setTickInterval(10);
    m_rateEdit = new QLineEdit(rateBox);
    m_rateEdit->setObjectName(QStringLiteral("RateEdit"));
    m_rateEdit->setMaximumWidth(m_rateEdit->fontMetrics().horizontalAdvance(QStringLiteral("000000.000")) +
                                m_rateEdit->fontMetrics().height());
    auto* rateRow = new QHBoxLayout(rateBox);
    rateRow->addWidget(m_rateSlider, 1);
    rateRow->addWidget(m_rateEdit);
    rateRow->addWidget(new QLabel(tr("seconds"), rateBox));

    auto* viewBox = new QGroupBox(tr("View Size"), this);
    m_viewSlider = new QSlider(Qt::Horizontal, viewBox);
    m_viewSlider->setObjectName(QStringLiteral("ViewSlider"));
    m_viewSlider->setRange(0, kSliderMax);
    m_viewSlider->setTickPosition(QSlider::TicksBelow);
    m_viewSlider->setTickInterval(10);
    m_viewEdit = new QLineEdit(viewBox);
    m_viewEdit->setObjectName(QStringLiteral("ViewEdit"));
    auto* viewGrid = new QGridLayout(viewBox);
    viewGrid->addWidget(new QLabel(tr("Zoom In"), viewBox), 0, 0);
    viewGrid->addWidget(m_viewSlider, 0, 1);
    viewGrid->addWidget(new QLabel(tr("Zoom Out"), viewBox), 0, 2);
    viewGrid->addWidget(m_viewEdit, 1, 1);
    viewGrid->setColumnStretch(1, 1);

    auto* timeBox = new QGroupBox(tr("Time Axis"), this);
    m_absolute = new QRadioButton(tr("Absolute Time"), timeBox);
    m_relative = new QRadioButton(tr("Relative Time"), timeBox);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_absolute, 0);
    modes->addButton(m_relative, 1);
    m_format = new QComboBox(timeBox);
    m_format->setObjectName(QStringLiteral("FormatCombo"));
    auto* timeLayout = new QGridLayout(timeBox);
    timeLayout->addWidget(m_absolute, 0, 0);
    timeLayout->addWidget(m_relative, 1, 0);
    auto* formatLabel = new QLabel(tr("Format"), timeBox);
    formatLabel->setBuddy(m_format);
    timeLayout->addWidget(formatLabel, 0, 1, Qt::AlignRight);
    timeLayout->addWidget(m_format, 0, 2);
    timeLayout->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rateBox);
    layout->addWidget(viewBox);
    layout->addWidget(timeBox);
    layout->addStretch(1);

    ShowRate();
    m_rateSlider->setValue(RateSliderPosition(m_rateSeconds));
    ShowSpan();
    (m_timeMode == 0 ? m_absolute : m_relative)->setChecked(true);
    FillFormats();

    connect(m_rateSlider, &QSlider::valueChanged, this, &CDisplayPage::OnRateSlider);
    connect(m_rateEdit, &QLineEdit::textEdited, this, &CDisplayPage::OnRateEdited);
    connect(m_rateEdit, &QLineEdit::editingFinished, this, &CDisplayPage::ShowRate);
    connect(m_viewSlider, &QSlider::valueChanged, this, &CDisplayPage::OnViewSlider);
    connect(m_viewEdit, &QLineEdit::editingFinished, this, &CDisplayPage::OnViewEdited);
    connect(modes, &QButtonGroup::idClicked, this, &CDisplayPage::SetTimeMode);
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        (m_timeMode == 0 ? m_absoluteFormat : m_relativeFormat) = index;
        emit changed();
    });
}

void CDisplayPage::OnRateSlider(int position) {
    m_rateSeconds = RateSecondsAtSlider(position);
    ShowRate();
    emit changed();
}

void CDisplayPage::OnRateEdited(const QString& text) {
    if (ReadRate(text)) emit changed();
}

bool CDisplayPage::ReadRate(const QString& text) {
    // Text without a digit (an edit being cleared to type anew) leaves the rate as it is.
    if (!std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) return false;
    m_rateSeconds = ClampRateSeconds(StringToDouble(reinterpret_cast<const char16_t*>(text.utf16())));
    const QSignalBlocker block(m_rateSlider);
    m_rateSlider->setValue(RateSliderPosition(m_rateSeconds));
    return true;
}

void CDisplayPage::ShowRate() {
    m_rateEdit->setText(FormatRateSeconds(m_rateSeconds));
}

int CDisplayPage::ViewLevels() const {
    return int(CChartRenderer::SpanTable().size()) + (m_offerAllData ? 1 : 0);
}

void CDisplayPage::OnViewSlider(int position) {
    const auto& table = CChartRenderer::SpanTable();
    const int level = ViewLevelAtSlider(position, ViewLevels());
    m_span = level < int(table.size()) ? table[std::size_t(level)] : -1.0;
    m_viewEdit->setText(m_span > 0 ? FormatSpan(m_span) : kAllData);
    emit changed();
}

void CDisplayPage::OnViewEdited() {
    const QString text = m_viewEdit->text().trimmed();
    if (m_offerAllData && text.compare(kAllData, Qt::CaseInsensitive) == 0) {
        m_span = -1.0;
    } else if (const auto span = ParseSpan(text)) {
        if (*span != m_span) emit changed();
        m_span = *span;
    }
    ShowSpan();
}

void CDisplayPage::ShowSpan() {
    const QSignalBlocker block(m_viewSlider);
    if (m_span > 0) {
        m_viewEdit->setText(FormatSpan(m_span));
        m_viewSlider->setValue(ViewSliderPosition(ViewLevelOf(m_span), ViewLevels()));
    } else {
        m_viewEdit->setText(kAllData);
        m_viewSlider->setValue(kSliderMax);
    }
}

void CDisplayPage::SetTimeMode(int mode) {
    if (mode == m_timeMode) return;
    m_timeMode = mode;
    FillFormats();
    emit changed();
}

// The list of the mode shown, with the choice kept for that mode.
void CDisplayPage::FillFormats() {
    const QSignalBlocker block(m_format);
    m_format->clear();
    m_format->addItems(TimeFormats(m_timeMode));
    m_format->setCurrentIndex(m_timeMode == 0 ? m_absoluteFormat : m_relativeFormat);
}

void CDisplayPage::UpdateData() {
    // A rate or span still being typed counts as typed.
    ReadRate(m_rateEdit->text());
    OnViewEdited();
    m_working.sampleRate = RateMilliseconds(m_rateSeconds);
    m_working.viewSpan = m_span;
    m_working.timeMode = std::uint32_t(m_timeMode);
    m_working.absoluteTimeFormat = std::uint32_t(m_absoluteFormat);
    m_working.relativeTimeFormat = std::uint32_t(m_relativeFormat);
}
