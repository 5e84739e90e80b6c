#pragma once
// A context whose user-interface hooks answer from the test instead of showing dialogs.

#include "document/AppContext.h"

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

    void Install(CAppContext& ctx) {
        ctx.ui.askYesNo = [this](QWidget*, const QString&) {
            ++questions;
            return answerYes;
        };
        ctx.ui.showError = [this](QWidget*, const QString& text) { errors << text; };
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
