#include "ZynRegistry.h"

#include "com/bstr.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char16_t* kZynRootKey = u"Software\\Zynthar\\Tallon";
// The factories' path buffer: 512 characters with the terminator.
constexpr std::size_t kMaxFactoryPath = 511;
// How long Listen(false) waits for a running callback to return.
constexpr auto kStopTimeout = std::chrono::milliseconds(10000);
constexpr DWORD kNotifyFilter =
    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

char16_t* CopyPath(const char16_t* path) {
    if (!path) return nullptr;
    if (*path == u'\\') ++path;
    std::size_t len = zyn::com::StrLen16(path);
    auto* copy = new (std::nothrow) char16_t[len + 1];
    if (copy) std::copy(path, path + len + 1, copy);
    return copy;
}

HKEY HiveOf(bool user) {
    return user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The folder of the running executable, without a trailing '/' (the root stays "/").
std::u16string ExecutableFolder() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof path)) return {};
    std::string exe(path, static_cast<std::size_t>(n));
    auto cut = exe.rfind('/');
    if (cut == std::string::npos) return {};
    return zyn::com::Utf8ToUtf16(cut == 0 ? std::string("/") : exe.substr(0, cut));
}

CZynRegistry* MakeReg(const char16_t* subkey, CZynRegistry::KeyType type) {
    std::u16string path = kZynRootKey;
    if (subkey && *subkey) {
        std::size_t len = zyn::com::StrLen16(subkey);
        if (len > kMaxFactoryPath) return nullptr;
        path += u'\\';
        path.append(subkey, len);
    }
    if (path.size() > kMaxFactoryPath) return nullptr;
    return new (std::nothrow) CZynRegistry(path.c_str(), type);
}

} // namespace

// ---- CZynRegistry ----

CZynRegistry::CZynRegistry() {
    int_CommonInit();
}

CZynRegistry::CZynRegistry(const char16_t* path, KeyType type) {
    int_CommonInit();
    m_userHive = type == CurrentUser;
    m_path = CopyPath(path);
}

CZynRegistry::CZynRegistry(const CZynRegistry& other) {
    int_CommonInit();
    m_userHive = other.m_userHive;
    m_path = CopyPath(other.m_path);
}

CZynRegistry& CZynRegistry::operator=(const CZynRegistry& other) {
    if (this != &other) {
        int_Close();
        m_userHive = other.m_userHive;
        m_path = CopyPath(other.m_path);
    }
    return *this;
}

CZynRegistry::~CZynRegistry() {
    int_Close();
}

void CZynRegistry::int_CommonInit() {
    m_userHive = false;
    m_readKey = nullptr;
    m_writeKey = nullptr;
    m_path = nullptr;
}

void CZynRegistry::int_Close() {
    if (m_readKey) RegCloseKey(m_readKey);
    if (m_writeKey) RegCloseKey(m_writeKey);
    delete[] m_path;
    int_CommonInit();
}

bool CZynRegistry::int_OpenReg(bool forRead) {
    // A wrapper without a path has no key: it must not fall back to the root of the hive.
    if (!m_path) return false;
    if (forRead) {
        if (m_readKey) return true;
        return RegOpenKeyExW(HiveOf(m_userHive), m_path, 0, KEY_READ, &m_readKey) == ERROR_SUCCESS;
    }
    if (m_writeKey) return true;
    return RegCreateKeyExW(HiveOf(m_userHive), m_path, 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteAccess,
                           nullptr, &m_writeKey, nullptr) == ERROR_SUCCESS;
}

int CZynRegistry::int_ReadCommon(const char16_t* name, void* buffer, int size, DWORD /*type*/) {
    if (!buffer || size <= 0 || !int_OpenReg(true)) return 0;
    DWORD bytes = static_cast<DWORD>(size);
    if (RegQueryValueExW(m_readKey, name, nullptr, nullptr, static_cast<BYTE*>(buffer), &bytes) !=
        ERROR_SUCCESS)
        return 0;
    return static_cast<int>(bytes);
}

