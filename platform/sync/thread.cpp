#include "thread.h"

#include "dispatcher_p.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace zyn::sync::detail {
namespace {

class Thread final : public WaitableObject {
public:
    ~Thread() override {
        // The last reference goes either in the thread itself (its handles were closed while it
        // ran) or elsewhere after the thread has dropped its own, when only its exit remains.
        if (!started) return;
        if (pthread_equal(pthread_self(), id))
            pthread_detach(id);
        else
            pthread_join(id, nullptr);
    }
    bool IsSignalled() const override { return done; }

    pthread_t id{};
    bool started = false;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;
    DWORD kernelId = 0;
    int priority = THREAD_PRIORITY_NORMAL;
};

struct StartBlock {
    std::shared_ptr<Thread> thread;
    LPTHREAD_START_ROUTINE routine;
    void* parameter;
};

void* Trampoline(void* raw) {
    auto* block = static_cast<StartBlock*>(raw);
    auto& d = Dispatcher::Instance();
    {
        std::unique_lock lock(d.mutex);
        block->thread->kernelId = DWORD(gettid());
        d.changed.notify_all();
        d.changed.wait(lock, [&] { return block->thread->suspendCount == 0; });
    }
    DWORD code = block->routine(block->parameter);
    std::shared_ptr<Thread> self = std::move(block->thread);
    delete block;
    {
        std::lock_guard lock(d.mutex);
        self->exitCode = code;
        self->done = true;
    }
    d.changed.notify_all();
    return nullptr;
}

HANDLE Create(std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
              DWORD* threadId) {
    auto thread = std::make_shared<Thread>();
    thread->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
    auto& d = Dispatcher::Instance();
    HANDLE h;
    {
        std::lock_guard lock(d.mutex);
        h = d.Insert(thread);
    }
    if (!h) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSize) {
        if (stackSize < std::size_t(PTHREAD_STACK_MIN)) stackSize = std::size_t(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attr, stackSize);
    }
    auto* block = new StartBlock{thread, start, parameter};
    std::unique_lock lock(d.mutex);
    int rc = pthread_create(&thread->id, &attr, Trampoline, block);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        lock.unlock();
        delete block;
        CloseHandle(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    thread->started = true;
    // The id is the kernel's, known only once the thread runs; callers expect it at once.
    d.changed.wait(lock, [&] { return thread->kernelId != 0; });
    if (threadId) *threadId = thread->kernelId;
    lock.unlock();
    SetLastError(ERROR_SUCCESS);
    return h;
}

} // namespace
} // namespace zyn::sync::detail

using namespace zyn::sync::detail;

HANDLE CreateThread(const void*, std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD creationFlags, DWORD* threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return Create(stackSize, start, parameter, creationFlags, threadId);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

DWORD ResumeThread(HANDLE h) {
    auto& d = Dispatcher::Instance();
    std::shared_ptr<Thread> thread;
    DWORD previous = 0;
    {
        std::lock_guard lock(d.mutex);
        thread = std::dynamic_pointer_cast<Thread>(d.Find(h));
        if (thread) {
            previous = thread->suspendCount;
            if (thread->suspendCount) --thread->suspendCount;
        }
    }
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    if (previous == 1) d.changed.notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE h, DWORD* exitCode) {
    auto& d = Dispatcher::Instance();
    std::shared_ptr<Thread> thread;
    {
        std::lock_guard lock(d.mutex);
        thread = std::dynamic_pointer_cast<Thread>(d.Find(h));
        if (thread && exitCode) *exitCode = thread->exitCode;
    }
    if (!thread || !exitCode) {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL SetThreadPriority(HANDLE h, int priority) {
    auto& d = Dispatcher::Instance();
    std::shared_ptr<Thread> thread;
    {
        std::lock_guard lock(d.mutex);
        thread = std::dynamic_pointer_cast<Thread>(d.Find(h));
        if (thread) thread->priority = priority;
    }
    if (!thread) SetLastError(ERROR_INVALID_HANDLE);
    return thread ? TRUE : FALSE;
}

int GetThreadPriority(HANDLE h) {
    auto& d = Dispatcher::Instance();
    std::shared_ptr<Thread> thread;
    int priority = 0x7FFFFFFF; // THREAD_PRIORITY_ERROR_RETURN
    {
        std::lock_guard lock(d.mutex);
        thread = std::dynamic_pointer_cast<Thread>(d.Find(h));
        if (thread) priority = thread->priority;
    }
    if (!thread) SetLastError(ERROR_INVALID_HANDLE);
    return priority;
}

DWORD GetCurrentThreadId() {
    return DWORD(gettid());
}

namespace zyn::sync {

bool SetThreadName(const char* name, DWORD threadId) {
    if (!name) return false;
    char cut[16] = {};
    std::size_t n = strnlen(name, 16);
    if (n > 15) {
        n = 15;
        // Never cut inside a multi-byte character: step back over its continuation bytes.
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(cut, name, n);
    const DWORD target = threadId == 0xFFFFFFFF ? GetCurrentThreadId() : threadId;
    // The main thread's name is the process's name (ps, top, pidof and \Process(name) go by it):
    // naming a worker must never rename the program.
    if (target == DWORD(getpid())) return false;
    if (target == GetCurrentThreadId()) return pthread_setname_np(pthread_self(), cut) == 0;
    // Another thread of this process: the kernel takes its name through /proc, which lists only
    // this process's threads, so an id from elsewhere fails.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%u/comm", unsigned(threadId));
    std::FILE* f = std::fopen(path, "w");
    if (!f) return false;
    bool ok = std::fputs(cut, f) >= 0;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace zyn::sync
