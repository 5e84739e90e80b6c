#include "registry.h"

#include "com/bstr.h"
#include "hive_p.h"

#include <unordered_set>

using zyn::registry::Hive;
using zyn::registry::HiveKind;
using zyn::registry::Name;

// An open key: the hive it lives in, its row, its folded path (for change matching) and the access
// it was opened with.
struct ZynRegKey {
    std::shared_ptr<Hive> hive;
    std::int64_t id = 0;
    std::string path;
    REGSAM access = 0;
};

namespace {

// Keys longer than this are refused before any conversion.
constexpr std::size_t kMaxPathChars = 32767;

// Live handles, so that a stale or foreign handle is refused instead of dereferenced.
std::mutex g_handlesMutex;
std::unordered_set<HKEY>& Handles() {
    static std::unordered_set<HKEY> handles;
    return handles;
}

bool IsPredefined(HKEY h, HiveKind* kind) {
    if (h == HKEY_CURRENT_USER)
        *kind = HiveKind::User;
    else if (h == HKEY_LOCAL_MACHINE)
        *kind = HiveKind::Machine;
    else if (h == HKEY_CLASSES_ROOT)
        *kind = HiveKind::Classes;
    else
        return false;
    return true;
}

// A copy of what a handle refers to, taken under the lock so a concurrent close cannot pull it away.
bool Lookup(HKEY h, ZynRegKey* out) {
    HiveKind kind{};
    if (IsPredefined(h, &kind)) {
        *out = ZynRegKey{Hive::Get(kind), 0, std::string(), KEY_ALL_ACCESS};
        return true;
    }
    std::lock_guard lock(g_handlesMutex);
    if (!h || !Handles().count(h)) return false;
    *out = *h;
    return true;
}

LONG NewHandle(ZynRegKey key, PHKEY result) {
    auto* h = new (std::nothrow) ZynRegKey(std::move(key));
    if (!h) return ERROR_OUTOFMEMORY;
    try {
        std::lock_guard lock(g_handlesMutex);
        Handles().insert(h);
    } catch (...) {
        delete h;
        return ERROR_OUTOFMEMORY;
    }
    *result = h;
    return ERROR_SUCCESS;
}

std::size_t BoundedLen(const char16_t* s, std::size_t limit) {
    std::size_t n = 0;
    while (s && n <= limit && s[n])
        ++n;
    return n;
}

// Splits a sub-key path at '\'. A single trailing '\' is tolerated; any other empty part (a leading
// '\' or "a\\b") is a bad path, as on Windows.
LONG ParsePath(LPCWSTR sub, std::vector<Name>* out) {
    out->clear();
    std::size_t len = BoundedLen(sub, kMaxPathChars);
    if (len > kMaxPathChars) return ERROR_INVALID_PARAMETER;
    std::u16string_view rest(sub ? sub : u"", len);
    if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    if (rest.empty()) return len == 0 ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
    for (;;) {
        auto cut = rest.find(u'\\');
        auto part = rest.substr(0, cut);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > kRegMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
        out->push_back(zyn::registry::MakeName(part));
        if (cut == std::u16string_view::npos) return ERROR_SUCCESS;
        rest.remove_prefix(cut + 1);
    }
}

LONG ParseValueName(LPCWSTR name, Name* out) {
    std::size_t len = BoundedLen(name, kRegMaxValueNameChars);
    if (len > kRegMaxValueNameChars) return ERROR_INVALID_PARAMETER;
    *out = zyn::registry::MakeName(std::u16string_view(name ? name : u"", len));
    return ERROR_SUCCESS;
}

std::string ChildPath(const std::string& base, const std::vector<Name>& path) {
    std::string out = base;
    for (const auto& n : path) {
        if (!out.empty()) out += '\\';
        out += n.fold;
    }
    return out;
}

bool WantsWrite(REGSAM sam) {
    return (sam & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
}

// Copies a UTF-8 name into a caller's UTF-16 buffer of *cch characters (terminator included).
LONG CopyName(const std::string& utf8, LPWSTR buffer, DWORD* cch) {
    std::u16string name = zyn::com::Utf8ToUtf16(utf8);
    if (name.size() + 1 > *cch) return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = u'\0';
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The size protocol shared by query and enumeration.
LONG CopyData(const std::vector<BYTE>& data, BYTE* out, DWORD* cb) {
    if (!cb) return ERROR_SUCCESS;
    auto size = static_cast<DWORD>(data.size());
    if (!out) {
        *cb = size;
        return ERROR_SUCCESS;
    }
    if (*cb < size) {
        *cb = size;
        return ERROR_MORE_DATA;
    }
    std::copy(data.begin(), data.end(), out);
    *cb = size;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    ZynRegKey from;
    if (!Lookup(hKey, &from)) return ERROR_INVALID_HANDLE;
    std::vector<Name> path;
    if (LONG r = ParsePath(lpSubKey, &path); r != ERROR_SUCCESS) return r;
    std::int64_t id = 0;
    if (LONG r = from.hive->OpenKey(from.id, path, &id); r != ERROR_SUCCESS) return r;
    if (WantsWrite(samDesired) && !from.hive->Writable()) return ERROR_ACCESS_DENIED;
    return NewHandle(ZynRegKey{from.hive, id, ChildPath(from.path, path), samDesired}, phkResult);
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/, DWORD /*dwOptions*/,
                     REGSAM samDesired, const void* /*lpSecurityAttributes*/, PHKEY phkResult,
                     DWORD* lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    ZynRegKey from;
    if (!Lookup(hKey, &from)) return ERROR_INVALID_HANDLE;
    std::vector<Name> path;
    if (LONG r = ParsePath(lpSubKey, &path); r != ERROR_SUCCESS) return r;
    std::int64_t id = 0;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    LONG r = from.hive->OpenKey(from.id, path, &id);
    if (r == ERROR_FILE_NOT_FOUND && !(from.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (r == ERROR_FILE_NOT_FOUND) r = from.hive->CreateKey(from.id, from.path, path, &id, &disposition);
    if (r != ERROR_SUCCESS) return r;
    if (WantsWrite(samDesired) && !from.hive->Writable()) return ERROR_ACCESS_DENIED;
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return NewHandle(ZynRegKey{from.hive, id, ChildPath(from.path, path), samDesired}, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    HiveKind kind{};
    if (IsPredefined(hKey, &kind)) return ERROR_SUCCESS;
    {
        std::lock_guard lock(g_handlesMutex);
        if (!hKey || Handles().erase(hKey) == 0) return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Name name;
    if (LONG r = ParseValueName(lpValueName, &name); r != ERROR_SUCCESS) return r;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (LONG r = key.hive->QueryValue(key.id, name, &type, &data); r != ERROR_SUCCESS) return r;
    if (lpType) *lpType = type;
    return CopyData(data, lpData, lpcbData);
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if ((!lpData && cbData > 0) || cbData > kRegMaxValueBytes) return ERROR_INVALID_PARAMETER;
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Name name;
    if (LONG r = ParseValueName(lpValueName, &name); r != ERROR_SUCCESS) return r;
    return key.hive->SetValue(key.id, key.path, name, dwType, lpData, cbData);
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Name name;
    if (LONG r = ParseValueName(lpValueName, &name); r != ERROR_SUCCESS) return r;
    return key.hive->DeleteValue(key.id, key.path, name);
}

static LONG DeleteKeyCommon(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
    ZynRegKey from;
    if (!Lookup(hKey, &from)) return ERROR_INVALID_HANDLE;
    std::vector<Name> path;
    if (LONG r = ParsePath(lpSubKey, &path); r != ERROR_SUCCESS) return r;
    return from.hive->DeleteKey(from.id, from.path, path, tree);
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKeyCommon(hKey, lpSubKey, false);
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return DeleteKeyCommon(hKey, lpSubKey, true);
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                   LPWSTR lpClass, DWORD* lpcchClass, void* /*lpftLastWriteTime*/) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    std::string name;
    if (LONG r = key.hive->EnumKey(key.id, dwIndex, &name); r != ERROR_SUCCESS) return r;
    if (LONG r = CopyName(name, lpName, lpcchName); r != ERROR_SUCCESS) return r;
    // Keys carry no class.
    if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = u'\0';
    if (lpcchClass) *lpcchClass = 0;
    return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (LONG r = key.hive->EnumValue(key.id, dwIndex, &name, &type, &data); r != ERROR_SUCCESS) return r;
    if (LONG r = CopyName(name, lpValueName, lpcchValueName); r != ERROR_SUCCESS) return r;
    if (lpType) *lpType = type;
    return CopyData(data, lpData, lpcbData);
}

// ---- change notification ----

LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                             zyn::registry::ChangeWatcher* hEvent, BOOL fAsynchronous) {
    constexpr DWORD kKnownFilters = 0xF | 0x10000000; // the last one: REG_NOTIFY_THREAD_AGNOSTIC
    if ((dwNotifyFilter & 0xF) == 0 || (dwNotifyFilter & ~kKnownFilters) != 0) return ERROR_INVALID_PARAMETER;
    if (fAsynchronous && !hEvent) return ERROR_INVALID_PARAMETER;
    ZynRegKey key;
    if (!Lookup(hKey, &key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
    auto reg = std::make_shared<zyn::registry::ChangeWatcher::Registration>();
    reg->hive = key.hive;
    reg->path = key.path;
    reg->subtree = bWatchSubtree != FALSE;
    reg->filter = dwNotifyFilter;
    if (LONG r = key.hive->ChangeCounter(&reg->seen); r != ERROR_SUCCESS) return r;
    if (fAsynchronous) {
        hEvent->AddRegistration(std::move(reg));
        return ERROR_SUCCESS;
    }
    zyn::registry::ChangeWatcher once;
    once.AddRegistration(std::move(reg));
    once.Wait(-1);
    return ERROR_SUCCESS;
}
