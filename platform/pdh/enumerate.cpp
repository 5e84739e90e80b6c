// Enumeration for a counter browser: objects, their counters (filtered by detail level) and their
// instances, through the C++ helpers and the PDH multi-string calls.

#include "pdh.h"

#include "api_strings.h"
#include "catalog.h"
#include "com/bstr.h"
#include "counter_path.h"
#include "remote.h"
#include "text.h"

#include <algorithm>
#include <optional>

using namespace zyn::pdh::detail;

namespace zyn::pdh {

std::vector<ObjectDescription> ListObjects(DWORD detailLevel, const SourceConfig& sources) {
    std::vector<ObjectDescription> out;
    for (const ObjectDef* o : AllObjects()) {
        if (o->detail > detailLevel || !ObjectAvailable(*o, sources)) continue;
        out.push_back(
            {zyn::com::Utf8ToUtf16(o->name), o->detail, zyn::com::Utf8ToUtf16(o->explain), o->hasInstances});
    }
    return out;
}

std::vector<ObjectDescription> ListObjects(DWORD detailLevel) {
    return ListObjects(detailLevel, CurrentSourceConfig());
}

std::vector<CounterDescription> ListCounters(std::u16string_view object, DWORD detailLevel) {
    std::vector<CounterDescription> out;
    const ObjectDef* o = FindObject(zyn::com::Utf16ToUtf8(object));
    if (!o) return out;
    for (const CounterDef& c : o->counters) {
        if (c.detail > detailLevel) continue;
        out.push_back({zyn::com::Utf8ToUtf16(c.name), c.detail, zyn::com::Utf8ToUtf16(c.explain), c.type,
                       c.defaultScale});
    }
    return out;
}

std::vector<std::u16string> ListInstances(std::u16string_view object, const SourceConfig& sources) {
    std::vector<std::u16string> out;
    const ObjectDef* o = FindObject(zyn::com::Utf16ToUtf8(object));
    if (!o || !o->hasInstances) return out;
    for (const InstanceSample& i : CollectOnce(*o, sources).instances)
        out.push_back(zyn::com::Utf8ToUtf16(i.name));
    return out;
}

std::vector<std::u16string> ListInstances(std::u16string_view object) {
    return ListInstances(object, CurrentSourceConfig());
}

bool IsLocalMachineName(std::u16string_view machine) {
    return IsLocalMachine(zyn::com::Utf16ToUtf8(machine));
}

namespace {

ObjectDescription Describe(const ObjectDef& o) {
    return {zyn::com::Utf8ToUtf16(o.name), o.detail, zyn::com::Utf8ToUtf16(o.explain), o.hasInstances};
}

CounterDescription Describe(const CounterDef& c) {
    return {zyn::com::Utf8ToUtf16(c.name), c.detail, zyn::com::Utf8ToUtf16(c.explain), c.type,
            c.defaultScale};
}

MachineDescription DescribeRemoteMachine(const MachineAddress& address, DWORD detailLevel) {
    MachineDescription out;
    const auto catalog = DescribeRemote(address, true);
    if (!catalog->scrape.page) {
        out.status = PDH_CSTATUS_NO_MACHINE;
        out.error = zyn::com::Utf8ToUtf16(catalog->scrape.error);
        return out;
    }
    for (const RemoteCatalog::Object& served : catalog->objects) {
        if (served.def->detail > detailLevel) continue;
        MachineDescription::Object o{Describe(*served.def), {}, {}};
        for (const CounterDef* c : served.counters)
            if (c->detail <= detailLevel) o.counters.push_back(Describe(*c));
        if (o.counters.empty()) continue;
        if (served.def->hasInstances)
            for (const InstanceSample& i : served.sample.instances)
                o.instances.push_back(zyn::com::Utf8ToUtf16(i.name));
        out.objects.push_back(std::move(o));
    }
    return out;
}

} // namespace

MachineDescription DescribeMachine(std::u16string_view machine, DWORD detailLevel) {
    std::u16string_view name = machine;
    while (name.starts_with(u'\\'))
        name.remove_prefix(1);
    const std::string text = zyn::com::Utf16ToUtf8(name);
    if (!IsLocalMachine(text)) {
        MachineAddress address;
        if (!ParseMachineAddress(text, address)) {
            MachineDescription out;
            out.status = PDH_CSTATUS_NO_MACHINE;
            out.error = u"\"" + std::u16string(name) +
                        u"\" is not a machine name: write a host name or address, optionally with :port";
            return out;
        }
        return DescribeRemoteMachine(address, detailLevel);
    }
    MachineDescription out;
    for (const ObjectDescription& o : ListObjects(detailLevel)) {
        out.objects.push_back({o, ListCounters(o.name, detailLevel), ListInstances(o.name)});
    }
    return out;
}

} // namespace zyn::pdh

