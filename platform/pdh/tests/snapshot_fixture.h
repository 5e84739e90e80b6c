#pragma once
// A temporary copy of a recorded /proc + /sys snapshot that tests move on to a later snapshot in
// place (same inodes, as the kernel's files stay the same files), with a hand-driven clock.

#include "pdh/pdh.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace zyn::pdh::test {

struct Reading {
    PDH_STATUS result = 0;
    DWORD status = 0;
    double value = 0;
};

class CSnapshotRoot {
public:
    CSnapshotRoot();
    ~CSnapshotRoot();
    CSnapshotRoot(const CSnapshotRoot&) = delete;
    CSnapshotRoot& operator=(const CSnapshotRoot&) = delete;

    // Makes the tree equal to the recorded snapshot `name` (tests/data/<name>).
    void Apply(const std::string& name);
    // Writes (in place) or removes one file below the root; relative paths like "proc/stat".
    void Write(const std::string& relative, const std::string& text);
    void Remove(const std::string& relative);

    void AdvanceSeconds(double seconds) { m_clock->fetch_add(static_cast<std::int64_t>(seconds * 1e9)); }
    [[nodiscard]] SourceConfig Config() const;
    [[nodiscard]] const std::filesystem::path& Root() const { return m_root; }

    // Free-space answers for the LogicalDisk tests, by mount point.
    std::map<std::string, FsUsage> fsUsage;

private:
    std::filesystem::path m_root;
    std::shared_ptr<std::atomic<std::int64_t>> m_clock =
        std::make_shared<std::atomic<std::int64_t>>(1'000'000'000);
};

// A query on a snapshot root with helpers to add counters and read them.
class CSnapshotQuery {
public:
    explicit CSnapshotQuery(const CSnapshotRoot& root);
    ~CSnapshotQuery();
    CSnapshotQuery(const CSnapshotQuery&) = delete;
    CSnapshotQuery& operator=(const CSnapshotQuery&) = delete;

    PDH_HCOUNTER Add(const std::u16string& path); // fails the test when not added
    PDH_STATUS TryAdd(const std::u16string& path, PDH_HCOUNTER* counter);
    void Collect();
    static Reading Read(PDH_HCOUNTER counter, DWORD format = PDH_FMT_DOUBLE | PDH_FMT_NOSCALE);
    [[nodiscard]] PDH_HQUERY Handle() const { return m_query; }

private:
    PDH_HQUERY m_query = nullptr;
};

std::filesystem::path DataDir();

} // namespace zyn::pdh::test
