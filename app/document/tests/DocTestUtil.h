#pragma once
// A context whose user-interface hooks and message boxes answer from the test instead of showing
// dialogs.

#include "document/AppContext.h"
#include "document/ZynMessageBox.h"

#include <QStringList>

struct FakeUi {
    bool shift = false;
    bool answerYes = true;
    int questions = 0;
    QStringList errors;
    int beeps = 0;
    QStringList browsedPaths;       // handed to the browser callback in one batch
    CounterBrowseConfig lastConfig; // what the browser was opened with
    int browses = 0;

    FakeUi() = default;
    FakeUi(const FakeUi&) = delete;
    FakeUi& operator=(const FakeUi&) = delete;
    ~FakeUi() { SetZynMessageHook(nullptr); }

    // Questions (boxes with a Yes button) are counted and answered; other boxes are errors.
    void Install(CAppContext& ctx) {
        SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons buttons) {
            if (buttons.testFlag(QMessageBox::Yes)) {
                ++questions;
                return answerYes ? QMessageBox::Yes : QMessageBox::No;
            }
            errors << text;
            return QMessageBox::Ok;
        });
        ctx.ui.keyboardModifiers = [this] { return shift ? Qt::ShiftModifier : Qt::NoModifier; };
        ctx.ui.beep = [this](int, int) { ++beeps; };
        ctx.ui.browseCounters = [this](QWidget*, CounterBrowseConfig& config) {
            ++browses;
            lastConfig = config;
            if (!browsedPaths.isEmpty() && config.callback) config.callback(browsedPaths);
        };
    }
};

inline const QString kCpuPath = QStringLiteral("\\Processor(_Total)\\% Processor Time");
inline const QString kMemPath = QStringLiteral("\\Memory\\Available MBytes");
