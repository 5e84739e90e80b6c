#include "source_cache.h"

#include "parse.h"

#include <cerrno>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace zyn::pdh::detail {

namespace {
// The smallest page less the longest record of a ShortRecords file.
constexpr std::size_t kShortRecordsEnd = 4096 - 1024;
} // namespace

CKeptFile::~CKeptFile() {
    Close();
}

bool CKeptFile::Open() {
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

void CKeptFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

CKeptFile::Result CKeptFile::ReadOnce(std::string& out, FileShape shape) {
    out.clear();
    if (m_usePlainRead && ::lseek(m_fd, 0, SEEK_SET) < 0) return Result::Retry;
    std::size_t used = 0;
    if (out.capacity() < 4096) out.reserve(4096);
    for (;;) {
        if (out.capacity() - used < 1024) out.reserve(out.capacity() * 2);
        out.resize(out.capacity());
        const std::size_t asked = out.size() - used;
        const ssize_t n = m_usePlainRead ? ::read(m_fd, out.data() + used, asked)
                                         : ::pread(m_fd, out.data() + used, asked, static_cast<off_t>(used));
        if (n == 0) break;
        if (n < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            out.clear();
            if (!m_usePlainRead && (error == ESPIPE || error == EINVAL)) {
                m_usePlainRead = true;
                return Result::ReadPlain;
            }
            return error == EINVAL || error == EACCES ? Result::Refused : Result::Retry;
        }
        used += static_cast<std::size_t>(n);
        const bool shortRead = static_cast<std::size_t>(n) < asked;
        if (shortRead && (shape == FileShape::OnePiece || (shape == FileShape::ShortRecords &&
                                                           static_cast<std::size_t>(n) <= kShortRecordsEnd)))
            break;
    }
    out.resize(used);
    return Result::Ok;
}

bool CKeptFile::Read(std::string& out, FileShape shape) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool fresh = m_fd < 0;
        if (fresh && !Open()) return false;
        Result result = ReadOnce(out, shape);
        if (result == Result::ReadPlain) result = ReadOnce(out, shape);
        if (result == Result::Ok) return true;
        if (result == Result::Refused) return false;
        Close();
        // Only a descriptor kept from an earlier collection can be stale; a fresh one failing
        // again would say nothing new.
        if (fresh) return false;
    }
    return false;
}

CKeptDirectory::~CKeptDirectory() {
    Close();
}

void CKeptDirectory::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CKeptDirectory::Open() {
    if (m_fd >= 0) return true;
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) return false;
    struct statfs fs {};
    m_isProcRoot = ::fstatfs(m_fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
    return true;
}

bool CKeptDirectory::LinkCount(std::uint64_t& links) {
    struct stat st {};
    if (!Open() || ::fstat(m_fd, &st) != 0) return false;
    links = st.st_nlink;
    return true;
}

bool CKeptDirectory::ListOnce(std::vector<std::uint64_t>& out, std::size_t& otherDirectories) {
    out.clear();
    otherDirectories = 0;
    if (::lseek(m_fd, 0, SEEK_SET) < 0) return false;
    if (m_buffer.empty()) m_buffer.resize(std::size_t{64} * 1024);
    for (;;) {
        const ssize_t n = ::getdents64(m_fd, m_buffer.data(), m_buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(m_buffer.data() + at);
            const char* name = entry->d_name;
            std::uint64_t number = 0;
            if (name[0] >= '1' && name[0] <= '9' && ParseU64(name, number))
                out.push_back(number);
            else if (entry->d_type == DT_DIR && std::string_view(name) != "." &&
                     std::string_view(name) != "..")
                ++otherDirectories;
            at += entry->d_reclen;
        }
    }
}

bool CKeptDirectory::ListNumbered(std::vector<std::uint64_t>& out, std::size_t& otherDirectories) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Open()) break;
        if (ListOnce(out, otherDirectories)) return true;
        Close();
    }
    out.clear();
    return false;
}

void CSourceCache::BeginCollection() {
    // Drop what neither the previous full collection nor a partial one since used, then start a
    // new generation.
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.generation < m_fullGeneration)
            it = m_entries.erase(it);
        else
            ++it;
    }
    m_fullGeneration = ++m_generation;
}

void CSourceCache::BeginPartialCollection() {
    ++m_generation;
}

const std::string* CSourceCache::Get(const std::string& path, FileShape shape) {
    auto [it, inserted] = m_entries.try_emplace(path);
    Entry& e = it->second;
    if (inserted) e.file = std::make_unique<CKeptFile>(path);
    if (e.generation != m_generation) {
        e.generation = m_generation;
        e.ok = e.file->Read(e.data, shape);
    }
    return e.ok ? &e.data : nullptr;
}

void CSourceCache::UseProcRoot(const std::string& procRoot) {
    if (m_procDir && m_procDirPath == procRoot) return;
    m_procDir = std::make_unique<CKeptDirectory>(procRoot);
    m_procDirPath = procRoot;
    m_pidsGeneration = 0;
    m_countByLinks = false;
    m_agreeingListings = 0;
}

const std::vector<std::uint64_t>* CSourceCache::ProcessIds(const std::string& procRoot) {
    UseProcRoot(procRoot);
    if (m_pidsGeneration != m_generation || m_generation == 0) {
        m_pidsGeneration = m_generation;
        m_pidsOk = m_procDir->ListNumbered(m_pids, m_otherDirectories);
    }
    return m_pidsOk ? &m_pids : nullptr;
}

double CSourceCache::ProcessCount(const std::string& procRoot) {
    UseProcRoot(procRoot);
    const bool listedAlready = m_generation != 0 && m_pidsGeneration == m_generation;
    if (listedAlready) return m_pidsOk ? static_cast<double>(m_pids.size()) : NAN;
    std::uint64_t links = 0;
    if (m_countByLinks && m_sinceCheck < kRecheckAfter && m_procDir->LinkCount(links) &&
        links >= m_linkBase) {
        ++m_sinceCheck;
        return static_cast<double>(links - m_linkBase);
    }
    // A listing, with the link count read on both sides of it: when the two reads differ, a
    // process started or ended meanwhile and the listing says nothing about the links.
    std::uint64_t before = 0, after = 0;
    const bool linked = m_procDir->LinkCount(before) && m_procDir->IsProcRoot();
    const std::vector<std::uint64_t>* pids = ProcessIds(procRoot);
    if (!pids) return NAN;
    if (linked && m_procDir->LinkCount(after) && before == after) {
        m_linkBase = 2 + m_otherDirectories;
        const bool agree = after == m_linkBase + pids->size();
        m_agreeingListings = agree ? m_agreeingListings + 1 : 0;
        m_countByLinks = m_agreeingListings >= 2;
        m_sinceCheck = 0;
    }
    return static_cast<double>(pids->size());
}

} // namespace zyn::pdh::detail
