#pragma once
// CColourChooser: the colour buttons of the "Chart" and "Grid" pages: "1" ... "12", "None" and
// "Custom...", each showing its palette entry, with the palette name as tool tip. It edits one
// colour of the sheet's working record: clicking a button stores the entry's colour and index,
// "None" the system window colour, and a double click on "Custom..." asks the colour dialog for a
// new custom colour.

#include "ColourPalette.h"

#include <QAbstractButton>
#include <QWidget>

#include <vector>

// Which record fields a chooser edits: the colour, its palette index and the custom colour.
struct ColourFields {
    COLORREF ChartSettings::*colour;
    std::uint32_t ChartSettings::*index;
    COLORREF ChartSettings::*custom;
};

// A checkable button painted in one colour with its label in the contrasting text colour.
class CSwatchButton : public QAbstractButton {
    Q_OBJECT
public:
    CSwatchButton(const QString& text, QWidget* parent = nullptr);
    void SetColour(COLORREF colour);
    COLORREF Colour() const { return m_colour; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    COLORREF m_colour = 0xFFFFFF;
};

class CColourChooser : public QWidget {
    Q_OBJECT
public:
    CColourChooser(zyn::options::PaletteKind kind, ChartSettings& working, ColourFields fields,
                   QWidget* parent = nullptr);

    // What clicking button `index` does.
    void Choose(int index);
    // What double-clicking "Custom..." does.
    void EditCustom();
    int Selected() const { return m_selected; }
    CSwatchButton* Button(int index) const;
    // The colour buttons follow an "automatic colour" switch.
    void SetButtonsEnabled(bool enabled);
    // Writes the selected entry's index (a stored index outside the palette reads as 13).
    void UpdateData();

signals:
    void changed();

private:
    void MarkSelected(int index);
    COLORREF EntryColour(int index) const;

    zyn::options::Palette m_palette;
    ChartSettings& m_working;
    ColourFields m_fields;
    std::vector<CSwatchButton*> m_buttons;
    int m_selected = 0;
};
