#pragma once
// The whole program for the tests of its commands: started as a start without a file would start
// it, minus the splash, with its main frame shown at one size; and ended with what it opened.

#include "shell/MainFrame.h"
#include "shell/TallonApp.h"

namespace zyn::test {

// Null when the program does not start.
inline CTallonApp* StartProgram() {
    auto* app = new CTallonApp;
    TallonCommandLine cmd;
    cmd.noArguments = false; // a start with arguments shows no splash
    int rc = 0;
    if (!app->InitInstance(cmd, rc)) {
        app->ExitInstance();
        delete app;
        return nullptr;
    }
    app->MainFrame()->resize(1000, 700);
    app->MainFrame()->show();
    return app;
}

inline void EndProgram(CTallonApp*& app) {
    if (!app) return;
    app->ExitInstance();
    delete app;
    app = nullptr;
}

} // namespace zyn::test
