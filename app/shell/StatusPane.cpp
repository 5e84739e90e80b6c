#include "StatusPane.h"

#include "display/ChartColours.h"
#include "document/ZynMessageBox.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kHighlightEnd = 19;
constexpr int kFadeStart = 20, kFadeEnd = 40;
constexpr int kTextFadeStart = 70, kTextFadeEnd = 90;
constexpr int kClearTick = 91;

const char16_t* const kRemarks[CStatusPane::kRemarkCount] = {
    u"You shouldn't click here.",
    u"Don't do that.",
    u"Really, there is nothing here.",
    u"This is only the message pane.",
    u"Clicking will not make it faster.",
    u"Still nothing to see.",
    u"The counters are doing fine without you.",
    u"Are you bored?",
    u"Try adding a channel instead.",
    u"This pane has feelings too.",
    u"Please stop.",
    u"I mean it.",
    u"You are very persistent.",
    u"That tickles.",
    u"Fine, keep clicking.",
    u"I am running out of things to say.",
    u"Nearly out of words now.",
    u"Is this really how you want to spend your time?",
    u"Only a few more left.",
    u"This is the second to last one.",
    u"No more. Goodbye and have a nice life.",
};

} // namespace

CStatusPane::CStatusPane(QWidget* parent) : QWidget(parent) {
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &CStatusPane::Tick);
}

COLORREF CStatusPane::LevelColour(int level) {
    switch (std::clamp(level, 0, 2)) {
    case 0:
        return 0x00FF00;
    case 1:
        return 0x00FFFF;
    default:
        return 0x0000FF;
    }
}

QString CStatusPane::Remark(int index) {
    return QString::fromUtf16(kRemarks[std::clamp(index, 0, kRemarkCount - 1)]);
}

void CStatusPane::SetMessage(const QString& text, int level) {
    m_text = text;
    m_level = std::clamp(level, 0, 2);
    m_ticks = 0;
    if (!m_timer.isActive()) m_timer.start();
    setToolTip(m_text);
    // A long message asks the status bar for room.
    updateGeometry();
    update();
}

void CStatusPane::Tick() {
    ++m_ticks;
    if (m_ticks >= kClearTick) {
        m_timer.stop();
        m_text.clear();
        setToolTip(QString());
        updateGeometry();
    }
    update();
}

QString CStatusPane::FitText(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    // Whole words only: a value cut in the middle reads as another value.
    QString fitted;
    for (const QString& word : text.split(u' ')) {
        const QString longer = fitted.isEmpty() ? word : fitted + u' ' + word;
        if (metrics.horizontalAdvance(longer + ellipsis) > width) break;
        fitted = longer;
    }
    return fitted + ellipsis;
}

QString CStatusPane::DisplayedText() const {
    return FitText(m_text, fontMetrics(), width() - TextMargin());
}

CStatusPane::Phase CStatusPane::CurrentPhase() const {
    if (m_text.isEmpty()) return Phase::None;
    if (m_ticks <= kHighlightEnd) return Phase::Highlight;
    if (m_ticks <= kFadeEnd) return Phase::BackgroundFade;
    if (m_ticks < kTextFadeStart) return Phase::Hold;
    return Phase::TextFade;
}

COLORREF CStatusPane::Face() const {
    return FromQColor(palette().color(QPalette::Button));
}
COLORREF CStatusPane::FaceText() const {
    return FromQColor(palette().color(QPalette::ButtonText));
}

QColor CStatusPane::FillColour() const {
    switch (CurrentPhase()) {
    case Phase::Highlight:
        return ToQColor(LevelColour(m_level));
    case Phase::BackgroundFade:
        return ToQColor(
            Blend(LevelColour(m_level), Face(), (m_ticks - kFadeStart) * 100 / (kFadeEnd - kFadeStart)));
    default:
        return {};
    }
}

QColor CStatusPane::TextColour() const {
    switch (CurrentPhase()) {
    case Phase::Highlight:
        return Qt::black;
    case Phase::BackgroundFade:
        return (m_ticks - kFadeStart) * 100 / (kFadeEnd - kFadeStart) >= 90 ? ToQColor(FaceText())
                                                                            : QColor(Qt::black);
    case Phase::TextFade:
        return ToQColor(
            Blend(FaceText(), Face(), (m_ticks - kTextFadeStart) * 100 / (kTextFadeEnd - kTextFadeStart)));
    default:
        return ToQColor(FaceText());
    }
}

QSize CStatusPane::sizeHint() const {
    // Fourteen times the width of a plain indicator pane, wider while the message needs it.
    const QFontMetrics fm = fontMetrics();
    const int height = fm.height() + 4;
    const int text = m_text.isEmpty() ? 0 : height / 4 + fm.horizontalAdvance(m_text) + fm.averageCharWidth();
    return {std::max(14 * fm.horizontalAdvance(QStringLiteral("CAP")), text), height};
}

void CStatusPane::paintEvent(QPaintEvent*) {
    if (m_text.isEmpty()) return;
    QPainter p(this);
    const QColor fill = FillColour();
    if (fill.isValid()) p.fillRect(rect(), fill);
    p.setPen(TextColour());
    const QRect text = rect().adjusted(TextMargin(), 0, 0, 0);
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, DisplayedText());
}

void CStatusPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) NextRemark();
    emit Clicked();
}

void CStatusPane::NextRemark() {
    if (m_clicks < kRemarkCount) {
        SetMessage(Remark(m_clicks++), 1);
        return;
    }
    m_clicks = 0;
    m_timer.stop();
    m_text.clear();
    setToolTip(QString());
    updateGeometry();
    update();
    ZynMessageBox(QStringLiteral("That was really the last one."), QMessageBox::Ok, QMessageBox::Information);
}
