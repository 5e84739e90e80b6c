// A process takes the objects of a server library from its own copy only: registered on first use,
// re-registered over another copy named in the settings store, and never a second copy mapped.
// A binary of its own: what UseServerLibrary sets up lasts for the life of the process.

#include "com/classregistry.h"
#include "registry/registry.h"
#include "test_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#ifndef ZYN_TEST_SERVER_PATH
#error "the build names the test server library"
#endif

namespace {

namespace fs = std::filesystem;
using zyn::com::testing::ICounter;
using zyn::com::testing::kCounterClass;
using zyn::com::testing::kHiddenClass;

const std::string kServer = ZYN_TEST_SERVER_PATH;
const std::string kServerFile = fs::path(kServer).filename().string();

constexpr GUID kLibId = zyn::com::MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000010");
const zyn::com::CoClassInfo kClasses[] = {
    {u"Counter", &kCounterClass, u"Test.Counter.1", u"Test.Counter", u"Counter", 0, &ICounter::kIID, true},
    {u"Hidden", &kHiddenClass, u"Test.Hidden.1", u"Test.Hidden", u"Hidden", 0, &ICounter::kIID, false},
};
const zyn::com::TypeLibInfo kLibrary{u"TestLib",      &kLibId, 1,        0,
                                     u"Test library", {},      kClasses, kServerFile.c_str()};

std::string Named(REFCLSID clsid) {
    HKEY key = nullptr;
    const std::u16string path = u"CLSID\\" + zyn::com::GuidToString(clsid) + u"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    char16_t text[1024] = {};
    DWORD type = 0, bytes = sizeof text - sizeof(char16_t);
    const LONG rc = RegQueryValueExW(key, u"", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? zyn::com::Utf16ToUtf8(text) : std::string();
}

// What another installation's registration writes: its file as the server of every class.
void NameInStore(const std::string& file) {
    for (const zyn::com::CoClassInfo& c : kClasses) {
        HKEY key = nullptr;
        const std::u16string path = u"CLSID\\" + zyn::com::GuidToString(*c.clsid) + u"\\InprocServer32";
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        const std::u16string value = zyn::com::Utf8ToUtf16(file);
        ASSERT_EQ(RegSetValueExW(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 DWORD((value.size() + 1) * sizeof(char16_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

// The files mapped into this process whose name is `name`.
std::set<std::string> MappedCopies(const std::string& name) {
    std::set<std::string> paths;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, dev, inode, path;
        fields >> range >> perms >> offset >> dev >> inode >> path;
        if (!path.empty() && fs::path(path).filename() == name) paths.insert(path);
    }
    return paths;
}

LONG CountFromNewCounter() {
    CComPtr<ICounter> counter;
    if (FAILED(CoCreateInstance(kCounterClass, nullptr, CLSCTX_ALL, ICounter::kIID,
                                reinterpret_cast<void**>(&counter))))
        return -1;
    return counter->Next();
}

class ServerLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("zyn-serverlib-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "store");
        fs::create_directories(m_dir / "other");
        setenv("ZYN_REGISTRY_DIR", (m_dir / "store").c_str(), 1);
        m_copy = (m_dir / "other" / kServerFile).string();
        fs::copy_file(kServer, m_copy);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    std::string m_copy; // another installation's copy of the same library
};

TEST_F(ServerLibrary, FirstUseRegistersTheLibraryAndLaterUsesFindItRegistered) {
    const zyn::com::ServerLibraryUse first = zyn::com::UseServerLibrary(kLibrary, kServer);
    EXPECT_EQ(first.hr, S_OK);
    EXPECT_EQ(first.registration, S_OK);
    EXPECT_EQ(first.displaced, "");
    EXPECT_EQ(first.Notice(), "");
    EXPECT_TRUE(fs::equivalent(Named(kCounterClass), kServer));
    CLSID byProgId{};
    ASSERT_EQ(CLSIDFromProgID(u"Test.Counter.1", &byProgId), S_OK);
    EXPECT_EQ(byProgId, kCounterClass);
    EXPECT_EQ(CountFromNewCounter(), 1);

    const zyn::com::ServerLibraryUse again = zyn::com::UseServerLibrary(kLibrary, kServer);
    EXPECT_EQ(again.hr, S_OK);
    EXPECT_EQ(again.registration, S_FALSE) << "nothing to write";
}

TEST_F(ServerLibrary, AnotherCopyNamedInTheStoreIsReplacedAndNeverMapped) {
    NameInStore(m_copy);
    const zyn::com::ServerLibraryUse use = zyn::com::UseServerLibrary(kLibrary, kServer);
    EXPECT_EQ(use.hr, S_OK);
    EXPECT_EQ(use.registration, S_OK);
    EXPECT_EQ(use.displaced, m_copy);
    EXPECT_NE(use.Notice().find(m_copy), std::string::npos) << use.Notice();
    EXPECT_NE(use.Notice().find(kServer), std::string::npos) << use.Notice();
    EXPECT_TRUE(fs::equivalent(Named(kCounterClass), kServer));
    EXPECT_TRUE(fs::equivalent(Named(kHiddenClass), kServer));
    EXPECT_EQ(CountFromNewCounter(), 1);

    // Another process registers its copy again while this one runs: objects still come from ours,
    // and a class ours does not serve is refused by ours instead of being looked up in the copy.
    NameInStore(m_copy);
    EXPECT_EQ(CountFromNewCounter(), 1);
    CComPtr<IUnknown> hidden;
    EXPECT_EQ(CoCreateInstance(kHiddenClass, nullptr, CLSCTX_ALL, IUnknown::kIID,
                               reinterpret_cast<void**>(&hidden)),
              CLASS_E_CLASSNOTAVAILABLE);

    const std::set<std::string> mapped = MappedCopies(kServerFile);
    ASSERT_EQ(mapped.size(), 1u) << "one copy of the library in the process";
    EXPECT_TRUE(fs::equivalent(*mapped.begin(), kServer));
}

TEST_F(ServerLibrary, AStoreNamingAMissingFileIsRewrittenWithoutANotice) {
    NameInStore((m_dir / "gone" / kServerFile).string());
    const zyn::com::ServerLibraryUse use = zyn::com::UseServerLibrary(kLibrary, kServer);
    EXPECT_EQ(use.registration, S_OK);
    EXPECT_EQ(use.displaced, "");
    EXPECT_EQ(use.Notice(), "");
    EXPECT_TRUE(fs::equivalent(Named(kCounterClass), kServer));
}

TEST_F(ServerLibrary, AProcessRefusesASecondCopyOfALibraryItUses) {
    ASSERT_EQ(zyn::com::UseServerLibrary(kLibrary, kServer).hr, S_OK);
    const zyn::com::ServerLibraryUse second = zyn::com::UseServerLibrary(kLibrary, m_copy);
    EXPECT_EQ(second.hr, E_FAIL);
    EXPECT_TRUE(fs::equivalent(Named(kCounterClass), kServer)) << "the store is left alone";
    EXPECT_EQ(MappedCopies(kServerFile).count(m_copy), 0u);
}

TEST_F(ServerLibrary, ALibraryThatCannotBeLoadedChangesNothing) {
    constexpr GUID kOtherLibId = zyn::com::MakeGuid("6E0A4B31-1F0E-4C55-9A43-000000000011");
    const zyn::com::TypeLibInfo other{u"Other", &kOtherLibId, 1, 0, u"Other", {}, kClasses, "libNone.so"};
    const zyn::com::ServerLibraryUse use = zyn::com::UseServerLibrary(other, (m_dir / "libNone.so").string());
    EXPECT_EQ(use.hr, CO_E_DLLNOTFOUND);
    EXPECT_EQ(Named(kCounterClass), "");
}

TEST(OwnServerLibrary, IsTheFileBesideTheProgram) {
    EXPECT_TRUE(fs::equivalent(zyn::com::OwnServerLibrary(kLibrary), kServer));
    const zyn::com::TypeLibInfo missing{u"Missing", &kLibId, 1, 0, u"Missing", {}, kClasses, "libMissing.so"};
    EXPECT_EQ(zyn::com::OwnServerLibrary(missing), "");
}

} // namespace
