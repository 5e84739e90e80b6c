#include "FontColourDialog.h"

#include "OptionDialogs.h"
#include "display/ChartColours.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

// The family's style that draws `font` (a font made from a stored description names no style, and
// the chooser would otherwise show the family's first one, often an oblique).
QFont WithStyleName(QFont font) {
    if (!font.styleName().isEmpty()) return font;
    const QString family = font.family();
    QString best;
    int bestScore = 1 << 30;
    for (const QString& style : QFontDatabase::styles(family)) {
        // The font database reports oblique faces as upright: the name tells.
        const bool slanted = QFontDatabase::italic(family, style) ||
                             style.contains(QLatin1String("Italic"), Qt::CaseInsensitive) ||
                             style.contains(QLatin1String("Oblique"), Qt::CaseInsensitive);
        if (slanted != font.italic()) continue;
        const bool narrowed = style.contains(QLatin1String("Condensed"), Qt::CaseInsensitive);
        const int score =
            std::abs(QFontDatabase::weight(family, style) - font.weight()) * 2 + (narrowed ? 1 : 0);
        if (score < bestScore) {
            bestScore = score;
            best = style;
        }
    }
    if (!best.isEmpty()) font.setStyleName(best);
    return font;
}

} // namespace

CFontColourDialog::CFontColourDialog(const QFont& requested, const QColor& colour, QWidget* parent)
    : QDialog(parent) {
    const QFont font = WithStyleName(requested);
    setWindowTitle(tr("Font"));
    // The font chooser lives inside this dialog as a plain widget.
    m_fonts = new QFontDialog(font, this);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setCurrentFont(font);

    auto* colourRow = new QHBoxLayout;
    auto* label = new QLabel(tr("&Color:"), this);
    m_colourButton = new QPushButton(this);
    m_colourButton->setObjectName(QStringLiteral("TextColour"));
    label->setBuddy(m_colourButton);
    colourRow->addWidget(label);
    colourRow->addWidget(m_colourButton);
    colourRow->addStretch(1);
    connect(m_colourButton, &QPushButton::clicked, this, [this] {
        const auto chosen = zyn::options::Dialogs().chooseColour(this, FromQColor(m_colour));
        if (chosen) SetColour(ToQColor(*chosen));
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts, 1);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
    SetColour(colour);
    m_fonts->show();
}

QFont CFontColourDialog::SelectedFont() const {
    return m_fonts->currentFont();
}

void CFontColourDialog::SetColour(const QColor& colour) {
    m_colour = colour;
    const int h = m_colourButton->fontMetrics().height();
    QPixmap swatch(h * 3, h);
    swatch.fill(colour);
    QPainter p(&swatch);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    p.end();
    m_colourButton->setIcon(QIcon(swatch));
    m_colourButton->setIconSize(swatch.size());
    m_colourButton->setText(colour.name().toUpper());
}
