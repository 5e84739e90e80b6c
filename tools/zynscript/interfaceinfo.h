#pragma once
// What a script needs to know about one automation interface: for each member whether it is a
// method, a property read at once, or a property that takes parameters, and the dispatch id of
// each name a script has used. Shared by every wrapped object that exposes the interface, so the
// type information is read once per interface rather than once per object.

#include "com/typeinfo.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zyn::script {

// How a member is reached from script. The numbers are shared with bridge.js.
enum class MemberKind : int {
    Unknown = 0, // no such name
    Method = 1,  // a function: reading it gives a callable
    Value = 2,   // a property without required parameters: reading it calls the getter
    Indexed = 3, // a property getter with parameters: reading it gives a callable
    Dynamic = 4, // no type information: decided when read (see CDispatchHandle::getDynamic)
};

struct MemberInfo {
    DISPID id = DISPID_UNKNOWN;
    MemberKind kind = MemberKind::Unknown;
};

class CInterfaceInfo {
public:
    // Reads the member table of `typeInfo`; null when it cannot be read.
    static std::shared_ptr<CInterfaceInfo> FromTypeInfo(ITypeInfo* typeInfo);

    const IID& Iid() const { return m_iid; }
    const std::u16string& Name() const { return m_name; }

    // The kind of a dispatch id that the type information lists; Dynamic for one it does not.
    MemberKind KindOf(DISPID id) const;

    // Names are kept folded to ASCII lower case, the way automation compares them.
    bool FindName(const std::u16string& folded, MemberInfo* out) const;
    void RememberName(const std::u16string& folded, MemberInfo info);

    static std::u16string FoldName(std::u16string_view name);

private:
    struct Kinds {
        bool func = false;
        bool get = false;
        bool put = false;
        int getRequiredParams = 0;
    };

    IID m_iid{};
    std::u16string m_name;
    std::unordered_map<DISPID, Kinds> m_kinds;
    mutable std::mutex m_namesMutex; // the engine is single-threaded, but the cache costs nothing to guard
    std::unordered_map<std::u16string, MemberInfo> m_names;
};

} // namespace zyn::script
