#include "source_cache.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zyn::pdh::detail {

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

CKeptFile::Result CKeptFile::ReadOnce(std::string& out) {
    out.clear();
    if (m_usePlainRead && ::lseek(m_fd, 0, SEEK_SET) < 0) return Result::Retry;
    std::size_t used = 0;
    if (out.capacity() < 4096) out.reserve(4096);
    for (;;) {
        if (out.capacity() - used < 1024) out.reserve(out.capacity() * 2);
        out.resize(out.capacity());
        const ssize_t n = m_usePlainRead
                              ? ::read(m_fd, out.data() + used, out.size() - used)
                              : ::pread(m_fd, out.data() + used, out.size() - used, static_cast<off_t>(used));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            if (!m_usePlainRead && (errno == ESPIPE || errno == EINVAL)) {
                m_usePlainRead = true;
                return Result::Retry;
            }
            return Result::Retry;
        }
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return Result::Ok;
}

bool CKeptFile::Read(std::string& out) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_fd < 0 && !Open()) return false;
        if (ReadOnce(out) == Result::Ok) return true;
        Close();
    }
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

const std::string* CSourceCache::Get(const std::string& path) {
    auto [it, inserted] = m_entries.try_emplace(path);
    Entry& e = it->second;
    if (inserted) e.file = std::make_unique<CKeptFile>(path);
    if (e.generation != m_generation) {
        e.generation = m_generation;
        e.ok = e.file->Read(e.data);
    }
    return e.ok ? &e.data : nullptr;
}

} // namespace zyn::pdh::detail
