// Threads over pthreads. Kept threads are found again through a table of their handles, so that
// joining an unknown or already-joined handle is refused instead of reaching freed memory.
#include "runtime/platform/threads.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

namespace rt {
namespace {

struct StartBlock {
    ThreadFunction function;
    intptr_t argument;
};

// The new thread owns its start block.
void* thread_entry(void* raw) {
    StartBlock* block = static_cast<StartBlock*>(raw);
    const ThreadFunction function = block->function;
    const intptr_t argument = block->argument;
    delete block;
    return reinterpret_cast<void*>(function(argument));
}

// Handles of kept threads that nobody has joined yet. Handles count up from 1 and are never
// reused, so a stale handle cannot name a newer thread.
struct KeptThreads {
    std::mutex lock;
    std::unordered_map<intptr_t, pthread_t> threads;
    intptr_t next = 1;
};

KeptThreads& kept_threads() {
    static KeptThreads table;  // the thread layer's one table; lives until the process ends
    return table;
}

}  // namespace

intptr_t platform_thread_start(ThreadFunction function, intptr_t argument, bool keep) {
    if (function == nullptr) return -1;
    StartBlock* block = new (std::nothrow) StartBlock{function, argument};
    if (block == nullptr) return -1;
    pthread_t id;
    if (pthread_create(&id, nullptr, thread_entry, block) != 0) {
        delete block;
        return -1;
    }
    if (!keep) {
        pthread_detach(id);
        return 0;
    }
    KeptThreads& table = kept_threads();
    std::lock_guard<std::mutex> guard(table.lock);
    const intptr_t handle = table.next++;
    table.threads.emplace(handle, id);
    return handle;
}

int32_t platform_thread_join(intptr_t handle, intptr_t* exit_code) {
    pthread_t id;
    {
        KeptThreads& table = kept_threads();
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.threads.find(handle);
        if (found == table.threads.end()) return 22;
        // A thread cannot wait for itself; its handle stays valid for another thread to join.
        if (pthread_equal(found->second, pthread_self()) != 0) return 22;
        id = found->second;
        table.threads.erase(found);
    }
    void* result = nullptr;
    if (pthread_join(id, &result) != 0) return 22;
    if (exit_code != nullptr) *exit_code = reinterpret_cast<intptr_t>(result);
    return 0;
}

void platform_thread_yield() { sched_yield(); }

struct OwnedLock::Impl {
    std::mutex mutex;
    std::atomic<pthread_t> owner{};
    std::atomic<bool> held{false};
};

OwnedLock::OwnedLock() : impl_(std::make_unique<Impl>()) {}
// A lock still held by the destroying thread is released first: destroying a locked mutex is
// undefined.
OwnedLock::~OwnedLock() {
    if (held_by_caller()) unlock();
}

bool OwnedLock::held_by_caller() const {
    // Only the holder itself can see its own id here while held is set, so the two relaxed reads
    // cannot both match for another thread.
    return impl_->held.load(std::memory_order_acquire) &&
           pthread_equal(impl_->owner.load(std::memory_order_relaxed), pthread_self()) != 0;
}

int32_t OwnedLock::lock() {
    if (held_by_caller()) return 36;
    impl_->mutex.lock();
    impl_->owner.store(pthread_self(), std::memory_order_relaxed);
    impl_->held.store(true, std::memory_order_release);
    return 0;
}

int32_t OwnedLock::unlock() {
    if (!held_by_caller()) return 1;
    impl_->held.store(false, std::memory_order_release);
    impl_->mutex.unlock();
    return 0;
}

}  // namespace rt
