// The main of every GoogleTest binary without Qt: a helper mode when the command line names one,
// else the tests.

#include "SpawnSelf.h"

#include <gmock/gmock.h>

int main(int argc, char** argv) {
    if (const auto rc = zyn::test::RunHelperMode(argc, argv)) return *rc;
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
