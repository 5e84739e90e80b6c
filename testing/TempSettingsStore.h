#pragma once
// A settings store of a test's own: a fresh folder named by ZYN_REGISTRY_DIR for as long as the
// object lives. The store looks the variable up on every use, so each test starts empty and no
// test sees another's keys; the previous value comes back and the folder goes at the end.

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zyn::test {

class TempSettingsStore {
public:
    TempSettingsStore();
    ~TempSettingsStore();
    TempSettingsStore(const TempSettingsStore&) = delete;
    TempSettingsStore& operator=(const TempSettingsStore&) = delete;

    // The folder that holds the hives.
    const std::string& Path() const { return m_path; }
    // Points ZYN_REGISTRY_DIR somewhere else (a test of bad folders); the destructor still restores
    // the value from before the store was made.
    static void Point(const std::string& folder);

private:
    std::string m_path;
    std::optional<std::string> m_previous;
};

// A GoogleTest fixture whose every test has its own settings store.
class SettingsStoreTest : public ::testing::Test {
protected:
    const std::string& StorePath() const { return m_store.Path(); }

private:
    TempSettingsStore m_store;
};

} // namespace zyn::test
