#include "utils/ZynRegistry.h"

#include "testing/SpawnSelf.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char16_t* const kSettings = u"Software\\Zynthar\\Tallon\\Settings";

using ZynRegistryTest = zyn::test::SettingsStoreTest;

bool KeyExists(HKEY hive, const char16_t* path) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

std::u16string ExeFolder() {
    auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    return std::u16string(folder.begin(), folder.end()); // the build path is ASCII
}

// ---- CZynRegistry ----

TEST_F(ZynRegistryTest, ValuesRoundTripAndReadsFailQuietly) {
    CZynRegistry reg(kSettings, CZynRegistry::CurrentUser);
    const std::u16string text = u"Zürich – 東京";
    ASSERT_TRUE(reg.Store(u"Name", text.c_str()));
    ASSERT_TRUE(reg.Store(u"Rate", DWORD{1000}));
    const unsigned char blob[] = {9, 0, 8, 0, 7};
    ASSERT_TRUE(reg.Store(u"Blob", blob, sizeof blob));
    ASSERT_TRUE(reg.Store(u"Empty", u""));
    ASSERT_TRUE(reg.Store(u"Short", blob, 2));

    char16_t buffer[64] = {};
    EXPECT_EQ(reg.ReadString(u"name", buffer, sizeof buffer), int(text.size() * 2))
        << "no terminator is stored";
    EXPECT_EQ(std::u16string(buffer), text);
    char16_t tiny[4] = {};
    EXPECT_EQ(reg.ReadString(u"Name", tiny, sizeof tiny), 0);
    EXPECT_EQ(reg.ReadDWord(u"Rate", 5), 1000u);
    unsigned char got[8] = {};
    EXPECT_EQ(reg.ReadBinary(u"Blob", got, sizeof got), 5);
    EXPECT_EQ(std::memcmp(got, blob, 5), 0);

    EXPECT_EQ(reg.ReadDWord(u"Short", 77), 77u) << "a 2-byte value is not a DWORD";
    EXPECT_EQ(reg.ReadDWord(u"Blob", 77), 77u) << "nor is a 5-byte one";
    EXPECT_EQ(reg.ReadDWord(u"Missing", 78), 78u);
    EXPECT_EQ(reg.SizeInBytes(u"Missing"), -1);
    EXPECT_EQ(reg.SizeInBytes(u"Empty"), 0);
    EXPECT_EQ(reg.SizeInBytes(u"Name"), int(text.size() * 2));
    EXPECT_EQ(reg.ReadString(u"Missing", buffer, sizeof buffer), 0);
    EXPECT_FALSE(reg.Store(u"Bad", nullptr, 4));
    EXPECT_FALSE(reg.Store(u"Bad", blob, -1));

    CZynRegistry nowhere(u"Software\\Zynthar\\Tallon\\Nowhere", CZynRegistry::CurrentUser);
    EXPECT_EQ(nowhere.SizeInBytes(u"x"), -1);
    EXPECT_EQ(nowhere.ReadDWord(u"x", 3), 3u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Zynthar\\Tallon\\Nowhere"))
        << "reads never create the key";
}

TEST_F(ZynRegistryTest, LeadingBackslashNamesTheSameKeyAndHivesAreSeparate) {
    CZynRegistry withSlash(u"\\Software\\Zynthar\\Tallon\\Settings", CZynRegistry::CurrentUser);
    ASSERT_TRUE(withSlash.Store(u"X", DWORD{7}));
    CZynRegistry without(kSettings, CZynRegistry::CurrentUser);
    EXPECT_EQ(without.ReadDWord(u"X", 0), 7u);

    CZynRegistry machine(kSettings, CZynRegistry::LocalMachine);
    EXPECT_EQ(machine.ReadDWord(u"X", 0), 0u);
    CZynRegistry other(kSettings, static_cast<CZynRegistry::KeyType>(9)); // anything else is the machine hive
    ASSERT_TRUE(other.Store(u"Y", DWORD{8}));
    EXPECT_EQ(machine.ReadDWord(u"Y", 0), 8u);
}

TEST_F(ZynRegistryTest, AFailedOpenIsRetriedAndCopiesOwnTheirHandles) {
    CZynRegistry reader(kSettings, CZynRegistry::CurrentUser);
    EXPECT_EQ(reader.ReadDWord(u"V", 1), 1u); // the key does not exist yet
    {
        CZynRegistry writer(kSettings, CZynRegistry::CurrentUser);
        ASSERT_TRUE(writer.Store(u"V", DWORD{2}));
    }
    EXPECT_EQ(reader.ReadDWord(u"V", 1), 2u) << "a failed open must leave no handle behind";

    auto* copy = new CZynRegistry(reader);
    CZynRegistry assigned;
    EXPECT_EQ(assigned.ReadDWord(u"V", 5), 5u) << "an empty wrapper reads nothing";
    EXPECT_FALSE(assigned.Store(u"V", DWORD{6})) << "and writes nowhere";
    assigned = *copy;
    delete copy; // the others must not share its handles or path
    EXPECT_EQ(assigned.ReadDWord(u"V", 1), 2u);
    ASSERT_TRUE(assigned.Store(u"W", DWORD{3}));
    EXPECT_EQ(reader.ReadDWord(u"W", 0), 3u);
}

TEST_F(ZynRegistryTest, FactoriesBuildPathsBelowTheProductKey) {
    CZynRegistry* user = GetUserReg(u"Settings");
    ASSERT_NE(user, nullptr);
    ASSERT_TRUE(user->Store(u"Prefs", DWORD{1}));
    ReleaseReg(user);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettings));

    CZynRegistry* machine = GetMachineReg(nullptr);
    ASSERT_NE(machine, nullptr);
    ASSERT_TRUE(machine->Store(u"InstallDir", u"/opt/tallon"));
    ReleaseReg(machine);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettings));

    std::u16string tooLong(600, u'a');
    EXPECT_EQ(GetUserReg(tooLong.c_str()), nullptr);
    ReleaseReg(nullptr);
}

