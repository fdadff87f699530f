#include "platform/rw_lock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

// The system's identifier of the calling thread, the number error 11638 shows.
std::int64_t currentThread() {
    thread_local const std::int64_t id = static_cast<std::int64_t>(syscall(SYS_gettid));
    return id;
}

}  // namespace

void checkEngineThread() {
    // Settled once per thread: every lock of every row asks.
    thread_local bool known = false;
    if (known) return;
    static std::atomic<std::int64_t> owner{0};
    const std::int64_t me = currentThread();
    std::int64_t expected = 0;
    if (owner.compare_exchange_strong(expected, me) || expected == me) {
        known = true;
        return;
    }
    std::fprintf(stderr, "sqlmem: engine used from thread %lld; it belongs to thread %lld\n",
                 static_cast<long long>(me), static_cast<long long>(expected));
    std::abort();
}

void TSQLMemLockable::unlock() {
    if (m_depth == 0)
        throw ESQLMemException(11638, "Invalid item number - ItemNo = %d, ItemCount = %d",
                               {currentThread(), std::int64_t{0}});
    --m_depth;
}

TSQLMemReadWriteThreadSyncByCriticalSections::Holder*
TSQLMemReadWriteThreadSyncByCriticalSections::findHolder(std::int64_t thread) {
    auto it = std::find_if(m_holders.begin(), m_holders.end(),
                           [&](const Holder& h) { return h.thread == thread; });
    return it == m_holders.end() ? nullptr : &*it;
}

void TSQLMemReadWriteThreadSyncByCriticalSections::beginRead() {
    const std::int64_t me = currentThread();
    bool counted = false;
    for (;;) {
        {
            std::lock_guard g(m_section);
            if (!counted) {
                ++m_waitingReaders;
                counted = true;
            }
            Holder* h = findHolder(me);
            if (m_state != -1 || h) {
                --m_waitingReaders;
                if (h) {
                    ++h->count;
                } else {
                    m_holders.push_back({me, 1});
                    ++m_state;
                }
                return;
            }
        }
        std::this_thread::yield();
    }
}

void TSQLMemReadWriteThreadSyncByCriticalSections::beginWrite() {
    const std::int64_t me = currentThread();
    bool counted = false;
    for (;;) {
        {
            std::lock_guard g(m_section);
            if (!counted) {
                ++m_waitingWriters;
                counted = true;
            }
            Holder* h = findHolder(me);
            const bool onlyMe = m_holders.size() == 1 && h;
            if (m_holders.empty() || onlyMe) {
                --m_waitingWriters;
                m_state = -1;
                if (h)
                    ++h->count;
                else
                    m_holders.push_back({me, 1});
                return;
            }
        }
        std::this_thread::yield();
    }
}

void TSQLMemReadWriteThreadSyncByCriticalSections::end() {
    const std::int64_t me = currentThread();
    std::lock_guard g(m_section);
    auto it = std::find_if(m_holders.begin(), m_holders.end(),
                           [&](const Holder& h) { return h.thread == me; });
    if (it == m_holders.end())
        throw ESQLMemException(11638, "Invalid item number - ItemNo = %d, ItemCount = %d",
                               {me, static_cast<std::int64_t>(m_holders.size())});
    if (--it->count == 0) {
        m_holders.erase(it);
        m_state = (m_state == -1 || m_state == 0) ? 0 : m_state - 1;
    }
}

std::int32_t TSQLMemReadWriteThreadSyncByCriticalSections::holderState() const {
    std::lock_guard g(m_section);
    return m_state;
}

std::int64_t TSQLMemReadWriteThreadSyncByCriticalSections::depthOfCurrentThread() const {
    const std::int64_t me = currentThread();
    std::lock_guard g(m_section);
    for (const Holder& h : m_holders)
        if (h.thread == me) return h.count;
    return 0;
}

}  // namespace sqlmem
