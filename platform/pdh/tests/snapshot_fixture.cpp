#include "snapshot_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace zyn::pdh::test {

fs::path DataDir() {
    return fs::path(ZYN_PDH_TEST_DATA);
}

CSnapshotRoot::CSnapshotRoot() {
    std::string pattern = (fs::temp_directory_path() / "zynpdh-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    fs::create_directories(m_root / "proc");
    fs::create_directories(m_root / "sys");
}

CSnapshotRoot::~CSnapshotRoot() {
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

void CSnapshotRoot::Write(const std::string& relative, const std::string& text) {
    const fs::path target = m_root / relative;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc); // same inode when it exists
    out << text;
}

void CSnapshotRoot::Remove(const std::string& relative) {
    std::error_code ec;
    fs::remove_all(m_root / relative, ec);
}

void CSnapshotRoot::Apply(const std::string& name) {
    const fs::path source = DataDir() / name;
    std::set<fs::path> wanted;
    for (const auto& e : fs::recursive_directory_iterator(source)) {
        const fs::path rel = fs::relative(e.path(), source);
        wanted.insert(rel);
        if (e.is_directory()) {
            fs::create_directories(m_root / rel);
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            Write(rel.string(), text.str());
        }
    }
    std::vector<fs::path> stale;
    for (const auto& e : fs::recursive_directory_iterator(m_root)) {
        const fs::path rel = fs::relative(e.path(), m_root);
        if (!wanted.contains(rel) && rel != "proc" && rel != "sys") stale.push_back(e.path());
    }
    std::error_code ec;
    for (const auto& p : stale)
        fs::remove_all(p, ec);
}

SourceConfig CSnapshotRoot::Config() const {
    SourceConfig config;
    config.procRoot = (m_root / "proc").string();
    config.sysRoot = (m_root / "sys").string();
    auto clock = m_clock;
    config.monotonicNs = [clock] { return clock->load(); };
    config.clockTicksPerSecond = 100;
    config.pageSize = 4096;
    auto usage = fsUsage;
    config.statFs = [usage](const std::string& mountPoint, FsUsage& out) {
        const auto it = usage.find(mountPoint);
        if (it == usage.end()) return false;
        out = it->second;
        return true;
    };
    return config;
}

CSnapshotQuery::CSnapshotQuery(const CSnapshotRoot& root) {
    EXPECT_EQ(OpenQueryWithSources(root.Config(), 7, &m_query), ERROR_SUCCESS);
}

CSnapshotQuery::~CSnapshotQuery() {
    if (m_query) {
        EXPECT_EQ(PdhCloseQuery(m_query), ERROR_SUCCESS);
    }
}

PDH_STATUS CSnapshotQuery::TryAdd(const std::u16string& path, PDH_HCOUNTER* counter) {
    return PdhAddCounterW(m_query, path.c_str(), 0, counter);
}

PDH_HCOUNTER CSnapshotQuery::Add(const std::u16string& path) {
    PDH_HCOUNTER counter = nullptr;
    const PDH_STATUS st = TryAdd(path, &counter);
    EXPECT_EQ(st, ERROR_SUCCESS) << "adding " << std::string(path.begin(), path.end());
    return counter;
}

void CSnapshotQuery::Collect() {
    EXPECT_EQ(PdhCollectQueryData(m_query), ERROR_SUCCESS);
}

Reading CSnapshotQuery::Read(PDH_HCOUNTER counter, DWORD format) {
    PDH_FMT_COUNTERVALUE v{};
    Reading r;
    r.result = PdhGetFormattedCounterValue(counter, format, nullptr, &v);
    r.status = v.CStatus;
    r.value = (format & PDH_FMT_DOUBLE)  ? v.doubleValue
              : (format & PDH_FMT_LARGE) ? static_cast<double>(v.largeValue)
                                         : static_cast<double>(v.longValue);
    return r;
}

} // namespace zyn::pdh::test
