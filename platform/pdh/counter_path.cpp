#include "counter_path.h"

#include "text.h"

#include <charconv>
#include <unistd.h>

namespace zyn::pdh::detail {

std::string CounterPath::InstanceKey() const {
    std::string key;
    if (!parent.empty()) key = parent + "/";
    key += instance;
    if (index > 0) key += "#" + std::to_string(index);
    return key;
}

static bool HasReserved(std::string_view s, std::string_view reserved) {
    return s.find_first_of(reserved) != std::string_view::npos;
}

PDH_STATUS ParseCounterPath(std::string_view text, CounterPath& out) {
    out = CounterPath{};
    if (text.empty() || text.find('\0') != std::string_view::npos || HasReserved(text, "*"))
        return PDH_CSTATUS_BAD_COUNTERNAME;
    std::string_view rest = text;
    if (rest.starts_with("\\\\")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('\\');
        if (slash == std::string_view::npos || slash == 0) return PDH_CSTATUS_BAD_COUNTERNAME;
        out.machine = std::string(rest.substr(0, slash));
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('\\')) return PDH_CSTATUS_BAD_COUNTERNAME;
    rest.remove_prefix(1);
    const auto lastSlash = rest.rfind('\\');
    if (lastSlash == std::string_view::npos) return PDH_CSTATUS_BAD_COUNTERNAME;
    std::string_view objectPart = rest.substr(0, lastSlash);
    const std::string_view counter = rest.substr(lastSlash + 1);
    if (counter.empty() || HasReserved(counter, "\\()#")) return PDH_CSTATUS_BAD_COUNTERNAME;
    out.counter = std::string(counter);

    const auto open = objectPart.find('(');
    if (open == std::string_view::npos) {
        if (objectPart.empty() || HasReserved(objectPart, "\\()/#")) return PDH_CSTATUS_BAD_COUNTERNAME;
        out.object = std::string(objectPart);
        return PDH_CSTATUS_VALID_DATA;
    }
    if (open == 0 || !objectPart.ends_with(')')) return PDH_CSTATUS_BAD_COUNTERNAME;
    out.object = std::string(objectPart.substr(0, open));
    if (HasReserved(out.object, "\\()/#")) return PDH_CSTATUS_BAD_COUNTERNAME;
    std::string_view inst = objectPart.substr(open + 1, objectPart.size() - open - 2);
    if (inst.empty() || HasReserved(inst, "\\()")) return PDH_CSTATUS_BAD_COUNTERNAME;
    const auto parentEnd = inst.find('/');
    if (parentEnd != std::string_view::npos) {
        out.parent = std::string(inst.substr(0, parentEnd));
        inst.remove_prefix(parentEnd + 1);
        if (out.parent.empty() || inst.empty() || HasReserved(inst, "/")) return PDH_CSTATUS_BAD_COUNTERNAME;
    }
    const auto hash = inst.find('#');
    if (hash != std::string_view::npos) {
        const std::string_view digits = inst.substr(hash + 1);
        DWORD index = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size())
            return PDH_CSTATUS_BAD_COUNTERNAME;
        out.index = index;
        inst = inst.substr(0, hash);
    }
    if (inst.empty() || HasReserved(out.parent, "#")) return PDH_CSTATUS_BAD_COUNTERNAME;
    out.instance = std::string(inst);
    out.hasInstance = true;
    return PDH_CSTATUS_VALID_DATA;
}

std::string FormatCounterPath(const CounterPath& path) {
    std::string text;
    if (!path.machine.empty()) text += "\\\\" + path.machine;
    text += "\\" + path.object;
    if (path.hasInstance) text += "(" + path.InstanceKey() + ")";
    text += "\\" + path.counter;
    return text;
}

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

bool IsLocalMachine(std::string_view machine) {
    return machine.empty() || machine == "." || EqualsNoCase(machine, "localhost") ||
           EqualsNoCase(machine, LocalHostName());
}

} // namespace zyn::pdh::detail
