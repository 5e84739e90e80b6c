#pragma once
// Files as careful desktop programs treat them: one safe saver that every writer of the system
// uses (chart files, CSV, images, and what comes later), one reader that takes regular files only,
// and the test that two names are one file. Paths are bytes, passed through as the caller got
// them: a name that is not UTF-8 names the same file. Nothing here throws or prints; failures
// come back with the reason in words.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Replaces what a path names without ever destroying it on the way:
// - symbolic links are followed (chains of them too) to the file they name; the links stay;
// - a regular file is replaced through a temporary file in its own folder that is written, flushed
//   to disk and renamed over it, so that a failure at any point (a full disk, a killed process)
//   leaves the previous file whole. The new file keeps the previous one's mode and, where the
//   process may set them, its owner and group. A file that has other names (hard links) is split
//   from them, which Notes() says: they keep the previous content;
// - anything else (a device, a FIFO, standard output reached through /proc/self/fd) is written in
//   place, without a temporary file. It is opened without blocking: a FIFO that no process reads
//   fails at once instead of waiting for one;
// - temporary files that a killed save of the same target left behind are removed.
// The process umask is never changed: a new file gets the mode an ordinary create gives it.
class CZynSafeSave {
public:
    CZynSafeSave() = default;
    // A save that was not committed is abandoned: its temporary file goes, the target stays.
    ~CZynSafeSave();
    CZynSafeSave(const CZynSafeSave&) = delete;
    CZynSafeSave& operator=(const CZynSafeSave&) = delete;

    // Prepares to replace `path`. False (with Error) when it cannot be written at all: a folder,
    // a FIFO without a reader, a missing or write-protected folder.
    [[nodiscard]] bool Open(const std::string& path);
    // Every byte or false: the data is written whole, or the save fails.
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    // Flushes and puts the new content in place. False when any step failed; the previous
    // content then stays (except for a device or FIFO written in place, which has no previous one).
    [[nodiscard]] bool Commit();
    void Abandon();

    // Why the last step failed, in words ("No space left on device"); errno's number beside it.
    const std::string& Error() const { return m_error; }
    int ErrorNumber() const { return m_errno; }
    // What the user should hear about a save that worked.
    const std::vector<std::string>& Notes() const { return m_notes; }
    // True when the target is written in place (not a regular file).
    bool InPlace() const { return m_inPlace; }

private:
    bool int_Fail(int error, std::string text = {});
    bool int_OpenInPlace(const std::string& target, bool truncate);
    bool int_OpenTemporary(const std::string& target);
    void int_RemoveLeftovers(const std::string& prefix);
    void int_Close();

    int m_fd = -1;
    int m_dirFd = -1;
    bool m_inPlace = false;
    bool m_failed = false;
    std::string m_tempName;   // within the target's folder
    std::string m_targetName; // within the target's folder
    bool m_keepMode = false;  // the target existed: its mode and owner pass to the new file
    unsigned m_mode = 0;
    unsigned m_uid = 0, m_gid = 0;
    std::uint64_t m_links = 1;
    std::string m_error;
    int m_errno = 0;
    std::vector<std::string> m_notes;
};

// The temporary files of the saves of a target are named from this prefix (and six random
// characters): short, so that a target name of any length the folder takes still leaves room.
std::string ZynSaveTempPrefix(const std::string& targetName);

// `bytes` as the whole content of `path`. False with the reason in `error`; `notes` gets what the
// user should hear about a save that worked.
[[nodiscard]] bool ZynSaveFile(const std::string& path, std::span<const std::uint8_t> bytes,
                               std::string* error = nullptr, std::vector<std::string>* notes = nullptr);

// Reads a regular file whole. Anything else (a FIFO, a device, a folder) is refused without being
// opened for reading, so nothing blocks; so is a file larger than `limit`. False with the reason.
[[nodiscard]] bool ZynReadRegularFile(const std::string& path, std::vector<std::uint8_t>& out,
                                      std::uint64_t limit, std::string* error = nullptr);

// True when both names, links followed, lead to one existing file (the same device and inode).
bool ZynSameFile(const std::string& a, const std::string& b);
