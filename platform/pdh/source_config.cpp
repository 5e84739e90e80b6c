// The process-wide source configuration: SetSourceRoots, else the environment, else /proc and /sys.

#include "pdh.h"

#include "com/bstr.h"
#include "counter_path.h"

#include <cstdlib>
#include <mutex>
#include <optional>

namespace zyn::pdh {
namespace {

struct Roots {
    std::mutex lock;
    std::optional<std::string> proc;
    std::optional<std::string> sys;
};

Roots& TheRoots() {
    static Roots roots;
    return roots;
}

std::string FromEnv(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string(fallback);
}

} // namespace

SourceConfig CurrentSourceConfig() {
    SourceConfig config;
    Roots& roots = TheRoots();
    std::lock_guard guard(roots.lock);
    config.procRoot = roots.proc ? *roots.proc : FromEnv("ZYN_PDH_PROC_ROOT", "/proc");
    config.sysRoot = roots.sys ? *roots.sys : FromEnv("ZYN_PDH_SYS_ROOT", "/sys");
    return config;
}

void SetSourceRoots(std::string procRoot, std::string sysRoot) {
    Roots& roots = TheRoots();
    std::lock_guard guard(roots.lock);
    // An empty root goes back to the environment or the default.
    roots.proc = procRoot.empty() ? std::nullopt : std::optional(std::move(procRoot));
    roots.sys = sysRoot.empty() ? std::nullopt : std::optional(std::move(sysRoot));
}

std::u16string LocalMachineName() {
    return zyn::com::Utf8ToUtf16(detail::LocalHostName());
}

} // namespace zyn::pdh