namespace {

// Writes a multi-string list (each name null-terminated, then an empty string) with PDH's size
// protocol. An empty list has size 0.
PDH_STATUS WriteList(const std::vector<std::u16string>& names, LPWSTR buffer, DWORD* size) {
    std::size_t needed = 0;
    for (const auto& n : names)
        needed += n.size() + 1;
    if (needed > 0) ++needed;
    if (needed > UINT32_MAX) return PDH_INVALID_DATA;
    if (needed > 0 && (!buffer || *size < needed)) {
        *size = static_cast<DWORD>(needed);
        return PDH_MORE_DATA;
    }
    if (buffer && needed > 0) {
        LPWSTR p = buffer;
        for (const auto& n : names) {
            std::copy(n.begin(), n.end(), p);
            p += n.size();
            *p++ = u'\0';
        }
        *p = u'\0';
    }
    *size = static_cast<DWORD>(needed);
    return ERROR_SUCCESS;
}

// ERROR_SUCCESS for this machine; for a remote one, its description in `remote`.
PDH_STATUS CheckSourceAndMachine(LPCWSTR dataSource, LPCWSTR machineName, DWORD detailLevel,
                                 std::optional<zyn::pdh::MachineDescription>& remote) {
    if (dataSource && *dataSource) return PDH_INVALID_ARGUMENT;
    if (!machineName) return ERROR_SUCCESS;
    const auto machine = ArgumentText(machineName);
    if (!machine) return PDH_INVALID_ARGUMENT;
    std::string_view m = *machine;
    while (m.starts_with('\\'))
        m.remove_prefix(1);
    if (IsLocalMachine(m)) return ERROR_SUCCESS;
    remote = zyn::pdh::DescribeMachine(zyn::com::Utf8ToUtf16(m), detailLevel);
    return remote->status == PDH_CSTATUS_VALID_DATA ? ERROR_SUCCESS : remote->status;
}

} // namespace

extern "C" {

PDH_STATUS PdhEnumObjectsW(LPCWSTR dataSource, LPCWSTR machineName, LPWSTR objectList, DWORD* bufferSize,
                           DWORD detailLevel, BOOL /*refresh*/) {
    if (!bufferSize) return PDH_INVALID_ARGUMENT;
    std::optional<zyn::pdh::MachineDescription> remote;
    if (const PDH_STATUS st = CheckSourceAndMachine(dataSource, machineName, detailLevel, remote);
        st != ERROR_SUCCESS)
        return st;
    std::vector<std::u16string> names;
    if (remote) {
        for (const auto& o : remote->objects)
            names.push_back(o.object.name);
    } else {
        for (const auto& o : zyn::pdh::ListObjects(detailLevel))
            names.push_back(o.name);
    }
    return WriteList(names, objectList, bufferSize);
}

PDH_STATUS PdhEnumObjectItemsW(LPCWSTR dataSource, LPCWSTR machineName, LPCWSTR objectName,
                               LPWSTR counterList, DWORD* counterListSize, LPWSTR instanceList,
                               DWORD* instanceListSize, DWORD detailLevel, DWORD /*flags*/) {
    if (!objectName || !counterListSize || !instanceListSize) return PDH_INVALID_ARGUMENT;
    const auto object = ArgumentText(objectName);
    if (!object) return PDH_INVALID_ARGUMENT;
    std::optional<zyn::pdh::MachineDescription> remote;
    if (const PDH_STATUS st = CheckSourceAndMachine(dataSource, machineName, detailLevel, remote);
        st != ERROR_SUCCESS)
        return st;
    std::vector<std::u16string> counters;
    std::vector<std::u16string> instances;
    if (remote) {
        const auto served = std::find_if(remote->objects.begin(), remote->objects.end(), [&](const auto& o) {
            return EqualsNoCase(zyn::com::Utf16ToUtf8(o.object.name), *object);
        });
        if (served == remote->objects.end()) return PDH_CSTATUS_NO_OBJECT;
        for (const auto& c : served->counters)
            counters.push_back(c.name);
        instances = served->instances;
    } else {
        const zyn::pdh::SourceConfig config = zyn::pdh::CurrentSourceConfig();
        const ObjectDef* o = FindObject(*object);
        if (!o || !ObjectAvailable(*o, config)) return PDH_CSTATUS_NO_OBJECT;
        for (const auto& c : zyn::pdh::ListCounters(zyn::com::Utf8ToUtf16(*object), detailLevel))
            counters.push_back(c.name);
        instances = zyn::pdh::ListInstances(zyn::com::Utf8ToUtf16(*object), config);
    }
    // Both sizes are reported even when one list does not fit, as PDH does.
    DWORD counterSize = *counterListSize, instanceSize = *instanceListSize;
    const PDH_STATUS a = WriteList(counters, counterList, &counterSize);
    const PDH_STATUS b = WriteList(instances, instanceList, &instanceSize);
    *counterListSize = counterSize;
    *instanceListSize = instanceSize;
    if (a == PDH_MORE_DATA || b == PDH_MORE_DATA) return PDH_MORE_DATA;
    return a != ERROR_SUCCESS ? a : b;
}

} // extern "C"
