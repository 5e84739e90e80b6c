#pragma once
// Tests that use a program as its users do: its command line given as bytes (names that are not
// UTF-8 reach it unchanged), its output and exit code collected, a time limit that ends a program
// that hangs instead of the test, and a hook that shapes the child before the program starts
// (resource limits, the umask, ignored signals).

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace zyn::test {

struct ProgramOptions {
    // "NAME=value" entries added to (or replacing those of) this process's environment.
    std::vector<std::string> environment;
    // Runs in the child after fork, before exec; a false result ends the child with 127.
    std::function<bool()> inChild;
    // The program is killed after this long.
    int timeoutMs = 60000;
    // Standard output goes here instead of being collected (the caller's descriptor, kept open).
    int stdoutFd = -1;
};

struct ProgramRun {
    int exitCode = -1; // the exit status, 128 + the signal that ended it, or -1 when not started
    bool timedOut = false;
    double seconds = 0; // how long it ran
    std::string out, err;

    // For failure messages: the exit code and what the program wrote to standard error.
    std::string Describe() const;
};

// Runs argv[0] (a path) with the arguments as given and waits for it.
ProgramRun RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options = {});

} // namespace zyn::test
