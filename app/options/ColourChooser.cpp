#include "ColourChooser.h"

#include "OptionDialogs.h"
#include "display/ChartColours.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

using namespace zyn::options;

CSwatchButton::CSwatchButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
}

void CSwatchButton::SetColour(COLORREF colour) {
    m_colour = colour;
    update();
}

QSize CSwatchButton::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const int h = fm.height() * 2;
    return {std::max(h, fm.horizontalAdvance(text()) + fm.height()), h};
}

void CSwatchButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect().adjusted(2, 2, -3, -3);
    const QColor fill = isEnabled() ? ToQColor(m_colour) : palette().color(QPalette::Window);
    p.fillRect(r, fill);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r);
    if (isChecked()) {
        // The chosen entry: a frame in the highlight colour around the swatch.
        QPen pen(palette().color(QPalette::Highlight), 3);
        p.setPen(pen);
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
    p.setPen(isEnabled() ? ToQColor(AutoTextColour(m_colour))
                         : palette().color(QPalette::Disabled, QPalette::Text));
    p.drawText(r, Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void CSwatchButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QAbstractButton::mouseDoubleClickEvent(event);
}

CColourChooser::CColourChooser(PaletteKind kind, ChartSettings& working, ColourFields fields, QWidget* parent)
    : QWidget(parent), m_palette(LoadPalette(kind)), m_working(working), m_fields(fields) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    for (int i = 0; i < kPaletteSize; ++i) {
        const QString label = i < kPaletteNone    ? QString::number(i + 1)
                              : i == kPaletteNone ? tr("None")
                                                  : tr("Custom...");
        auto* button = new CSwatchButton(label, this);
        button->setObjectName(QStringLiteral("Colour%1").arg(i));
        button->setToolTip(m_palette[std::size_t(i)].name);
        button->setAccessibleName(m_palette[std::size_t(i)].name);
        button->SetColour(EntryColour(i));
        m_buttons.push_back(button);
        connect(button, &QAbstractButton::clicked, this, [this, i] { Choose(i); });
        if (i < kPaletteNone)
            grid->addWidget(button, i / 6, i % 6);
        else
            grid->addWidget(button, 2, i == kPaletteNone ? 0 : 3, 1, 3);
    }
    connect(m_buttons[kPaletteCustom], &CSwatchButton::doubleClicked, this, &CColourChooser::EditCustom);
    MarkSelected(ClampPaletteIndex(m_working.*m_fields.index));
}

CSwatchButton* CColourChooser::Button(int index) const {
    return index >= 0 && index < kPaletteSize ? m_buttons[std::size_t(index)] : nullptr;
}

COLORREF CColourChooser::EntryColour(int index) const {
    if (index == kPaletteNone) return SystemWindowColour();
    if (index == kPaletteCustom) return m_working.*m_fields.custom;
    return m_palette[std::size_t(index)].colour;
}

void CColourChooser::MarkSelected(int index) {
    m_selected = index;
    for (int i = 0; i < kPaletteSize; ++i)
        m_buttons[std::size_t(i)]->setChecked(i == index);
}

void CColourChooser::Choose(int index) {
    index = ClampPaletteIndex(std::uint32_t(std::max(index, 0)));
    m_working.*m_fields.colour = EntryColour(index);
    m_working.*m_fields.index = std::uint32_t(index);
    MarkSelected(index);
    emit changed();
}

void CColourChooser::EditCustom() {
    const auto chosen = Dialogs().chooseColour(this, m_working.*m_fields.custom);
    if (!chosen) return;
    m_working.*m_fields.custom = *chosen;
    m_buttons[kPaletteCustom]->SetColour(*chosen);
    Choose(kPaletteCustom);
}

void CColourChooser::SetButtonsEnabled(bool enabled) {
    for (CSwatchButton* b : m_buttons)
        b->setEnabled(enabled);
}

void CColourChooser::UpdateData() {
    m_working.*m_fields.index = std::uint32_t(m_selected);
}
