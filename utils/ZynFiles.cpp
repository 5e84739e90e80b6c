#include "ZynFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace {

// Links followed before a path counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;
// The part of the target's name the temporary name repeats, for a person who finds one.
constexpr std::size_t kNameShown = 24;
constexpr int kTempAttempts = 100;

std::string Reason(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Files of /proc that are links to what a process holds open (its standard output, a pipe):
// reopening them reaches that object, while their link text may name nothing (pipe:[1234]).
bool OnProcFileSystem(const std::string& path) {
    struct statfs fs {};
    return ::statfs(FolderOf(path).c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

enum class TargetKind { Missing, Regular, Other, Descriptor };

// Follows symbolic links to the file they name. A missing file at the end is a new file there.
bool ResolveTarget(const std::string& path, std::string& target, TargetKind& kind, struct stat& st,
                   int& error) {
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                error = errno;
                return false;
            }
            target = current;
            kind = TargetKind::Missing;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            kind = S_ISREG(st.st_mode) ? TargetKind::Regular : TargetKind::Other;
            return true;
        }
        if (OnProcFileSystem(current)) {
            target = current;
            kind = TargetKind::Descriptor;
            if (::stat(current.c_str(), &st) != 0) {
                error = errno;
                return false;
            }
            return true;
        }
        std::string link(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0) {
            error = errno;
            return false;
        }
        link.resize(std::size_t(n));
        current = link.front() == '/' ? link : (FolderOf(current) + '/').append(link);
    }
    error = ELOOP;
    return false;
}

std::uint64_t Fnv1a(const std::string& s) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string RandomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 engine{std::random_device{}() ^ std::uint64_t(::getpid()) << 32};
    std::string s(6, 'x');
    for (char& c : s)
        c = kChars[engine() % (sizeof kChars - 1)];
    return s;
}

bool WriteAll(int fd, const void* data, std::size_t size, int& error) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// A reader that went away must fail the write, not end the process: SIGPIPE is held back on this
// thread for the write, and one it raised is taken off again.
class HoldSigpipe {
public:
    HoldSigpipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~HoldSigpipe() {
        if (!m_wasPending) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec none{0, 0};
            while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    HoldSigpipe(const HoldSigpipe&) = delete;
    HoldSigpipe& operator=(const HoldSigpipe&) = delete;

private:
    sigset_t m_old{};
    bool m_wasPending = false;
};

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a file";
}

} // namespace

std::string ZynSaveTempPrefix(const std::string& targetName) {
    std::size_t shown = std::min(targetName.size(), kNameShown);
    // Cut between characters, not inside one.
    while (shown > 0 && shown < targetName.size() &&
           (static_cast<unsigned char>(targetName[shown]) & 0xC0) == 0x80)
        --shown;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(targetName)));
    return ".~" + targetName.substr(0, shown) + "." + hash + ".";
}

CZynSafeSave::~CZynSafeSave() {
    Abandon();
}

bool CZynSafeSave::int_Fail(int error, std::string text) {
    m_failed = true;
    m_errno = error;
    m_error = text.empty() ? Reason(error) : std::move(text);
    return false;
}

void CZynSafeSave::int_Close() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_dirFd >= 0) ::close(m_dirFd);
    m_fd = m_dirFd = -1;
    m_tempName.clear();
}

void CZynSafeSave::Abandon() {
    if (m_dirFd >= 0 && !m_tempName.empty()) ::unlinkat(m_dirFd, m_tempName.c_str(), 0);
    int_Close();
}

bool CZynSafeSave::Open(const std::string& path) {
    Abandon();
    m_failed = m_inPlace = m_keepMode = false;
    m_links = 1;
    m_error.clear();
    m_errno = 0;
    m_notes.clear();
    if (path.empty()) return int_Fail(ENOENT);

    std::string target;
    TargetKind kind{};
    struct stat st {};
    int error = 0;
    if (!ResolveTarget(path, target, kind, st, error)) return int_Fail(error);
    switch (kind) {
    case TargetKind::Descriptor:
        // Whatever the descriptor holds is written as it is; a file there is emptied first.
        if (S_ISDIR(st.st_mode)) return int_Fail(EISDIR);
        return int_OpenInPlace(target, S_ISREG(st.st_mode));
    case TargetKind::Other:
        if (S_ISDIR(st.st_mode)) return int_Fail(EISDIR);
        return int_OpenInPlace(target, false);
    case TargetKind::Regular:
        m_keepMode = true;
        m_mode = st.st_mode & 07777;
        m_uid = st.st_uid;
        m_gid = st.st_gid;
        m_links = st.st_nlink;
        return int_OpenTemporary(target);
    case TargetKind::Missing:
        return int_OpenTemporary(target);
    }
    return int_Fail(EINVAL);
}

