#pragma once
// CZynRegistry: one key below "Software\Zynthar\Tallon" in the user or the machine hive, opened
// lazily for reading or for writing. CZynRegistry2 adds a listener thread that calls back whenever
// anything below the key changes, whichever process changed it. Failures show only in the results
// (0, -1, false or the caller's default); nothing throws and nothing is logged.

#include "com/wintypes.h"
#include "registry/registry.h"

#include <memory>
#include <thread>

class CZynRegistry {
public:
    enum KeyType : int { CurrentUser = 1, LocalMachine = 2 }; // any other value means the machine hive

    CZynRegistry();
    // Skips one leading '\' of the path; opens nothing yet.
    CZynRegistry(const char16_t* path, KeyType type);
    // A copy has its own path and opens its own handles.
    CZynRegistry(const CZynRegistry& other);
    CZynRegistry& operator=(const CZynRegistry& other);
    virtual ~CZynRegistry();

    // Reads up to `size` bytes; returns the bytes read, or 0 when the key or value is missing or the
    // buffer too small. The stored type is not checked and no terminator is added.
    int ReadString(const char16_t* name, char16_t* buffer, int size);
    // The value if exactly 4 bytes could be read, else `def`.
    DWORD ReadDWord(const char16_t* name, DWORD def);
    int ReadBinary(const char16_t* name, void* buffer, int size);
    // The stored size in bytes, or -1 when the key cannot be opened or the value does not exist.
    int SizeInBytes(const char16_t* name);

    // REG_SZ of the characters without a terminating zero.
    bool Store(const char16_t* name, const char16_t* text);
    bool Store(const char16_t* name, DWORD number);
    bool Store(const char16_t* name, const void* data, int size);

protected:
    bool int_OpenReg(bool forRead);
    int int_ReadCommon(const char16_t* name, void* buffer, int size, DWORD type);
    bool int_StoreCommon(DWORD type, const char16_t* name, const void* data, int size);
    void int_CommonInit();
    void int_Close();

    bool m_userHive = false;
    HKEY m_readKey = nullptr;
    HKEY m_writeKey = nullptr;
    char16_t* m_path = nullptr;
};

class CZynRegistry2 : public CZynRegistry {
public:
    using Callback = int (*)(DWORD data);

    CZynRegistry2(const char16_t* path, KeyType type);
    // A listening wrapper owns a thread; it is not copied.
    CZynRegistry2(const CZynRegistry2&) = delete;
    CZynRegistry2& operator=(const CZynRegistry2&) = delete;
    ~CZynRegistry2() override;

    // Takes effect at the next call, also while listening.
    void SetRegFlags(Callback callback, DWORD data);
    // true: (re)starts listening; calls the callback once at once, then on every change below the
    // key; false when the key cannot be watched (for instance because it does not exist).
    // false: stops the listener (waiting at most 10 s for a callback to return); returns true.
    bool Listen(bool start);

    struct Listener; // shared with the listener thread

protected:
    bool int_RegisterListener();
    void int_NotifyRegistryChanged(bool reRegister);
    static unsigned int_ListenThreadProc(std::shared_ptr<Listener> listener);

    // The change and stop signals live in the listener state, shared with the thread; the thread
    // object itself stays here because the thread may be the last owner of that state.
    std::shared_ptr<Listener> m_listener;
    std::thread m_thread;
    Callback m_callback = nullptr;
    DWORD m_callbackData = 0;
};

// Wrappers for "Software\Zynthar\Tallon", followed by "\" and `subkey` when one is given. Null when
// the path would exceed 511 characters or memory runs out. Release with ReleaseReg.
CZynRegistry* GetUserReg(const char16_t* subkey);
CZynRegistry* GetMachineReg(const char16_t* subkey);
void ReleaseReg(CZynRegistry* registry);

// Folder kinds of GetZynDir.
inline constexpr int kZynDirFilters = 5;
inline constexpr int kZynDirInstall = 7;
inline constexpr int kZynDirBin = 26;

// The folder of that kind ('/'-separated, no trailing '/') in `buffer` of `size` characters
// (at least 64), zero-terminated; returns its length, or 0.
int GetZynDir(int kind, char16_t* buffer, int size);
