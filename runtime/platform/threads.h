// Threads and the owner-checking lock over POSIX threads, with the handle and error numbers the
// runtime's thread commands hand to game code.
#pragma once

#include <cstdint>
#include <memory>

namespace rt {

// A thread's body: one pointer-sized argument, a pointer-sized result (its exit code).
using ThreadFunction = intptr_t (*)(intptr_t argument);

// Starts function(argument) on a new thread. keep: the handle to join later (never 0 or -1);
// otherwise the thread runs detached and the result is 0. -1 when no thread could be started.
intptr_t platform_thread_start(ThreadFunction function, intptr_t argument, bool keep);
// Waits for a kept thread, stores its result when asked and forgets the handle: 0, or 22 for a
// handle that is unknown or already joined, or a thread joining itself.
int32_t platform_thread_join(intptr_t handle, intptr_t* exit_code);
void platform_thread_yield();

// A mutex that knows which thread holds it and refuses instead of deadlocking or corrupting:
// lock() by the holder gives 36, unlock() by another thread gives 1; 0 on success.
class OwnedLock {
public:
    OwnedLock();
    ~OwnedLock();
    OwnedLock(const OwnedLock&) = delete;
    OwnedLock& operator=(const OwnedLock&) = delete;

    int32_t lock();
    int32_t unlock();
    bool held_by_caller() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Holds an OwnedLock for a scope.
class OwnedLockGuard {
public:
    explicit OwnedLockGuard(OwnedLock& lock) : lock_(lock), held_(lock.lock() == 0) {}
    ~OwnedLockGuard() {
        if (held_) lock_.unlock();
    }
    OwnedLockGuard(const OwnedLockGuard&) = delete;
    OwnedLockGuard& operator=(const OwnedLockGuard&) = delete;
    bool held() const { return held_; }

private:
    OwnedLock& lock_;
    bool held_;
};

}  // namespace rt
