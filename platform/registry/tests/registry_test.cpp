#include "registry/registry.h"
#include "testing/SpawnSelf.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <mutex>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// ---- helpers ----

// Each test gets its own hive folder; the library looks the folder up again on every use.
using RegistryTest = zyn::test::SettingsStoreTest;

HKEY Create(HKEY root, const char16_t* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, sam, nullptr, &h, nullptr), ERROR_SUCCESS);
    return h;
}

LONG SetDword(HKEY h, const char16_t* name, DWORD v) {
    return RegSetValueExW(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

LONG SetString(HKEY h, const char16_t* name, std::u16string_view s) {
    // Stored with its terminator, as Windows callers do.
    return RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s.data()),
                          static_cast<DWORD>((s.size() + 1) * sizeof(char16_t)));
}

std::u16string GetString(HKEY h, const char16_t* name) {
    DWORD size = 0;
    if (RegQueryValueExW(h, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return u"<missing>";
    std::u16string s(size / 2, u'\0');
    EXPECT_EQ(RegQueryValueExW(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(s.data()), &size),
              ERROR_SUCCESS);
    while (!s.empty() && s.back() == u'\0')
        s.pop_back();
    return s;
}

std::vector<std::u16string> SubKeys(HKEY h) {
    std::vector<std::u16string> out;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD cch = 256;
        if (RegEnumKeyExW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out.emplace_back(name, cch);
    }
    return out;
}

// ---- typed values and the size protocol ----

TEST_F(RegistryTest, TypedValuesRoundTripThroughAFreshHandle) {
    const std::u16string text = u"Grüße Ωμέγα 日本 \U0001F600";
    const BYTE blob[] = {0, 1, 2, 0xFF, 0, 0x80};
    HKEY h = Create(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon\\Settings");
    ASSERT_EQ(SetString(h, u"Text", text), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(h, u"Number", 0xDEADBEEF), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(h, u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(h, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(h), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon\\Settings", 0, KEY_READ, &h),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExW(h, u"Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, (text.size() + 1) * 2);
    EXPECT_EQ(GetString(h, u"Text"), text);

    DWORD number = 0;
    size = sizeof number;
    ASSERT_EQ(RegQueryValueExW(h, u"Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(number, 0xDEADBEEFu);

    BYTE got[16] = {};
    size = sizeof got;
    ASSERT_EQ(RegQueryValueExW(h, u"Blob", nullptr, &type, got, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(got, blob, sizeof blob), 0);

    size = 99;
    ASSERT_EQ(RegQueryValueExW(h, u"Empty", nullptr, &type, got, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    RegCloseKey(h);
}

TEST_F(RegistryTest, SizeProtocolReportsSizeAndRefusesShortBuffers) {
    HKEY h = Create(HKEY_CURRENT_USER, u"K");
    const BYTE data[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueExW(h, u"V", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);

    BYTE buf[8];
    std::memset(buf, 0xAA, sizeof buf);
    DWORD size = 7;
    EXPECT_EQ(RegQueryValueExW(h, u"V", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(buf[0], 0xAA) << "a refused read must not write into the buffer";

    size = 8;
    EXPECT_EQ(RegQueryValueExW(h, u"V", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(buf, data, 8), 0);

    EXPECT_EQ(RegQueryValueExW(h, u"V", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(h, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExW(h, u"V", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(h, u"V", 0, REG_BINARY, data, kRegMaxValueBytes + 1), ERROR_INVALID_PARAMETER);

    // Overwriting changes the type and size in place.
    ASSERT_EQ(SetDword(h, u"v", 7), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(h, u"V", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    RegCloseKey(h);
}

// ---- names and paths ----

TEST_F(RegistryTest, KeyAndValueNamesAreCaseInsensitiveAndKeepTheirCase) {
    HKEY h = Create(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon");
    ASSERT_EQ(SetDword(h, u"InstallFlag", 1), ERROR_SUCCESS);
    HKEY sub = Create(h, u"Ärger");
    RegCloseKey(sub);
    RegCloseKey(h);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\zynthar\\TALLON", 0, KEY_READ, &h), ERROR_SUCCESS);
    DWORD v = 0, size = 4;
    EXPECT_EQ(RegQueryValueExW(h, u"installflag", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(RegOpenKeyExW(h, u"äRGER", 0, KEY_READ, &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    // Creating with another case opens the existing key instead of adding a twin.
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(h, u"ÄRGER", 0, nullptr, 0, KEY_READ, nullptr, &sub, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(sub);
    EXPECT_EQ(SubKeys(h), std::vector<std::u16string>{u"Ärger"});
    RegCloseKey(h);
}

TEST_F(RegistryTest, MalformedPathsAndStaleHandlesAreRefused) {
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Nope", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"\\Lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
        ERROR_BAD_PATHNAME);
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, u"a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
        ERROR_BAD_PATHNAME);
    std::u16string longName(kRegMaxKeyNameChars + 1, u'x');
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_INVALID_PARAMETER);

    h = Create(HKEY_CURRENT_USER, u"Trailing\\");
    ASSERT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE) << "a closed handle must not be usable again";
    EXPECT_EQ(SetDword(h, u"x", 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ReadHandleCannotWrite) {
    HKEY w = Create(HKEY_CURRENT_USER, u"K");
    RegCloseKey(w);
    HKEY r = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"K", 0, KEY_READ, &r), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(r, u"x", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(r, u"Child", 0, nullptr, 0, KEY_READ, nullptr, &w, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(r);
}

// ---- deletion and enumeration ----

TEST_F(RegistryTest, DeletingKeysAndTrees) {
    HKEY root = Create(HKEY_CURRENT_USER, u"Root");
    RegCloseKey(Create(root, u"A\\Deep\\Deeper"));
    HKEY b = Create(root, u"B");
    ASSERT_EQ(SetDword(b, u"x", 1), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(root, u"A"), ERROR_ACCESS_DENIED) << "a key with sub-keys stays";
    EXPECT_EQ(RegDeleteKeyW(root, u"b"), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(b, u"y", 1), ERROR_KEY_DELETED);
    RegCloseKey(b);
    EXPECT_EQ(RegDeleteTreeW(root, u"A"), ERROR_SUCCESS);
    EXPECT_TRUE(SubKeys(root).empty());
    // Recreating a deleted key gives an empty key, not the old values.
    b = Create(root, u"B");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(b, u"x", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(b);

    ASSERT_EQ(SetDword(root, u"own", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(root, nullptr), ERROR_SUCCESS) << "a null sub-key empties the key itself";
    EXPECT_TRUE(SubKeys(root).empty());
    EXPECT_EQ(RegQueryValueExW(root, u"own", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(root, u"own"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(root);
}

TEST_F(RegistryTest, EnumerationOrderAndShortNameBuffers) {
    HKEY h = Create(HKEY_CURRENT_USER, u"E");
    for (auto name : {u"charlie", u"Alpha", u"bravo"})
        RegCloseKey(Create(h, name));
    EXPECT_EQ(SubKeys(h), (std::vector<std::u16string>{u"Alpha", u"bravo", u"charlie"}));

    for (auto name : {u"second", u"first"})
        ASSERT_EQ(SetDword(h, name, 1), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(h, u"SECOND", 2), ERROR_SUCCESS); // rewriting keeps its place
    char16_t name[16];
    DWORD cch = 16, type = 0, value = 0, size = 4;
    ASSERT_EQ(RegEnumValueW(h, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, cch), u"SECOND");
    EXPECT_EQ(value, 2u);
    cch = 5; // "first" needs 6 with its terminator
    EXPECT_EQ(RegEnumValueW(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    cch = 16;
    EXPECT_EQ(RegEnumValueW(h, 2, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(h);
}

// ---- hives ----

TEST_F(RegistryTest, ClassesRootHoldsClassRegistrationsWithDefaultValues) {
    const char16_t* clsidKey = u"CLSID\\{0B1E2F30-1C2D-4E5F-8A9B-0C1D2E3F4A5B}";
    HKEY cls = Create(HKEY_CLASSES_ROOT, clsidKey);
    ASSERT_EQ(SetString(cls, nullptr, u"Chart Class"), ERROR_SUCCESS);
    HKEY server = Create(cls, u"InprocServer32");
    ASSERT_EQ(SetString(server, u"", u"/opt/tallon/libZynTallonObj.so"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(server, u"ThreadingModel", u"Both"), ERROR_SUCCESS);
    HKEY progid = Create(HKEY_CLASSES_ROOT, u"ZynTallonObj.Chart.1\\CLSID");
    ASSERT_EQ(SetString(progid, nullptr, u"{0B1E2F30-1C2D-4E5F-8A9B-0C1D2E3F4A5B}"), ERROR_SUCCESS);
    for (HKEY k : {cls, server, progid})
        RegCloseKey(k);

    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"zyntallonobj.chart.1\\clsid", 0, KEY_READ, &h),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(h, nullptr), u"{0B1E2F30-1C2D-4E5F-8A9B-0C1D2E3F4A5B}");
    RegCloseKey(h);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::u16string(clsidKey) + u"\\InprocServer32").c_str(), 0,
                            KEY_READ, &h),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(h, u""), u"/opt/tallon/libZynTallonObj.so")
        << "null and empty name are the same value";
    EXPECT_EQ(GetString(h, u"threadingmodel"), u"Both");
    RegCloseKey(h);

    // The other hives are separate files.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"CLSID", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(std::filesystem::exists(StorePath() + "/classes.db"));
}

TEST_F(RegistryTest, AHiveThatCannotBeCreatedFailsQuietly) {
    // A folder below a regular file can never be made, whatever the rights of the user running this.
    std::string file = StorePath() + "/plainfile";
    std::fclose(std::fopen(file.c_str(), "w"));
    zyn::test::TempSettingsStore::Point(file + "/hives");

    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"x", 1), ERROR_ACCESS_DENIED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"x", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    zyn::test::TempSettingsStore::Point(StorePath());
}

TEST_F(RegistryTest, AReadOnlyFolderKeepsItsDataReadableAndRefusesWrites) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    HKEY h = Create(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon");
    ASSERT_EQ(SetString(h, u"InstallDir", u"/opt/tallon"), ERROR_SUCCESS);
    RegCloseKey(h);
    // Take the rights away from the folder and its files.
    ::chmod(StorePath().c_str(), 0555);
    for (const auto& e : std::filesystem::directory_iterator(StorePath()))
        ::chmod(e.path().c_str(), 0444);
    // Another spelling of the folder is another hive cache entry: a fresh connection, as a new
    // process would open.
    zyn::test::TempSettingsStore::Point(StorePath() + "/.");
    HKEY r = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon\\New", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &r, nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon", 0, KEY_READ, &r),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(r, u"InstallDir"), u"/opt/tallon");
    RegCloseKey(r);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon", 0, KEY_ALL_ACCESS, &r),
              ERROR_ACCESS_DENIED);
    zyn::test::TempSettingsStore::Point(StorePath());
}

// ---- several writers ----

TEST_F(RegistryTest, WritersInSeveralProcessesAndThreadsLoseNothing) {
    constexpr int kPerWriter = 150;
    pid_t a = zyn::test::SpawnSelf({"--write", "Shared", "procA", std::to_string(kPerWriter)});
    pid_t b = zyn::test::SpawnSelf({"--write", "Shared", "procB", std::to_string(kPerWriter)});
    std::vector<std::thread> threads;
    threads.reserve(2);
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t] {
            HKEY h = Create(HKEY_CURRENT_USER, u"Shared");
            for (int i = 0; i < kPerWriter; ++i) {
                std::u16string name = u"thread" + std::u16string(1, char16_t(u'0' + t)) + u"_";
                for (char c : std::to_string(i))
                    name.push_back(char16_t(c));
                EXPECT_EQ(SetDword(h, name.c_str(), DWORD(i)), ERROR_SUCCESS);
            }
            RegCloseKey(h);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(zyn::test::Reap(a), 0);
    EXPECT_EQ(zyn::test::Reap(b), 0);

    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Shared", 0, KEY_READ, &h), ERROR_SUCCESS);
    int count = 0;
    for (DWORD i = 0;; ++i) {
        char16_t name[64];
        DWORD cch = 64;
        if (RegEnumValueW(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ++count;
    }
    EXPECT_EQ(count, 4 * kPerWriter);
    // Both helpers also made their own sub-keys under the shared one.
    EXPECT_EQ(SubKeys(h), (std::vector<std::u16string>{u"procA", u"procB"}));
    RegCloseKey(h);
}

// ---- change notification ----

TEST_F(RegistryTest, NotificationFiresOncePerRegistrationAndHonoursTheSubtreeFlag) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Watched");
    HKEY child = Create(key, u"Child");
    HKEY sibling = Create(HKEY_CURRENT_USER, u"WatchedToo"); // shares a prefix, but is not below
    zyn::registry::ChangeWatcher shallow, deep;
    ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, 7, &shallow, TRUE), ERROR_SUCCESS);
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 7, &deep, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(deep.Wait(0), zyn::registry::WaitResult::TimedOut);

    ASSERT_EQ(SetDword(sibling, u"x", 1), ERROR_SUCCESS);
    EXPECT_FALSE(deep.IsSignalled());
    ASSERT_EQ(SetDword(child, u"x", 1), ERROR_SUCCESS);
    EXPECT_EQ(deep.Wait(5000), zyn::registry::WaitResult::Changed);
    EXPECT_FALSE(shallow.IsSignalled()) << "a value below the key is not a change of the key itself";
    ASSERT_EQ(SetDword(key, u"x", 1), ERROR_SUCCESS);
    EXPECT_EQ(shallow.Wait(5000), zyn::registry::WaitResult::Changed);

    // Manual reset: stays signalled until Reset; then silent until registered again.
    EXPECT_TRUE(deep.IsSignalled());
    deep.Reset();
    ASSERT_EQ(SetDword(child, u"y", 1), ERROR_SUCCESS);
    EXPECT_EQ(deep.Wait(300), zyn::registry::WaitResult::TimedOut);
    // Registering again hears, one at a time, the changes made since the one that fired: the value
    // set on the key itself, then Child's y, made while nothing was registered.
    for (int pending = 0; pending < 2; ++pending) {
        ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 7, &deep, TRUE), ERROR_SUCCESS);
        EXPECT_EQ(deep.Wait(0), zyn::registry::WaitResult::Changed) << pending;
        deep.Reset();
    }
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 7, &deep, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(deep.Wait(0), zyn::registry::WaitResult::TimedOut);
    ASSERT_EQ(RegDeleteTreeW(key, u"Child"), ERROR_SUCCESS);
    EXPECT_EQ(deep.Wait(5000), zyn::registry::WaitResult::Changed);
    for (HKEY k : {key, child, sibling})
        RegCloseKey(k);
}

TEST_F(RegistryTest, CancelWakesABlockedWaitAtOnce) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Quiet");
    zyn::registry::ChangeWatcher watcher;
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 7, &watcher, TRUE), ERROR_SUCCESS);
    auto start = std::chrono::steady_clock::now();
    std::thread waiter([&] { EXPECT_EQ(watcher.Wait(-1), zyn::registry::WaitResult::Cancelled); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    watcher.Cancel();
    waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(watcher.Wait(0), zyn::registry::WaitResult::Cancelled) << "cancel stays until reset";
    watcher.ResetCancel();
    EXPECT_EQ(watcher.Wait(0), zyn::registry::WaitResult::TimedOut);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NotificationSeesAWriteFromAnotherProcess) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon\\Settings");
    zyn::registry::ChangeWatcher watcher;
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 7, &watcher, TRUE), ERROR_SUCCESS);
    pid_t child = zyn::test::SpawnSelf({"--set", "Software\\Zynthar\\Tallon\\Settings\\Sub", "Remote", "42"});
    EXPECT_EQ(watcher.Wait(10000), zyn::registry::WaitResult::Changed);
    EXPECT_EQ(zyn::test::Reap(child), 0);
    HKEY sub = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, u"Sub", 0, KEY_READ, &sub), ERROR_SUCCESS);
    DWORD v = 0, size = 4;
    EXPECT_EQ(RegQueryValueExW(sub, u"Remote", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 42u);
    RegCloseKey(sub);
    RegCloseKey(key);
}

// ---- helper process ----

std::u16string Wide(const char* s) {
    std::u16string out;
    for (; *s; ++s)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return out;
}

// --write KEY PREFIX COUNT: COUNT DWORD values PREFIX_i under KEY, and a sub-key KEY\PREFIX.
// --set KEY NAME VALUE: one DWORD value.
int HelperMain(int argc, char** argv) {
    if (argc != 5) return 2;
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(argv[2]).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return 3;
    int failures = 0;
    if (std::strcmp(argv[1], "--set") == 0) {
        DWORD v = static_cast<DWORD>(std::atoi(argv[4]));
        failures +=
            RegSetValueExW(h, Wide(argv[3]).c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) != 0;
    } else {
        int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            DWORD v = static_cast<DWORD>(i);
            std::u16string name = Wide(argv[3]) + u"_" + Wide(std::to_string(i).c_str());
            failures += RegSetValueExW(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4) != 0;
        }
        HKEY sub = nullptr;
        failures +=
            RegCreateKeyExW(h, Wide(argv[3]).c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr) != 0;
        RegCloseKey(sub);
    }
    RegCloseKey(h);
    return failures == 0 ? 0 : 1;
}

// --hold DATABASE MARKER SECONDS: holds an exclusive write lock on the database, creates MARKER, and
// sleeps (until killed).
int HoldMain(int argc, char** argv) {
    if (argc != 5) return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open(argv[2], &db) != SQLITE_OK) return 3;
    sqlite3_busy_timeout(db, 10000);
    if (sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return 4;
    std::ofstream(argv[3]) << "held";
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[4])));
    sqlite3_close(db);
    return 0;
}

const zyn::test::HelperMode kHoldMode("--hold", &HoldMain);
const zyn::test::HelperMode kWriteMode("--write", &HelperMain);
const zyn::test::HelperMode kSetMode("--set", &HelperMain);

// ---- a damaged or busy store ----

// Notices the store hands to the program, collected for a test.
class NoticeLog {
public:
    NoticeLog() {
        zyn::registry::SetNoticeHandler([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(text);
        });
    }
    ~NoticeLog() { zyn::registry::SetNoticeHandler(nullptr); }
    std::vector<std::string> Texts() {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

std::vector<std::string> Kept(const std::string& folder, const std::string& hive) {
    std::vector<std::string> kept;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(hive + ".damaged-", 0) == 0 && name.find("-wal") == std::string::npos)
            kept.push_back(name);
    }
    return kept;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

double SecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// A file that is not a database, and a database whose pages are broken: each is kept under a new
// name, said once, and a fresh hive takes writes at once, in this process and in the next.
TEST_F(RegistryTest, ADamagedHiveIsMovedAsideSaidOnceAndReplaced) {
    NoticeLog log;
    const std::string garbage(20000, '\x3c');
    WriteAll(StorePath() + "/user.db", garbage);
    const auto t0 = std::chrono::steady_clock::now();
    HKEY h = Create(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon\\Settings");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SetDword(h, u"Prefs", 7), ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_LT(SecondsSince(t0), 1.5) << "the damaged hive held the caller up";
    const auto kept = Kept(StorePath(), "user.db");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadAll(StorePath() + "/" + kept[0]), garbage);
    const auto texts = log.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(StorePath() + "/user.db"), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find(kept[0]), std::string::npos) << texts[0];
    EXPECT_EQ(zyn::test::RunSelf({"--set", "Other", "Value", "5"}), 0);
    EXPECT_EQ(Kept(StorePath(), "user.db").size(), 1u) << "the fresh hive was taken for a damaged one";

    // Broken pages inside a real database: a machine hive with data in it, its third page overwritten.
    const std::string machine = StorePath() + "/machine.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(machine.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE filler(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
                     "WHERE i < 500) INSERT INTO filler SELECT printf('%0100d', i) FROM n;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    std::string bytes = ReadAll(machine);
    ASSERT_GT(bytes.size(), 3u * 4096u);
    for (std::size_t i = 2UL * 4096; i < 3UL * 4096; ++i)
        bytes[i] = char(0xEE);
    WriteAll(machine, bytes);
    HKEY fresh = Create(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon");
    EXPECT_EQ(SetDword(fresh, u"After", 1), ERROR_SUCCESS);
    RegCloseKey(fresh);
    EXPECT_EQ(Kept(StorePath(), "machine.db").size(), 1u);
    EXPECT_EQ(log.Texts().size(), 2u);
}

// Processes that meet the same damaged file at once move it aside once between them.
TEST_F(RegistryTest, ProcessesMeetingOneDamagedHiveMoveItAsideOnce) {
    WriteAll(StorePath() + "/user.db", std::string(50000, '\x11'));
    std::vector<pid_t> helpers;
    helpers.reserve(4);
    for (int i = 0; i < 4; ++i)
        helpers.push_back(zyn::test::SpawnSelf({"--write", "Shared", "p" + std::to_string(i), "20"}));
    for (pid_t p : helpers)
        EXPECT_EQ(zyn::test::Reap(p), 0);
    EXPECT_EQ(Kept(StorePath(), "user.db").size(), 1u);
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Shared", 0, KEY_READ, &h), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(h).size(), 4u) << "a helper's writes went to a file moved aside after it";
    RegCloseKey(h);
}

// Another process that holds the store for long makes a write wait a short while and fail, and
// the writes right after it fail sooner still, so that a program that saves many settings at once
// (at exit) is not held for a wait per setting.
TEST_F(RegistryTest, AStoreHeldByAnotherProcessBoundsTheWaits) {
    HKEY h = Create(HKEY_CURRENT_USER, u"Busy");
    ASSERT_EQ(SetDword(h, u"Before", 1), ERROR_SUCCESS);
    const std::string held = StorePath() + "/held";
    const pid_t holder = zyn::test::SpawnSelf({"--hold", StorePath() + "/user.db", held, "60"});
    ASSERT_GT(holder, 0);
    const auto waitFrom = std::chrono::steady_clock::now();
    while (!std::filesystem::exists(held) && SecondsSince(waitFrom) < 30)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(held));

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_NE(SetDword(h, u"First", 1), ERROR_SUCCESS);
    const double first = SecondsSince(t0);
    EXPECT_LT(first, 5.0);
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(SetDword(h, u"Next", DWORD(i)), ERROR_SUCCESS);
    const double next = SecondsSince(t0);
    EXPECT_LT(next, 4.0) << "ten writes against a held store";
    ::kill(holder, SIGKILL);
    zyn::test::Reap(holder);
    // Free again: writes wait as long as before and succeed.
    EXPECT_EQ(SetDword(h, u"After", 1), ERROR_SUCCESS);
    RegCloseKey(h);
    std::printf("[ busy store ] first write gave up after %.2f s, the next ten took %.2f s\n", first, next);
}

} // namespace
