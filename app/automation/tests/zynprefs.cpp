// zynprefs NUMBER VALUE: sets one numbered application setting in the settings store, as the
// preferences sheet does, for tests that start the program with it.

#include "document/NumberedSettings.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: zynprefs NUMBER VALUE\n", stderr);
        return 2;
    }
    CNumberedSettings settings;
    settings.Load();
    settings.Set(std::uint32_t(std::strtoul(argv[1], nullptr, 10)),
                 std::uint32_t(std::strtoul(argv[2], nullptr, 10)));
    return settings.Save() ? 0 : 1;
}
