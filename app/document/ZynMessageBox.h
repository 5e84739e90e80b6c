#pragma once
// Message boxes of the program go through one function, so that tests can answer them.

#include <QMessageBox>
#include <QString>

#include <functional>

using ZynMessageHook =
    std::function<QMessageBox::StandardButton(const QString& text, QMessageBox::StandardButtons buttons)>;

// Installs a hook that answers instead of a modal box (null restores the boxes).
void SetZynMessageHook(ZynMessageHook hook);

// Shows `text` with the given buttons and returns the button chosen.
QMessageBox::StandardButton ZynMessageBox(const QString& text,
                                          QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                          QMessageBox::Icon icon = QMessageBox::Warning);

// The numbered text with "%ls" replaced by the arguments in order.
QString ZynFormat(int id, const QStringList& args = {});
QString ZynFormatText(QString text, const QStringList& args);
