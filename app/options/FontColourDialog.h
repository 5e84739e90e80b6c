#pragma once
// CFontColourDialog: Qt's font chooser with a text colour beside it, so that one dialog picks
// the font and the colour of a chart's or a report's text.

#include <QColor>
#include <QDialog>
#include <QFont>

class QFontDialog;
class QPushButton;

class CFontColourDialog : public QDialog {
    Q_OBJECT
public:
    CFontColourDialog(const QFont& font, const QColor& colour, QWidget* parent = nullptr);

    QFont SelectedFont() const;
    QColor SelectedColour() const { return m_colour; }
    void SetColour(const QColor& colour);

private:
    QFontDialog* m_fonts = nullptr;
    QPushButton* m_colourButton = nullptr;
    QColor m_colour;
};
