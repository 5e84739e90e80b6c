#include "TallonAppMessage.h"

#include "resources/ZynStrings.h"

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

QString ZynFormatText(QString text, const QStringList& args) {
    int from = 0;
    for (const QString& arg : args) {
        const int at = text.indexOf(QLatin1String("%ls"), from);
        if (at < 0) break;
        text.replace(at, 3, arg);
        from = at + int(arg.size());
    }
    return text;
}

QString ZynFormat(int id, const QStringList& args) {
    return ZynFormatText(LoadZynString(id), args);
}