// ---- GetZynDir ----

TEST_F(ZynRegistryTest, GetZynDirDefaultsToTheExecutableFolder) {
    char16_t buf[1024] = {};
    EXPECT_EQ(GetZynDir(kZynDirInstall, buf, 63), 0);
    EXPECT_EQ(GetZynDir(6, buf, 1024), 0);
    EXPECT_EQ(GetZynDir(kZynDirInstall, nullptr, 1024), 0);

    const std::u16string exe = ExeFolder();
    CZynRegistry machine(u"Software\\Zynthar\\Tallon", CZynRegistry::LocalMachine);
    ASSERT_EQ(GetZynDir(kZynDirBin, buf, 1024), int(exe.size()));
    EXPECT_EQ(std::u16string(buf), exe);
    EXPECT_EQ(machine.SizeInBytes(u"BinDir"), -1) << "the binary folder is never stored";
    EXPECT_EQ(machine.SizeInBytes(u"InstallDir"), int(exe.size() * 2));

    const std::u16string filters = exe + u"/Filters";
    ASSERT_EQ(GetZynDir(kZynDirFilters, buf, 1024), int(filters.size()));
    EXPECT_EQ(std::u16string(buf), filters);
    EXPECT_EQ(machine.SizeInBytes(u"FilterDir"), int(filters.size() * 2));
}

TEST_F(ZynRegistryTest, GetZynDirUsesStoredFoldersAndNeverReplacesOnesThatDoNotFit) {
    CZynRegistry machine(u"Software\\Zynthar\\Tallon", CZynRegistry::LocalMachine);
    ASSERT_TRUE(machine.Store(u"InstallDir", u"/opt/tallon"));
    char16_t buf[64];
    std::fill(std::begin(buf), std::end(buf), u'#'); // no zeroed buffer: the result is terminated anyway
    ASSERT_EQ(GetZynDir(kZynDirInstall, buf, 64), 11);
    EXPECT_EQ(std::u16string(buf), u"/opt/tallon");
    ASSERT_EQ(GetZynDir(kZynDirFilters, buf, 64), 19);
    EXPECT_EQ(std::u16string(buf), u"/opt/tallon/Filters");

    // Written by another tool with its terminator.
    const char16_t bin[] = u"/usr/lib/tallon";
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zynthar\\Tallon", 0, KEY_ALL_ACCESS, &h),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(h, u"BinDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(bin), sizeof bin),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_EQ(GetZynDir(kZynDirBin, buf, 64), 15);

    const std::u16string deep = u"/srv/" + std::u16string(100, u'd');
    ASSERT_TRUE(machine.Store(u"InstallDir", deep.c_str()));
    EXPECT_EQ(GetZynDir(kZynDirInstall, buf, 64), 0);
    EXPECT_EQ(machine.SizeInBytes(u"InstallDir"), int(deep.size() * 2))
        << "a long stored folder must survive";
}

TEST_F(ZynRegistryTest, AnUnwritableMachineHiveStillGivesTheDefaultFolder) {
    std::string file = StorePath() + "/plainfile";
    std::fclose(std::fopen(file.c_str(), "w"));
    zyn::test::TempSettingsStore::Point(file + "/hives");
    CZynRegistry* machine = GetMachineReg(nullptr);
    EXPECT_FALSE(machine->Store(u"InstallDir", u"/x"));
    EXPECT_EQ(machine->ReadDWord(u"InstallDir", 4), 4u);
    ReleaseReg(machine);
    char16_t buf[1024] = {};
    EXPECT_EQ(GetZynDir(kZynDirInstall, buf, 1024), int(ExeFolder().size()));
    EXPECT_EQ(std::u16string(buf), ExeFolder());
}

