#include "FontColourDialog.h"

#include "OptionDialogs.h"
#include "display/ChartColours.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

CFontColourDialog::CFontColourDialog(const QFont& font, const QColor& colour, QWidget* parent)
    : QDialog(parent) {
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
