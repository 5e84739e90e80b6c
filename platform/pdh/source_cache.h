#pragma once
// Source files read with kept descriptors: each collection reads every distinct file once, however
// many counters use it, and keeps the descriptor for the next collection. The process entries of
// the proc root are listed the same way: once per collection, for every object that needs them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zyn::pdh::detail {

// How the kernel hands a file out. Most /proc and /sys files (stat, meminfo, loadavg, uptime, the
// pressure files, /proc/<pid>/stat, status and io, sysfs and cgroup attributes) are made whole when
// a read starts at offset 0, so a read that returns less than it asked for has reached the end and
// a further read would only return 0. Files made record by record (vmstat, diskstats, net/dev,
// swaps, mountinfo) may stop short at a record boundary before their end, so they are read until a
// read returns nothing. But the kernel stops short only when its buffer (a page at least) has no
// room for the next record, so for files whose records are all shorter than a kilobyte (vmstat,
// diskstats, net/dev: a name and a few numbers a line) a short read of at most 3 KiB is the end
// too. Regular files behave as OnePiece.
enum class FileShape { Records, ShortRecords, OnePiece };

// One file kept open between reads. Falls back to lseek and read on the same descriptor when it
// cannot pread (ESPIPE/EINVAL), and reopens a kept descriptor once when a read fails (a /proc/<pid>
// file whose process ended, its pid perhaps reused). A file that refuses to be read (EINVAL: a
// network link that has no speed now; EACCES: another user's /proc/<pid>/io) keeps its
// descriptor, so that asking again next time costs one read, not an open and a close.
class CKeptFile {
public:
    explicit CKeptFile(std::string path) : m_path(std::move(path)) {}
    ~CKeptFile();
    CKeptFile(const CKeptFile&) = delete;
    CKeptFile& operator=(const CKeptFile&) = delete;

    // The whole file into `out`; false when it cannot be opened or read.
    [[nodiscard]] bool Read(std::string& out, FileShape shape);

private:
    bool Open();
    void Close();
    enum class Result { Ok, ReadPlain, Retry, Refused };
    Result ReadOnce(std::string& out, FileShape shape);

    std::string m_path;
    int m_fd = -1;
    bool m_usePlainRead = false;
};

// A directory listed through a descriptor kept open between listings (rewound each time).
class CKeptDirectory {
public:
    explicit CKeptDirectory(std::string path) : m_path(std::move(path)) {}
    ~CKeptDirectory();
    CKeptDirectory(const CKeptDirectory&) = delete;
    CKeptDirectory& operator=(const CKeptDirectory&) = delete;

    // The entries named by a number without leading zeros (the processes of a proc root), in
    // directory order, and how many other subdirectories there are (`.` and `..` left out); false
    // when the directory cannot be read.
    [[nodiscard]] bool ListNumbered(std::vector<std::uint64_t>& out, std::size_t& otherDirectories);
    // The directory's link count; false when it cannot be read.
    [[nodiscard]] bool LinkCount(std::uint64_t& links);
    // Whether the directory is the root of a proc file system (known once it has been opened).
    [[nodiscard]] bool IsProcRoot() const { return m_isProcRoot; }

private:
    bool Open();
    bool ListOnce(std::vector<std::uint64_t>& out, std::size_t& otherDirectories);
    void Close();

    std::string m_path;
    int m_fd = -1;
    bool m_isProcRoot = false;
    std::vector<char> m_buffer;
};

// The files of one query, read at most once per collection generation. Files unused during a
// generation are closed when the next one starts (ended processes, vanished devices).
class CSourceCache {
public:
    // Starts a collection: later Get calls read their file again.
    void BeginCollection();
    // Starts a collection of part of the query: files are read again, but none is closed for
    // having been left out, since the next full collection still needs them.
    void BeginPartialCollection();
    // The file's content for this generation, or null when it cannot be read. The pointer stays
    // valid until the next BeginCollection.
    [[nodiscard]] const std::string* Get(const std::string& path, FileShape shape = FileShape::Records);
    // The process ids of the proc root for this generation, or null when it cannot be listed. The
    // pointer stays valid until the next collection begins.
    [[nodiscard]] const std::vector<std::uint64_t>* ProcessIds(const std::string& procRoot);
    // How many processes the proc root holds in this generation; NaN when it cannot be read.
    //
    // The kernel gives the root of procfs one link per process on top of the links of its own
    // subdirectories, so where a listing has shown that the link count less 2 and the other
    // subdirectories equals the number of process entries, one fstat stands in for the listing.
    // Every kRecheckAfter collections a listing checks that they still agree: in a pid namespace
    // or under hidepid they differ, and then each collection lists, as any non-procfs root does.
    [[nodiscard]] double ProcessCount(const std::string& procRoot);
    static constexpr int kRecheckAfter = 60;

private:
    void UseProcRoot(const std::string& procRoot);

    struct Entry {
        std::unique_ptr<CKeptFile> file;
        std::string data;
        std::uint64_t generation = 0;
        bool ok = false;
    };
    std::unordered_map<std::string, Entry> m_entries;
    std::unique_ptr<CKeptDirectory> m_procDir;
    std::string m_procDirPath;
    std::vector<std::uint64_t> m_pids;
    std::uint64_t m_pidsGeneration = 0;
    bool m_pidsOk = false;
    std::size_t m_otherDirectories = 0;
    // Counting by links: whether the last listings agreed with it, and since when.
    bool m_countByLinks = false;
    int m_agreeingListings = 0;
    int m_sinceCheck = 0;
    std::uint64_t m_linkBase = 0;
    std::uint64_t m_generation = 0;
    std::uint64_t m_fullGeneration = 0; // the generation the last full collection began
};

} // namespace zyn::pdh::detail