bool CZynRegistry::int_StoreCommon(DWORD type, const char16_t* name, const void* data, int size) {
    if (size < 0 || (!data && size > 0) || !int_OpenReg(false)) return false;
    return RegSetValueExW(m_writeKey, name, 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

int CZynRegistry::ReadString(const char16_t* name, char16_t* buffer, int size) {
    return int_ReadCommon(name, buffer, size, REG_SZ);
}

DWORD CZynRegistry::ReadDWord(const char16_t* name, DWORD def) {
    DWORD value = 0;
    return int_ReadCommon(name, &value, sizeof value, REG_DWORD) == sizeof value ? value : def;
}

int CZynRegistry::ReadBinary(const char16_t* name, void* buffer, int size) {
    return int_ReadCommon(name, buffer, size, REG_BINARY);
}

int CZynRegistry::SizeInBytes(const char16_t* name) {
    if (!int_OpenReg(true)) return -1;
    DWORD bytes = 0;
    if (RegQueryValueExW(m_readKey, name, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return -1;
    return static_cast<int>(bytes);
}

bool CZynRegistry::Store(const char16_t* name, const char16_t* text) {
    if (!text) return false;
    std::size_t len = zyn::com::StrLen16(text);
    if (len > kRegMaxValueBytes / 2) return false;
    return int_StoreCommon(REG_SZ, name, text, static_cast<int>(len * 2));
}

bool CZynRegistry::Store(const char16_t* name, DWORD number) {
    return int_StoreCommon(REG_DWORD, name, &number, sizeof number);
}

bool CZynRegistry::Store(const char16_t* name, const void* data, int size) {
    return int_StoreCommon(REG_BINARY, name, data, size);
}

// ---- CZynRegistry2 ----

// What the listener thread uses. It is shared, not borrowed from the wrapper, so that a thread still
// inside a slow callback when Listen(false) gives up waiting never touches a destroyed wrapper.
struct CZynRegistry2::Listener {
    zyn::registry::ChangeWatcher changeEvent; // its Cancel is the stop request
    HKEY key = nullptr;                       // the thread's own handle, for re-registering
    std::atomic<Callback> callback{nullptr};
    std::atomic<DWORD> data{0};
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;

    ~Listener() {
        if (key) RegCloseKey(key);
    }
    bool Register() {
        return RegNotifyChangeKeyValue(key, TRUE, kNotifyFilter, &changeEvent, TRUE) == ERROR_SUCCESS;
    }
    void Notify(bool reRegister) {
        if (Callback cb = callback.load()) {
            try {
                cb(data.load());
            } catch (...) {
                // A failing owner callback must not end the listener.
            }
        }
        if (reRegister) Register();
    }
};

CZynRegistry2::CZynRegistry2(const char16_t* path, KeyType type) : CZynRegistry(path, type) {}

CZynRegistry2::~CZynRegistry2() {
    Listen(false);
}

void CZynRegistry2::SetRegFlags(Callback callback, DWORD data) {
    m_callback = callback;
    m_callbackData = data;
    if (m_listener) {
        m_listener->data = data;
        m_listener->callback = callback;
    }
}

bool CZynRegistry2::int_RegisterListener() {
    if (!int_OpenReg(true)) return false;
    if (!m_listener->key && RegOpenKeyExW(m_readKey, nullptr, 0, KEY_READ, &m_listener->key) != ERROR_SUCCESS)
        return false;
    return m_listener->Register();
}

void CZynRegistry2::int_NotifyRegistryChanged(bool reRegister) {
    if (m_listener) m_listener->Notify(reRegister);
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the thread holds a reference of its own.
unsigned CZynRegistry2::int_ListenThreadProc(std::shared_ptr<Listener> listener) {
    for (;;) {
        auto result = listener->changeEvent.Wait(-1);
        if (result == zyn::registry::WaitResult::Cancelled) break;
        if (result != zyn::registry::WaitResult::Changed) continue;
        listener->changeEvent.Reset();
        listener->Notify(true);
    }
    listener->changeEvent.ResetCancel();
    {
        std::lock_guard lock(listener->mutex);
        listener->finished = true;
    }
    listener->ended.notify_all();
    return 0;
}

bool CZynRegistry2::Listen(bool start) {
    if (!start) {
        if (!m_thread.joinable()) {
            m_listener.reset();
            return true;
        }
        auto listener = m_listener;
        listener->changeEvent.Cancel();
        bool ended = false;
        if (m_thread.get_id() != std::this_thread::get_id()) {
            std::unique_lock lock(listener->mutex);
            ended = listener->ended.wait_for(lock, kStopTimeout, [&] { return listener->finished; });
        }
        // A callback that does not return in time keeps its thread; the shared state outlives us.
        if (ended)
            m_thread.join();
        else
            m_thread.detach();
        m_listener.reset();
        return true;
    }

    Listen(false);
    try {
        m_listener = std::make_shared<Listener>();
    } catch (...) {
        return false;
    }
    m_listener->callback = m_callback;
    m_listener->data = m_callbackData;
    if (!int_RegisterListener()) {
        m_listener.reset();
        return false;
    }
    int_NotifyRegistryChanged(false);
    try {
        m_thread = std::thread(int_ListenThreadProc, m_listener);
    } catch (...) {
        m_listener.reset();
        return false;
    }
    return true;
}

// ---- factories ----

CZynRegistry* GetUserReg(const char16_t* subkey) {
    return MakeReg(subkey, CZynRegistry::CurrentUser);
}

CZynRegistry* GetMachineReg(const char16_t* subkey) {
    return MakeReg(subkey, CZynRegistry::LocalMachine);
}

void ReleaseReg(CZynRegistry* registry) {
    delete registry;
}

namespace {

// The stored folder, if any: its length, 0 when there is none, or -1 when one is stored but does not
// fit (which must not be mistaken for "none" and overwritten by a default).
int ReadStoredDir(CZynRegistry& machine, const char16_t* valueName, char16_t* buffer, int size) {
    if (machine.SizeInBytes(valueName) <= 0) return 0;
    // Keep room for the terminator that the stored text does not carry.
    int bytes = machine.ReadString(valueName, buffer, (size - 1) * 2);
    if (bytes <= 0) return -1;
    int len = bytes / 2;
    buffer[len] = u'\0';
    // A value written with its terminator by another tool ends earlier.
    return static_cast<int>(zyn::com::StrLen16(buffer));
}

int CopyOut(const std::u16string& dir, char16_t* buffer, int size) {
    if (dir.empty() || dir.size() >= static_cast<std::size_t>(size)) return 0;
    std::copy(dir.begin(), dir.end(), buffer);
    buffer[dir.size()] = u'\0';
    return static_cast<int>(dir.size());
}

} // namespace

int GetZynDir(int kind, char16_t* buffer, int size) {
    if (!buffer || size < 64) return 0;
    const char16_t* valueName = kind == kZynDirFilters   ? u"FilterDir"
                                : kind == kZynDirInstall ? u"InstallDir"
                                : kind == kZynDirBin     ? u"BinDir"
                                                         : nullptr;
    if (!valueName) return 0;

    CZynRegistry machine(kZynRootKey, CZynRegistry::LocalMachine);
    int stored = ReadStoredDir(machine, valueName, buffer, size);
    if (stored > 0) return stored;
    if (stored < 0) return 0;

    std::u16string dir;
    if (kind == kZynDirInstall) {
        dir = ExecutableFolder();
        if (!dir.empty()) machine.Store(valueName, dir.c_str()); // the machine hive may refuse
    } else {
        char16_t install[4096] = {};
        int len = GetZynDir(kZynDirInstall, install, 4096);
        if (len <= 0) return 0;
        dir.assign(install, static_cast<std::size_t>(len));
        if (kind == kZynDirFilters) {
            if (dir.back() != u'/') dir += u'/';
            dir += u"Filters";
            machine.Store(valueName, dir.c_str());
        }
    }
    return CopyOut(dir, buffer, size);
}
