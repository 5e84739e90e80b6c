#include "OffscreenGui.h"

#include <cstdlib>

QGuiApplication& OffscreenGuiApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

// Fontconfig keeps its configuration for the life of the process and never frees it: that is not
// a leak of the code under test, and would otherwise end every run as one.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer runtime looks for this name
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
