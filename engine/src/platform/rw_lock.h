// Re-entrant reader-writer lock of databases, table storages and record stores.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sqlmem {

class TSQLMemReadWriteThreadSync {
public:
    virtual ~TSQLMemReadWriteThreadSync() = default;
    virtual void beginRead() = 0;
    virtual void beginWrite() = 0;
    virtual void end() = 0;
};

// Any number of reading threads or one writing thread. A thread re-enters a
// lock it holds in either mode, and the only reading thread may upgrade to
// writing. Waiting yields the processor instead of blocking on an event.
class TSQLMemReadWriteThreadSyncByCriticalSections final : public TSQLMemReadWriteThreadSync {
public:
    explicit TSQLMemReadWriteThreadSyncByCriticalSections(std::string ownerClass = "NULL Pointer")
        : m_ownerClass(std::move(ownerClass)) {}
    TSQLMemReadWriteThreadSyncByCriticalSections(
        const TSQLMemReadWriteThreadSyncByCriticalSections&) = delete;
    TSQLMemReadWriteThreadSyncByCriticalSections& operator=(
        const TSQLMemReadWriteThreadSyncByCriticalSections&) = delete;

    void beginRead() override;
    void beginWrite() override;
    // REQUIRES: the calling thread holds the lock (else ESQLMemException 11638).
    void end() override;

    const std::string& ownerClassName() const { return m_ownerClass; }

    // -1 while a writer holds it, otherwise the number of reading threads.
    std::int32_t holderState() const;
    // Re-entry count of the calling thread (0 when it does not hold the lock).
    std::int64_t depthOfCurrentThread() const;

private:
    struct Holder {
        std::int64_t thread;
        std::int64_t count;
    };
    Holder* findHolder(std::int64_t thread);

    std::string m_ownerClass;
    mutable std::mutex m_section;  // guards everything below
    std::int32_t m_waitingReaders = 0;
    std::int32_t m_waitingWriters = 0;
    std::int32_t m_state = 0;
    std::vector<Holder> m_holders;
};

// Holds a lock object in one mode for a scope; mode 0 reads, 1 writes.
template <class Lockable>
class LockGuard {
public:
    LockGuard(Lockable& lock, int mode) : m_lock(lock) { m_lock.lock(mode); }
    ~LockGuard() { m_lock.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lockable& m_lock;
};

}  // namespace sqlmem
