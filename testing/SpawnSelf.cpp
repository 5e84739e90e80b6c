#include "SpawnSelf.h"

#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zyn::test {
namespace {

std::map<std::string, HelperMain>& Modes() {
    static std::map<std::string, HelperMain> modes;
    return modes;
}

} // namespace

HelperMode::HelperMode(const char* flag, HelperMain run) {
    Modes()[flag] = run;
}

std::optional<int> RunHelperMode(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    auto it = Modes().find(argv[1]);
    if (it == Modes().end()) return std::nullopt;
    return it->second(argc, argv);
}

pid_t Spawn(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::vector<std::string> owned = argv;
    std::vector<char*> pointers;
    pointers.reserve(owned.size() + 1);
    for (std::string& a : owned)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return -1;
    return pid;
}

pid_t SpawnSelf(const std::vector<std::string>& args) {
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), "/proc/self/exe");
    return Spawn(argv);
}

int Reap(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int RunSelf(const std::vector<std::string>& args) {
    return Reap(SpawnSelf(args));
}

} // namespace zyn::test
