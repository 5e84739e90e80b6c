#pragma once
// Tests that need a second process (two writers of one settings store, a change seen from another
// process) run their own binary again in a helper mode: the binary's main hands a command line
// whose first argument names a registered mode to that mode instead of running the tests.
//
//     int SetterMain(int argc, char** argv) { ... }       // argv[1] is "--set"
//     const zyn::test::HelperMode kSetter("--set", &SetterMain);
//     ...
//     EXPECT_EQ(zyn::test::RunSelf({"--set", "Key", "Name", "42"}), 0);

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zyn::test {

using HelperMain = int (*)(int argc, char** argv);

// Registers a helper mode for the lifetime of the program (define it at namespace scope).
class HelperMode {
public:
    HelperMode(const char* flag, HelperMain run);
};

// The exit code of the helper mode named by argv[1], or nothing when argv names none. Every test
// main calls this first.
std::optional<int> RunHelperMode(int argc, char** argv);

// Starts the program at `argv[0]` (a path) with the current environment and without waiting for
// it; -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& argv);
// Starts this binary with `args` (the mode's flag first) and the current environment; -1 when it
// cannot be started.
pid_t SpawnSelf(const std::vector<std::string>& args);
// Waits for a spawned helper: its exit code, 128 + the signal that ended it, or -1 for no such child.
int Reap(pid_t pid);
// SpawnSelf and Reap in one.
int RunSelf(const std::vector<std::string>& args);

} // namespace zyn::test
