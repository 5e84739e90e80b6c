#include "OptionDialogs.h"

#include "FontColourDialog.h"
#include "display/ChartColours.h"

#include <QColorDialog>

namespace zyn::options {

DialogHooks InteractiveDialogs() {
    DialogHooks hooks;
    hooks.chooseColour = [](QWidget* parent, COLORREF initial) -> std::optional<COLORREF> {
        const QColor chosen = QColorDialog::getColor(ToQColor(initial), parent);
        if (!chosen.isValid()) return std::nullopt;
        return FromQColor(chosen);
    };
    hooks.chooseFont = [](QWidget* parent, QFont& font, COLORREF& colour) {
        CFontColourDialog dialog(font, ToQColor(colour), parent);
        if (dialog.exec() != QDialog::Accepted) return false;
        font = dialog.SelectedFont();
        colour = FromQColor(dialog.SelectedColour());
        return true;
    };
    return hooks;
}

DialogHooks& Dialogs() {
    static DialogHooks hooks = InteractiveDialogs();
    return hooks;
}

} // namespace zyn::options
