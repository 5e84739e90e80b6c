#pragma once
// The settings store, shaped like the Windows registry so that callers read as they would there.
//
// Three hives (current user, local machine, classes root) each live in one SQLite database
// (user.db, machine.db, classes.db) in $ZYN_REGISTRY_DIR, else $XDG_CONFIG_HOME/zynthar, else
// ~/.config/zynthar. The folder is looked up again whenever a predefined key is used, so a test that
// points ZYN_REGISTRY_DIR at a fresh folder gets fresh hives.
//
// Keys form a tree below each hive; key and value names compare case-insensitively and keep the case
// they were created with. Every write is one transaction, so several threads and processes may write
// at once without losing anything. A hive that cannot be created or written answers reads with
// ERROR_FILE_NOT_FOUND (or its stored data) and writes with ERROR_ACCESS_DENIED; nothing is thrown.
// All functions are thread-safe.

#include "com/wintypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct ZynRegKey;
using HKEY = ZynRegKey*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// The predefined roots. They are never closed (RegCloseKey on them succeeds and does nothing).
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u});

// Results (the Win32 error numbers).
#include "com/winerror.h"

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// RegCreateKeyExW options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// RegNotifyChangeKeyValue filters.
inline constexpr DWORD REG_NOTIFY_CHANGE_NAME = 0x1;       // sub-keys created or deleted
inline constexpr DWORD REG_NOTIFY_CHANGE_ATTRIBUTES = 0x2; // accepted; keys here have no attributes
inline constexpr DWORD REG_NOTIFY_CHANGE_LAST_SET = 0x4;   // values set or deleted
inline constexpr DWORD REG_NOTIFY_CHANGE_SECURITY = 0x8;   // accepted; keys here have no security

// Limits. Larger names and values are refused with ERROR_INVALID_PARAMETER.
inline constexpr DWORD kRegMaxKeyNameChars = 255;
inline constexpr DWORD kRegMaxValueNameChars = 16383;
inline constexpr DWORD kRegMaxValueBytes = 16u * 1024u * 1024u;

namespace zyn::registry {

enum class WaitResult { Changed, Cancelled, TimedOut };

// What RegNotifyChangeKeyValue signals: the stand-in for a manual-reset event. It becomes signalled
// when a registered key (or its subtree) changes, whichever process made the change, and stays so
// until Reset. Each registration fires once, as on Windows; register again to hear the next change
// (registering the same key again hears every change made since the one that fired).
// Cancel wakes every waiter at once and keeps Wait returning Cancelled until ResetCancel, so an
// owner can always stop a thread blocked here.
class ChangeWatcher {
public:
    ChangeWatcher();
    ~ChangeWatcher();
    ChangeWatcher(const ChangeWatcher&) = delete;
    ChangeWatcher& operator=(const ChangeWatcher&) = delete;

    // Blocks until signalled, cancelled or timeoutMs passed (negative: no limit). Cancel wins over a
    // pending change.
    WaitResult Wait(int timeoutMs);
    bool IsSignalled();
    void Reset();
    void Cancel();
    void ResetCancel();

    struct Registration; // internal
    void AddRegistration(std::shared_ptr<Registration> r);

private:
    bool int_CheckRegistrations();
    void int_WatchFolder(const std::string& folder);

    std::mutex m_mutex;
    std::vector<std::shared_ptr<Registration>> m_registrations;
    std::vector<std::shared_ptr<Registration>> m_fired;
    std::vector<int> m_watches;
    std::atomic<bool> m_signalled{false};
    std::atomic<bool> m_cancelled{false};
    int m_wakeFd = -1;    // eventfd written by Cancel
    int m_inotifyFd = -1; // writes to the hive folders; -1 falls back to polling
};

// The folder the hives live in now (ZYN_REGISTRY_DIR, XDG_CONFIG_HOME or the home folder).
std::string HiveFolder();

// What the store did on its own that the person using the program must hear of, in words that name
// the file: a damaged database moved aside (kept under a new name) and replaced by a fresh one, a
// damaged one that could not be moved, a user store that can only be read. Each text is handed
// over once per process, on the thread that found it; texts found before a handler is set wait
// for it. A null handler makes them wait again.
using NoticeHandler = std::function<void(const std::string& text)>;
void SetNoticeHandler(const NoticeHandler& handler);

} // namespace zyn::registry

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition);
LONG RegCloseKey(HKEY hKey);

// Size protocol: with lpData null, *lpcbData receives the size; with a buffer that is too small,
// *lpcbData receives the size and the result is ERROR_MORE_DATA (the buffer is left alone). Strings
// come back exactly as stored: no terminator is added.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);
// Stores cbData bytes as given; a null or empty name is the key's default value.
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key without sub-keys (ERROR_ACCESS_DENIED when it has some).
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes the sub-key and everything below it; with a null sub-key, empties hKey itself.
LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// Enumeration: sub-keys in case-insensitive name order, values in the order they were first set.
// lpcchName is in characters, in: buffer size including the terminator, out: length without it.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                   LPWSTR lpClass, DWORD* lpcchClass, void* lpftLastWriteTime);
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

// Arms hEvent to be signalled at the next change of hKey (and, with bWatchSubtree, of any key below
// it). Only asynchronous notification is offered: fAsynchronous must be TRUE.
LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter,
                             zyn::registry::ChangeWatcher* hEvent, BOOL fAsynchronous);
