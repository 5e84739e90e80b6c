#include "MountSandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zyn::test {
namespace {

constexpr const char* kSkipPrefix = "SKIP: ";

bool WriteText(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

// A private mount namespace for this (single-threaded, forked) process; "" or why there is none.
std::string EnterNamespace(MountSandbox& box) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) == 0) {
        box.realRoot = true;
    } else {
        const std::string asRoot = std::strerror(errno);
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return "no private mount namespace (as this user: " + asRoot +
                   "; in a user namespace: " + std::strerror(errno) + ")";
        // Root inside maps to this user outside.
        if (!WriteText("/proc/self/setgroups", "deny") ||
            !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return std::string("cannot map the user namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return {};
}

} // namespace

bool MountSandbox::MountTmpfs(const std::string& folder, std::uint64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

bool MountSandbox::Bind(const std::string& from, const std::string& onto) {
    return ::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

bool MountSandbox::MakeCharDevice(const std::string& path, unsigned major, unsigned minor) {
    return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(major, minor)) == 0;
}

std::string MountSandbox::Skip(const std::string& why) const {
    return kSkipPrefix + why + " (" + std::strerror(errno) + ")";
}

SandboxResult RunInMountSandbox(const std::function<std::string(MountSandbox&)>& body, int timeoutMs) {
    SandboxResult result;
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        result.failure = "no pipe";
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(report[0]);
        MountSandbox box;
        std::string said = EnterNamespace(box);
        said = said.empty() ? body(box) : kSkipPrefix + said;
        [[maybe_unused]] const auto written = ::write(report[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        result.failure = "cannot fork";
        return result;
    }
    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fd{report[0], POLLIN, 0};
        if (::poll(&fd, 1, int(left.count())) < 0 && errno != EINTR) break;
        char buffer[4096];
        const ssize_t n = ::read(report[0], buffer, sizeof buffer);
        if (n > 0) {
            said.append(buffer, std::size_t(n));
            continue;
        }
        if (n == 0 || errno != EINTR) break;
    }
    ::close(report[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        result.failure = "the sandboxed test did not finish: " + said;
    } else if (!WIFEXITED(status)) {
        result.failure =
            "the sandboxed test crashed (signal " + std::to_string(WTERMSIG(status)) + "): " + said;
    } else if (said.rfind(kSkipPrefix, 0) == 0) {
        result.skipped = said.substr(std::strlen(kSkipPrefix));
    } else {
        result.failure = said;
    }
    return result;
}

} // namespace zyn::test