// ---- CZynRegistry2 ----

struct CallLog {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    DWORD lastData = 0;
    bool throwNext = false;

    bool WaitFor(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return calls >= n; });
    }
    int Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
};
CallLog* g_log = nullptr;

int Callback(DWORD data) {
    bool doThrow = false;
    {
        std::lock_guard lock(g_log->mutex);
        ++g_log->calls;
        g_log->lastData = data;
        doThrow = std::exchange(g_log->throwNext, false);
    }
    g_log->changed.notify_all();
    if (doThrow) throw 42;
    return 0;
}

// Proves that a write is visible to watchers, so that a listener that was going to hear it had the
// chance to.
void WaitUntilSeen(const char16_t* key, const std::function<void()>& write) {
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &h), ERROR_SUCCESS);
    zyn::registry::ChangeWatcher seen;
    ASSERT_EQ(RegNotifyChangeKeyValue(h, TRUE, 7, &seen, TRUE), ERROR_SUCCESS);
    write();
    EXPECT_EQ(seen.Wait(10000), zyn::registry::WaitResult::Changed);
    RegCloseKey(h);
}

TEST_F(ZynRegistryTest, ListenerCallsBackOnceAtStartThenOnEveryChangeUntilStopped) {
    CallLog log;
    g_log = &log;
    CZynRegistry2 reg(kSettings, CZynRegistry::CurrentUser);
    reg.SetRegFlags(Callback, 0x1234);
    EXPECT_FALSE(reg.Listen(true)) << "a key that does not exist cannot be watched";
    EXPECT_EQ(log.Calls(), 0);

    CZynRegistry writer(kSettings, CZynRegistry::CurrentUser);
    ASSERT_TRUE(writer.Store(u"A", DWORD{1}));
    ASSERT_TRUE(reg.Listen(true));
    EXPECT_EQ(log.Calls(), 1) << "one call at once, on the caller's thread";
    EXPECT_EQ(log.lastData, 0x1234u);

    // A change deep below the key, made in this process; the callback throws and must keep listening.
    log.throwNext = true;
    CZynRegistry deeper(u"Software\\Zynthar\\Tallon\\Settings\\Bars\\Bar-0", CZynRegistry::CurrentUser);
    ASSERT_TRUE(deeper.Store(u"Visible", DWORD{1}));
    ASSERT_TRUE(log.WaitFor(2));
    ASSERT_TRUE(writer.Store(u"A", DWORD{2}));
    ASSERT_TRUE(log.WaitFor(3)) << "a throwing callback must not end the listener";

    // Another process writes.
    pid_t child = zyn::test::SpawnSelf({"--set", "Software\\Zynthar\\Tallon\\Settings", "Remote", "5"});
    EXPECT_TRUE(log.WaitFor(4)) << "a write from another process reaches the callback";
    EXPECT_EQ(zyn::test::Reap(child), 0);

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(reg.Listen(false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    int before = log.Calls();
    WaitUntilSeen(kSettings, [&] { ASSERT_TRUE(writer.Store(u"A", DWORD{3})); });
    EXPECT_EQ(log.Calls(), before) << "no call after Listen(false)";
    g_log = nullptr;
}

TEST_F(ZynRegistryTest, RestartingAndDestroyingAListenerStopsTheOldThread) {
    CallLog log;
    g_log = &log;
    CZynRegistry writer(kSettings, CZynRegistry::CurrentUser);
    ASSERT_TRUE(writer.Store(u"A", DWORD{1}));
    {
        CZynRegistry2 reg(kSettings, CZynRegistry::CurrentUser);
        reg.SetRegFlags(Callback, 1);
        ASSERT_TRUE(reg.Listen(true));
        ASSERT_TRUE(reg.Listen(true)); // replaces the first listener
        EXPECT_EQ(log.Calls(), 2);
        ASSERT_TRUE(writer.Store(u"A", DWORD{2}));
        ASSERT_TRUE(log.WaitFor(3));
    } // the destructor stops the listener
    int before = log.Calls();
    WaitUntilSeen(kSettings, [&] { ASSERT_TRUE(writer.Store(u"A", DWORD{3})); });
    EXPECT_EQ(log.Calls(), before);
    g_log = nullptr;
}

// --set KEY NAME VALUE: one DWORD value in the user hive, written by a separate process.
int SetterMain(int argc, char** argv) {
    if (argc != 5) return 2;
    auto wide = [](const char* s) { return std::u16string(s, s + std::strlen(s)); };
    CZynRegistry reg(wide(argv[2]).c_str(), CZynRegistry::CurrentUser);
    return reg.Store(wide(argv[3]).c_str(), static_cast<DWORD>(std::atoi(argv[4]))) ? 0 : 1;
}

const zyn::test::HelperMode kSetMode("--set", &SetterMain);

} // namespace
