#pragma once
// Tests that need what a machine may forbid: mounting a small file system (a full disk), making a
// device node, or covering /dev so that a fault cannot damage the machine's own. The test body runs
// in a child process with a private mount namespace: as root when the process may make one, else
// in a user namespace of its own when the kernel allows that. Mounts made there vanish with the
// child. What the machine forbids comes back as a reason to skip, never as a failure.
//
//     const auto result = zyn::test::RunInMountSandbox([&](zyn::test::MountSandbox& box) {
//         if (!box.MountTmpfs(dir, 64 * 1024)) return box.Skip("cannot mount a tmpfs");
//         ...
//         return std::string(); // passed; any other text is the failure
//     });
//     if (!result.skipped.empty()) GTEST_SKIP() << result.skipped;
//     EXPECT_EQ(result.failure, "");

#include <cstdint>
#include <functional>
#include <string>

namespace zyn::test {

class MountSandbox {
public:
    // True in a namespace of the real root (device nodes may work); false in a user namespace.
    bool realRoot = false;

    // Mounts a tmpfs of `bytes` at `folder` (which must exist).
    bool MountTmpfs(const std::string& folder, std::uint64_t bytes);
    // Bind-mounts `from` over `onto`.
    bool Bind(const std::string& from, const std::string& onto);
    // A character device node (major, minor) at `path`.
    bool MakeCharDevice(const std::string& path, unsigned major, unsigned minor);
    // The text a body returns to be skipped: "SKIP: " and the reason with errno's words.
    std::string Skip(const std::string& why) const;
};

struct SandboxResult {
    std::string skipped; // why the machine did not allow the sandbox or a step of the body
    std::string failure; // empty when the body passed
};

// Runs `body` in a forked child inside a private mount namespace and returns what it said.
SandboxResult RunInMountSandbox(const std::function<std::string(MountSandbox&)>& body,
                                int timeoutMs = 120000);

} // namespace zyn::test