bool CZynSafeSave::int_OpenInPlace(const std::string& target, bool truncate) {
    m_inPlace = true;
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    m_fd = ::open(target.c_str(), flags);
    if (m_fd < 0) {
        const int error = errno;
        struct stat st {};
        if (error == ENXIO && ::stat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
            return int_Fail(error, "no process reads from the FIFO");
        return int_Fail(error);
    }
    // Opened without waiting; the writes may wait for a slow reader.
    const int now = ::fcntl(m_fd, F_GETFL);
    if (now >= 0) ::fcntl(m_fd, F_SETFL, now & ~O_NONBLOCK);
    return true;
}

void CZynSafeSave::int_RemoveLeftovers(const std::string& prefix) {
    const int scan = ::openat(m_dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (scan < 0) return;
    DIR* dir = ::fdopendir(scan);
    if (!dir) {
        ::close(scan);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        // Only a file of this user that no save holds: a live save keeps its temporary file locked.
        const int fd = ::openat(m_dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(m_dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlinkat(m_dirFd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

bool CZynSafeSave::int_OpenTemporary(const std::string& target) {
    const std::string folder = FolderOf(target);
    m_targetName = NameOf(target);
    m_dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0) return int_Fail(errno);
    const std::string prefix = ZynSaveTempPrefix(m_targetName);
    int_RemoveLeftovers(prefix);
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        const std::string name = prefix + RandomSuffix();
        const int fd =
            ::openat(m_dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return int_Fail(errno);
        }
        // Locked for as long as it lives, so that another save's clean-up leaves it alone; a lock
        // taken after a clean-up already removed the name is detected and the name made again.
        struct stat held {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 ||
            ::fstatat(m_dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            named.st_ino != held.st_ino) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_tempName = name;
        return true;
    }
    return int_Fail(EEXIST);
}

bool CZynSafeSave::Write(const void* data, std::size_t size) {
    if (m_failed || m_fd < 0) return false;
    int error = 0;
    bool ok;
    if (m_inPlace) {
        HoldSigpipe hold;
        ok = WriteAll(m_fd, data, size, error);
    } else {
        ok = WriteAll(m_fd, data, size, error);
    }
    return ok || int_Fail(error);
}

bool CZynSafeSave::Commit() {
    if (m_failed || m_fd < 0) {
        Abandon();
        return false;
    }
    if (m_inPlace) {
        // Devices and FIFOs have nothing to flush; a file behind a descriptor does.
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && ::fsync(m_fd) != 0 && errno != EINVAL) {
            const int error = errno;
            int_Close();
            return int_Fail(error);
        }
        const int rc = ::close(m_fd);
        const int error = errno;
        m_fd = -1;
        int_Close();
        return rc == 0 || error == EINTR || int_Fail(error);
    }
    // Everything on the disk before the name moves: a full disk or a failing device shows here.
    if (::fsync(m_fd) != 0) {
        const int error = errno;
        Abandon();
        return int_Fail(error);
    }
    if (m_keepMode) {
        unsigned mode = m_mode;
        if ((m_uid != ::geteuid() || m_gid != ::getegid()) && ::fchown(m_fd, m_uid, m_gid) != 0) {
            // The group alone may still be ours to keep; set-id bits never pass to another owner.
            (void)::fchown(m_fd, uid_t(-1), m_gid);
            mode &= ~unsigned(S_ISUID | S_ISGID);
        }
        if (::fchmod(m_fd, mode) != 0) {
            const int error = errno;
            Abandon();
            return int_Fail(error);
        }
    }
    if (::renameat(m_dirFd, m_tempName.c_str(), m_dirFd, m_targetName.c_str()) != 0) {
        const int error = errno;
        Abandon();
        return int_Fail(error);
    }
    m_tempName.clear();
    // The rename itself reaches the disk with the folder.
    (void)::fsync(m_dirFd);
    if (m_links > 1)
        m_notes.push_back("it had " + std::to_string(m_links - 1) +
                          (m_links == 2 ? " other name (a hard link), which keeps"
                                        : " other names (hard links), which keep") +
                          " the previous content");
    int_Close();
    return true;
}

bool ZynSaveFile(const std::string& path, std::span<const std::uint8_t> bytes, std::string* error,
                 std::vector<std::string>* notes) {
    CZynSafeSave save;
    const bool ok = save.Open(path) && save.Write(bytes.data(), bytes.size()) && save.Commit();
    if (!ok && error) *error = save.Error();
    if (ok && notes) *notes = save.Notes();
    return ok;
}

bool ZynReadRegularFile(const std::string& path, std::vector<std::uint8_t>& out, std::uint64_t limit,
                        std::string* error) {
    out.clear();
    auto fail = [&](std::string text) {
        if (error) *error = std::move(text);
        out.clear();
        return false;
    };
    struct stat st {};
    // Looked at before it is opened: opening a FIFO or a device may wait or act.
    if (::stat(path.c_str(), &st) != 0) return fail(Reason(errno));
    if (!S_ISREG(st.st_mode)) return fail(std::string("not a regular file (") + KindOf(st.st_mode) + ")");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(Reason(errno));
    // The name may have been replaced in between.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(std::string("not a regular file (") + KindOf(st.st_mode) + ")");
    }
    if (std::uint64_t(st.st_size) > limit) {
        ::close(fd);
        return fail("larger than " + std::to_string(limit) + " bytes");
    }
    out.resize(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return fail(Reason(e));
        }
        if (n == 0) break;
        got += std::size_t(n);
    }
    ::close(fd);
    // A file that shrank while it was read is taken as it was read.
    out.resize(got);
    return true;
}

bool ZynSameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
