// ChangeWatcher: the hives log every change in their database, so any process can tell what changed
// since it registered. A waiter sleeps on inotify events of the hive folders (a write by anyone
// touches the WAL file there) and an eventfd for Cancel, and looks at the change log when woken.
// The WAL index is updated through shared memory, which inotify does not see, so a wake-up that finds
// nothing looks again shortly after, and a slow poll backs everything up.

#include "registry.h"

#include "hive_p.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace zyn::registry {

namespace {

constexpr int kBackstopPollMs = 200;
constexpr int kRecheckMs = 15;
constexpr std::size_t kMaxFiredKept = 16;

void Drain(int fd) {
    char buf[4096];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

} // namespace

ChangeWatcher::ChangeWatcher() {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
}

ChangeWatcher::~ChangeWatcher() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
    if (m_inotifyFd >= 0) ::close(m_inotifyFd);
}

void ChangeWatcher::int_WatchFolder(const std::string& folder) {
    if (m_inotifyFd < 0) return;
    // Adding the same folder again returns the same watch; a failure leaves the poll as the backstop.
    int wd = ::inotify_add_watch(m_inotifyFd, folder.c_str(),
                                 IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO);
    if (wd >= 0 && std::find(m_watches.begin(), m_watches.end(), wd) == m_watches.end())
        m_watches.push_back(wd);
}

void ChangeWatcher::AddRegistration(std::shared_ptr<Registration> r) {
    std::lock_guard lock(m_mutex);
    int_WatchFolder(r->hive->Folder());
    // Registering the same key again after it fired resumes right after the change that fired it, so
    // a change made between the wake-up and the new registration is not lost.
    auto same = std::find_if(m_fired.begin(), m_fired.end(), [&](const auto& f) {
        return f->hive == r->hive && f->path == r->path && f->subtree == r->subtree && f->filter == r->filter;
    });
    if (same != m_fired.end()) {
        r->seen = std::min(r->seen, (*same)->seen);
        m_fired.erase(same);
    }
    m_registrations.push_back(std::move(r));
}

bool ChangeWatcher::int_CheckRegistrations() {
    std::lock_guard lock(m_mutex);
    bool fired = false;
    std::vector<ChangeEntry> changes;
    for (auto it = m_registrations.begin(); it != m_registrations.end();) {
        auto& reg = **it;
        bool lost = false;
        std::int64_t last = reg.seen;
        if (reg.hive->ChangesSince(reg.seen, &changes, &lost, &last) != ERROR_SUCCESS) {
            ++it; // an unreadable hive may become readable; keep listening
            continue;
        }
        auto hit = std::find_if(changes.begin(), changes.end(),
                                [&](const ChangeEntry& c) { return reg.Matches(c); });
        if (!lost && hit == changes.end()) {
            reg.seen = last;
            ++it;
            continue;
        }
        // A registration fires once, as on Windows; it is kept aside to resume from (see above).
        reg.seen = lost ? last : hit->seq;
        m_fired.push_back(std::move(*it));
        if (m_fired.size() > kMaxFiredKept) m_fired.erase(m_fired.begin());
        it = m_registrations.erase(it);
        fired = true;
    }
    return fired;
}

WaitResult ChangeWatcher::Wait(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int nextPoll = kBackstopPollMs;
    for (;;) {
        if (m_cancelled) return WaitResult::Cancelled;
        if (m_signalled || int_CheckRegistrations()) {
            m_signalled = true;
            return m_cancelled ? WaitResult::Cancelled : WaitResult::Changed;
        }
        int waitMs = nextPoll;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return WaitResult::TimedOut;
            waitMs = static_cast<int>(std::min<long long>(left, waitMs));
        }
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_inotifyFd, POLLIN, 0}};
        int n = ::poll(fds, 2, waitMs);
        nextPoll = kBackstopPollMs;
        // The eventfd stays readable while cancelled, so every waiter wakes; only ResetCancel drains it.
        if (n > 0 && (fds[1].revents & POLLIN)) {
            Drain(m_inotifyFd);
            nextPoll = kRecheckMs;
        }
    }
}

bool ChangeWatcher::IsSignalled() {
    if (!m_signalled && int_CheckRegistrations()) m_signalled = true;
    return m_signalled;
}

void ChangeWatcher::Reset() {
    m_signalled = false;
}

void ChangeWatcher::Cancel() {
    m_cancelled = true;
    if (m_wakeFd >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(m_wakeFd, &one, sizeof one);
    }
}

void ChangeWatcher::ResetCancel() {
    m_cancelled = false;
    if (m_wakeFd >= 0) Drain(m_wakeFd);
}

} // namespace zyn::registry
