#include "TempSettingsStore.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace zyn::test {

TempSettingsStore::TempSettingsStore() {
    if (const char* old = std::getenv("ZYN_REGISTRY_DIR")) m_previous = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "zyn-settings-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary settings folder");
    m_path = pattern;
    Point(m_path);
}

TempSettingsStore::~TempSettingsStore() {
    if (m_previous)
        ::setenv("ZYN_REGISTRY_DIR", m_previous->c_str(), 1);
    else
        ::unsetenv("ZYN_REGISTRY_DIR");
    // A test may have made its folder read-only to see writes fail.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void TempSettingsStore::Point(const std::string& folder) {
    ::setenv("ZYN_REGISTRY_DIR", folder.c_str(), 1);
}

} // namespace zyn::test
