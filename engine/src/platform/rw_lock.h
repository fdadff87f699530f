// Re-entrant reader-writer lock of databases, table storages and record stores.
//
// The engine is single-threaded: it is driven from the application's one
// thread. Its datasets and cursors keep a position, its expression trees
// keep each node's last value, and its page stores hold pages per session
// between calls; no lock guards any of that, and making every read path
// lock-complete would promise a safety the rest cannot keep. The locks are
// still taken in matched pairs around every read and change (their pairing
// is checked), and the first thread that takes one owns the engine: any
// other thread taking an engine lock is a programming error that stops the
// process at once instead of racing.
#pragma once

#include <cassert>
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

enum class TSQLMemLockMode { Read, Write };

// Stops the process when called from a thread other than the engine's
// (the first thread that called it).
void checkEngineThread();

// An engine object with a lock of its own: a database, a table storage, a
// record store. Only the engine's thread ever gets past checkEngineThread,
// so the lock is that thread's re-entry count, kept to check the pairing;
// the mode says what the holder does. A walk locks several times a row, and
// a shared lock's mutex would cost more than the row.
class TSQLMemLockable {
public:
    explicit TSQLMemLockable(std::string ownerClass) : m_ownerClass(std::move(ownerClass)) {}

    void lock(TSQLMemLockMode /*mode*/) {
        checkEngineThread();
        ++m_depth;
    }
    // REQUIRES: the calling thread holds the lock (else ESQLMemException 11638).
    void unlock();

    const std::string& ownerClassName() const { return m_ownerClass; }
    std::int64_t lockDepth() const { return m_depth; }

private:
    std::string m_ownerClass;
    std::int64_t m_depth = 0;
};

// Holds a lock object in one mode for a scope.
template <class Lockable>
class LockGuard {
public:
    LockGuard(Lockable& lock, TSQLMemLockMode mode) : m_lock(lock) { m_lock.lock(mode); }
    ~LockGuard() {
        // Releasing what the guard took cannot fail; a throw here, while an
        // exception unwinds, would end the program without a word.
        try {
            m_lock.unlock();
        } catch (...) {
            assert(!"a held engine lock could not be released");
        }
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lockable& m_lock;
};

}  // namespace sqlmem
