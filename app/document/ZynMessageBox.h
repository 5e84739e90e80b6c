#pragma once
// Every message box and question of the program goes through here, so that a test can answer them
// all in one place instead of a modal box.

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

// A Yes/No question; true for Yes.
bool ZynAskYesNo(const QString& text);
