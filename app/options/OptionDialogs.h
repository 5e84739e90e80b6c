#pragma once
// The standard dialogs the option pages open: the colour dialog and the font dialog (with the
// text colour). One set for the process; tests replace them to answer without a window.

#include "display/ChartSettings.h"

#include <QFont>

#include <functional>
#include <optional>

class QWidget;

namespace zyn::options {

struct DialogHooks {
    // The colour dialog seeded with `initial`; nothing on Cancel.
    std::function<std::optional<COLORREF>(QWidget* parent, COLORREF initial)> chooseColour;
    // The font dialog seeded with a font and a text colour; false on Cancel.
    std::function<bool(QWidget* parent, QFont& font, COLORREF& colour)> chooseFont;
};

DialogHooks& Dialogs();
// Qt's colour dialog and CFontColourDialog.
DialogHooks InteractiveDialogs();

} // namespace zyn::options
