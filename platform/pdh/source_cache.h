#pragma once
// Source files read with kept descriptors: each collection reads every distinct file once (pread
// from offset 0 until it returns 0), however many counters use it, and keeps the descriptor for
// the next collection.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zyn::pdh::detail {

// One file kept open between reads. Reopens when the descriptor cannot pread (ESPIPE/EINVAL) or a
// read fails (a /proc/<pid> file whose pid was reused).
class CKeptFile {
public:
    explicit CKeptFile(std::string path) : m_path(std::move(path)) {}
    ~CKeptFile();
    CKeptFile(const CKeptFile&) = delete;
    CKeptFile& operator=(const CKeptFile&) = delete;

    // The whole file into `out`; false when it cannot be opened or read.
    [[nodiscard]] bool Read(std::string& out);

private:
    bool Open();
    void Close();
    enum class Result { Ok, Retry, Failed };
    Result ReadOnce(std::string& out);

    std::string m_path;
    int m_fd = -1;
    bool m_usePlainRead = false;
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
    [[nodiscard]] const std::string* Get(const std::string& path);

private:
    struct Entry {
        std::unique_ptr<CKeptFile> file;
        std::string data;
        std::uint64_t generation = 0;
        bool ok = false;
    };
    std::unordered_map<std::string, Entry> m_entries;
    std::uint64_t m_generation = 0;
    std::uint64_t m_fullGeneration = 0; // the generation the last full collection began
};

} // namespace zyn::pdh::detail
