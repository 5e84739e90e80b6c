#include "ZynMessageBox.h"

#include <QApplication>

namespace {
ZynMessageHook& Hook() {
    static ZynMessageHook hook;
    return hook;
}
} // namespace

void SetZynMessageHook(ZynMessageHook hook) {
    Hook() = std::move(hook);
}

QMessageBox::StandardButton ZynMessageBox(const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::Icon icon) {
    if (Hook()) return Hook()(text, buttons);
    QMessageBox box(icon, QStringLiteral("Tallon"), text, buttons, QApplication::activeWindow());
    return QMessageBox::StandardButton(box.exec());
}

bool ZynAskYesNo(const QString& text) {
    return ZynMessageBox(text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) == QMessageBox::Yes;
}
