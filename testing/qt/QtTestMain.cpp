// The main of the GoogleTest binaries that need Qt: a helper mode when the command line names one;
// else the offscreen platform (unless the caller chose one), a settings store of the binary's own,
// and the application object the tests need, built as Core, Gui or Widgets.

#include "testing/SpawnSelf.h"
#include "testing/TempSettingsStore.h"

#if defined(ZYN_TEST_APPLICATION_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(ZYN_TEST_APPLICATION_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gmock/gmock.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (const auto rc = zyn::test::RunHelperMode(argc, argv)) return *rc;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    zyn::test::TempSettingsStore store;
    TestApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
