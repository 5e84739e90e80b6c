#pragma once
// Counter paths in PDH syntax: `\\machine\Object(parent/instance#index)\Counter`, the machine part
// optional, `#0` never written.

#include "pdh.h"

#include <string>
#include <string_view>

namespace zyn::pdh::detail {

struct CounterPath {
    std::string machine; // without the leading backslashes; empty when the path names none
    std::string object;
    std::string parent;
    std::string instance;
    DWORD index = 0;
    bool hasInstance = false;
    std::string counter;

    // The instance as collections name it: `parent/instance#index` without `#0`.
    [[nodiscard]] std::string InstanceKey() const;
};

// PDH_CSTATUS_VALID_DATA, or PDH_CSTATUS_BAD_COUNTERNAME when the text is not a counter path
// (wildcards included: they are not supported).
[[nodiscard]] PDH_STATUS ParseCounterPath(std::string_view text, CounterPath& out);
[[nodiscard]] std::string FormatCounterPath(const CounterPath& path);

// Whether a path's machine part names this machine (empty, ".", "localhost" or the host name).
[[nodiscard]] bool IsLocalMachine(std::string_view machine);
[[nodiscard]] std::string LocalHostName();

} // namespace zyn::pdh::detail
