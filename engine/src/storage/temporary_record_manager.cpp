#include "storage/temporary_record_manager.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/byte_reader.h"
#include "platform/bytes.h"
#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

constexpr std::size_t kReadBufferBytes = 64 * 1024;
constexpr std::size_t kStateHeader = 36;

}  // namespace

TSQLMemTemporaryRecordManager::TSQLMemTemporaryRecordManager(TSQLMemTableData* owner,
                                                             std::int32_t recordSize,
                                                             std::int32_t growth,
                                                             std::int32_t writeBufferRecords)
    : TSQLMemBaseRecordManager(owner, recordSize),
      m_growth(growth > 0 ? growth : kGrowth),
      m_writeCapacity(writeBufferRecords > 0 ? writeBufferRecords : 1) {
    if (recordSize <= 0) throw ESQLMemException(10011, "Invalid record size = 0");
    const std::int64_t budget = TSQLMemMemoryManager::instance().availableMemory() / 10;
    m_limit = static_cast<std::int32_t>(std::min<std::int64_t>(budget / recordSize, INT32_MAX));
}

void TSQLMemTemporaryRecordManager::clear() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    std::lock_guard f(m_fileSection);
    m_memory.reset();
    m_memoryCount = m_memoryCapacity = 0;
    m_order.clear();
    m_writeBuffer.reset();
    m_writeCount = 0;
    m_readBuffer.reset();
    m_readFirst = 0;
    m_readCount = 0;
    m_file.reset();
    m_recordCount = 0;
}

void TSQLMemTemporaryRecordManager::placeInMemory(const std::uint8_t* record) {
    std::uint8_t* dest = m_memory.data() + static_cast<std::size_t>(m_memoryCount) * m_recordSize;
    // Slots are zeroed as they are taken, not when the block grows: a result
    // of a few records would otherwise clear room for a thousand. Writing
    // only the used parts of text fields keeps zero text tails.
    if (m_copier) {
        std::memset(dest, 0, m_recordSize);
        m_copier->copyOntoZero(dest, record);
    } else
        std::memcpy(dest, record, m_recordSize);
    ++m_memoryCount;
}

void TSQLMemTemporaryRecordManager::placeInWriteBuffer(const std::uint8_t* record) {
    if (!m_writeBuffer.data())
        m_writeBuffer.resize(static_cast<std::size_t>(m_writeCapacity) * m_recordSize);
    std::uint8_t* dest =
        m_writeBuffer.data() + static_cast<std::size_t>(m_writeCount) * m_recordSize;
    if (m_copier) {
        std::memset(dest, 0, m_recordSize);
        m_copier->copyOntoZero(dest, record);
    } else {
        std::memcpy(dest, record, m_recordSize);
    }
    ++m_writeCount;
}

void TSQLMemTemporaryRecordManager::flushWriteBuffer() {
    if (m_writeCount == 0) return;
    if (m_writeCount > m_writeCapacity)
        throw ESQLMemException(10126, "Invalid record count = %d. Limit is %d",
                               {std::int64_t{m_writeCount}, std::int64_t{m_writeCapacity}});
    // The waiting records are the last ones of the store.
    const std::int64_t first = m_recordCount - m_writeCount;
    m_file->writeAt((first - m_limit) * m_recordSize, m_writeBuffer.data(),
                    static_cast<std::size_t>(m_writeCount) * m_recordSize, 10125, 10128);
    m_writeCount = 0;
}

void TSQLMemTemporaryRecordManager::reserve(std::int64_t records) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    const std::int32_t wanted = static_cast<std::int32_t>(std::min<std::int64_t>(records, m_limit));
    if (wanted <= m_memoryCapacity) return;
    settleOrder();
    m_memory.resize(static_cast<std::size_t>(wanted) * m_recordSize, false);
    m_memoryCapacity = wanted;
}

bool TSQLMemTemporaryRecordManager::sortInMemory(const Arrange& arrange, const Same& same) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (m_recordCount != m_memoryCount) return false;
    settleOrder();
    const std::size_t n = static_cast<std::size_t>(m_memoryCount);
    const std::size_t size = static_cast<std::size_t>(m_recordSize);
    const std::uint8_t* base = m_memory.data();
    const std::vector<std::size_t> order = arrange(base, n);
    // The records stay where they are and are read through the order:
    // moving every record into its place costs more than the scattered
    // reads, which the walk fetches ahead of time.
    m_order.resize(n);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t slot = static_cast<std::uint32_t>(order[i]);
        if (same && kept > 0 && same(base + m_order[kept - 1] * size, base + slot * size)) continue;
        m_order[kept++] = slot;
    }
    m_order.resize(kept);
    m_memoryCount = static_cast<std::int32_t>(kept);
    m_recordCount = static_cast<std::int64_t>(kept);
    ++m_changeStamp;
    return true;
}

void TSQLMemTemporaryRecordManager::settleOrder() {
    if (m_order.empty()) return;
    const std::size_t size = static_cast<std::size_t>(m_recordSize);
    EngineBlock settled;
    settled.resize(static_cast<std::size_t>(m_memoryCapacity) * size, false);
    for (std::size_t i = 0; i < m_order.size(); ++i)
        std::memcpy(settled.data() + i * size, m_memory.data() + m_order[i] * size, size);
    m_memory = std::move(settled);
    m_order.clear();
}

bool TSQLMemTemporaryRecordManager::add(const std::uint8_t* record, TSQLMemRecordID& id) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    if (m_recordCount >= kMaxRecords) return false;
    const std::int64_t number = m_recordCount;
    try {
        settleOrder();
        if (m_memoryCount < m_memoryCapacity) {
            placeInMemory(record);
        } else if (m_memoryCapacity < m_limit) {
            const std::int32_t grown =
                m_memoryCapacity > m_limit - m_growth ? m_limit : m_memoryCapacity + m_growth;
            m_memory.resize(static_cast<std::size_t>(grown) * m_recordSize, false);
            m_memoryCapacity = grown;
            placeInMemory(record);
        } else {
            std::lock_guard f(m_fileSection);
            if (!m_file) m_file = std::make_unique<TSQLMemTemporaryFile>();
            if (m_writeCount >= m_writeCapacity) flushWriteBuffer();
            placeInWriteBuffer(record);
        }
    } catch (const std::exception&) {
        // The store is as it was: a failed add answers false.
        return false;
    }
    ++m_recordCount;
    id = idOfNumber(number);
    return true;
}

std::uint8_t* TSQLMemTemporaryRecordManager::slotForNext() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (!m_order.empty() || m_recordCount != m_memoryCount || m_memoryCount >= m_memoryCapacity)
        return nullptr;
    std::uint8_t* dest = m_memory.data() + static_cast<std::size_t>(m_memoryCount) * m_recordSize;
    std::memset(dest, 0, m_recordSize);
    return dest;
}

TSQLMemRecordID TSQLMemTemporaryRecordManager::commitSlot() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    ++m_memoryCount;
    return idOfNumber(m_recordCount++);
}

void TSQLMemTemporaryRecordManager::dropLast() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    if (m_recordCount == 0) return;
    const std::int64_t last = m_recordCount - 1;
    if (last < m_memoryCount) {
        settleOrder();
        --m_memoryCount;
    } else {
        std::lock_guard f(m_fileSection);
        if (m_writeCount > 0) {
            --m_writeCount;
        } else {
            m_file->setSize((last - m_limit) * m_recordSize);
            if (m_readFirst + m_readCount > last)
                m_readCount =
                    static_cast<std::int32_t>(std::max<std::int64_t>(0, last - m_readFirst));
        }
    }
    --m_recordCount;
}

bool TSQLMemTemporaryRecordManager::exists(const TSQLMemRecordID& id) const {
    return numberOfId(id) < m_recordCount;
}

std::int64_t TSQLMemTemporaryRecordManager::approximatePosition(const TSQLMemRecordID& id) const {
    const std::int64_t n = numberOfId(id);
    return n < m_recordCount ? n + 1 : -1;
}

void TSQLMemTemporaryRecordManager::readRecord(std::int64_t number, std::uint8_t* dest) {
    if (number < m_memoryCount) {
        const std::uint8_t* src = m_memory.data() + slotOf(number) * m_recordSize;
        if (m_copier)
            m_copier->copyOut(dest, src);
        else
            std::memcpy(dest, src, m_recordSize);
        return;
    }
    std::lock_guard f(m_fileSection);
    // A record still waiting is read where it waits: writing the buffer out
    // first would cost a write and a read per record to a cursor that
    // re-reads each record it has just added.
    const std::int64_t firstWaiting = m_recordCount - m_writeCount;
    if (number >= firstWaiting) {
        std::memcpy(
            dest,
            m_writeBuffer.data() + static_cast<std::size_t>(number - firstWaiting) * m_recordSize,
            m_recordSize);
        return;
    }
    if (number < m_readFirst || number >= m_readFirst + m_readCount) {
        const std::int64_t perBuffer =
            std::max<std::int64_t>(1, static_cast<std::int64_t>(kReadBufferBytes) / m_recordSize);
        const std::int64_t count = std::min(perBuffer, firstWaiting - number);
        if (m_readBuffer.size() < static_cast<std::size_t>(perBuffer) * m_recordSize)
            m_readBuffer.resize(static_cast<std::size_t>(perBuffer) * m_recordSize);
        m_readCount = 0;
        m_file->readExactly((number - m_limit) * m_recordSize, m_readBuffer.data(),
                            static_cast<std::size_t>(count) * m_recordSize, 10127);
        m_readFirst = number;
        m_readCount = static_cast<std::int32_t>(count);
    }
    std::memcpy(dest,
                m_readBuffer.data() + static_cast<std::size_t>(number - m_readFirst) * m_recordSize,
                m_recordSize);
}

void TSQLMemTemporaryRecordManager::get(TSQLMemGetRequest& r) const {
    auto& self = const_cast<TSQLMemTemporaryRecordManager&>(*this);
    LockGuard g(self, TSQLMemLockMode::Read);
    if (m_recordCount == 0) {
        r.Answer = TSQLMemGetAnswer::AfterLast;
        return;
    }
    std::int64_t n = numberOfId(r.Slot, r.ItemNo);
    TSQLMemGetAnswer answer = TSQLMemGetAnswer::NotFound;
    bool lowest = false;
    if (answerFromEnd(r, answer, lowest)) {
        if (answer == TSQLMemGetAnswer::Found) n = lowest ? 0 : m_recordCount - 1;
    } else if (r.Mode == TSQLMemGetMode::Current) {
        answer = n < m_recordCount ? TSQLMemGetAnswer::Found : TSQLMemGetAnswer::NotFound;
    } else if (r.Mode == TSQLMemGetMode::Next) {
        if (n + 1 < m_recordCount) {
            ++n;
            answer = TSQLMemGetAnswer::Found;
        } else {
            answer = TSQLMemGetAnswer::AfterLast;
        }
    } else if (n == 0) {
        answer = TSQLMemGetAnswer::BeforeFirst;
    } else {
        n = std::min(n - 1, m_recordCount - 1);
        answer = TSQLMemGetAnswer::Found;
    }
    r.Answer = answer;
    if (answer != TSQLMemGetAnswer::Found) return;
    const TSQLMemRecordID id = idOfNumber(n);
    r.Slot = id.PageNo;
    r.ItemNo = id.PageItemNo;
    r.FromFirst = r.FromLast = false;
    // Sorted records lie scattered: a walk asks now for a record it reaches
    // a few steps on.
    if (!m_order.empty() && r.Mode == TSQLMemGetMode::Next && n + kReadAhead < m_memoryCount) {
        const std::uint8_t* ahead = m_memory.data() + slotOf(n + kReadAhead) * m_recordSize;
        for (std::int32_t b = 0; b < m_recordSize; b += 64)
            __builtin_prefetch(ahead + b);
    }
    if (r.Dest) self.readRecord(n, r.Dest);
}

void TSQLMemTemporaryRecordManager::saveState(std::vector<std::uint8_t>& out) {
    LockGuard g(*this, TSQLMemLockMode::Read);
    std::lock_guard f(m_fileSection);
    settleOrder();
    flushWriteBuffer();
    const std::int64_t fileBytes = m_file ? m_file->size() : 0;
    const std::size_t memoryBytes =
        m_memoryCapacity > 0 ? static_cast<std::size_t>(m_memoryCount) * m_recordSize : 0;
    const std::size_t at = out.size();
    out.resize(at + kStateHeader + memoryBytes + 8 + static_cast<std::size_t>(fileBytes));
    std::uint8_t* p = out.data() + at;
    storeLE<std::int32_t>(p, m_recordSize);
    storeLE<std::int64_t>(p + 4, m_recordCount);
    storeLE<std::int32_t>(p + 12, m_writeCapacity);
    storeLE<std::int32_t>(p + 16, m_writeCapacity * m_recordSize);
    storeLE<std::int32_t>(p + 20, m_memoryCount);
    storeLE<std::int32_t>(p + 24, m_memoryCapacity);
    storeLE<std::int32_t>(p + 28, m_limit);
    storeLE<std::int32_t>(p + 32, m_growth);
    p += kStateHeader;
    if (memoryBytes) std::memcpy(p, m_memory.data(), memoryBytes);
    p += memoryBytes;
    storeLE<std::int64_t>(p, fileBytes);
    if (fileBytes > 0) m_file->readExactly(0, p + 8, static_cast<std::size_t>(fileBytes), 10127);
}

void TSQLMemTemporaryRecordManager::loadState(const std::uint8_t* data, std::size_t size) {
    TByteReader in(data, data + size, 10129);
    auto invalid = [](std::size_t at) {
        throw ESQLMemException(10130, "Invalid temporary record store image at offset %d",
                               {static_cast<std::int64_t>(at)});
    };
    // The header is one block: a short one is refused as a whole.
    TByteReader header(in.readBytes(kStateHeader), data + kStateHeader, 10129);
    const auto recordSize = header.read<std::int32_t>();
    const auto count = header.read<std::int64_t>();
    const auto writeCapacity = header.read<std::int32_t>();
    const auto writeBytes = header.read<std::int32_t>();
    const auto memoryCount = header.read<std::int32_t>();
    const auto memoryCapacity = header.read<std::int32_t>();
    const auto limit = header.read<std::int32_t>();
    const auto growth = header.read<std::int32_t>();
    if (recordSize != m_recordSize) invalid(0);
    if (count < 0 || count > kMaxRecords) invalid(4);
    if (writeCapacity < 1) invalid(12);
    if (static_cast<std::int64_t>(writeBytes) !=
        static_cast<std::int64_t>(writeCapacity) * recordSize)
        invalid(16);
    if (memoryCount < 0 || memoryCount > count || memoryCount > memoryCapacity) invalid(20);
    if (memoryCapacity < 0 || memoryCapacity > std::max(limit, 0)) invalid(24);
    if (limit < 0 || (count > memoryCount && memoryCount != limit)) invalid(28);
    if (growth < 1) invalid(32);
    const std::int64_t memoryBytes =
        memoryCapacity > 0 ? static_cast<std::int64_t>(memoryCount) * recordSize : 0;
    const std::uint8_t* memory = in.readBytes(memoryBytes);
    const std::size_t fileBytesAt = in.offset();
    const auto fileBytes = in.read<std::int64_t>();
    if (fileBytes != (count - memoryCount) * recordSize) invalid(fileBytesAt);
    const std::uint8_t* fileImage = in.readBytes(fileBytes);

    // Everything is checked: build the new state aside, then take it.
    EngineBlock newMemory;
    if (memoryCapacity > 0) {
        newMemory.resize(static_cast<std::size_t>(memoryCapacity) * recordSize);
        if (memoryBytes) std::memcpy(newMemory.data(), memory, memoryBytes);
    }
    std::unique_ptr<TSQLMemTemporaryFile> newFile;
    if (fileBytes > 0) {
        newFile = std::make_unique<TSQLMemTemporaryFile>();
        newFile->writeAt(0, fileImage, static_cast<std::size_t>(fileBytes), 10125, 10128);
    }
    LockGuard g(*this, TSQLMemLockMode::Write);
    std::lock_guard f(m_fileSection);
    m_memory = std::move(newMemory);
    m_memoryCount = memoryCount;
    m_memoryCapacity = memoryCapacity;
    m_order.clear();
    m_limit = limit;
    m_growth = growth;
    m_writeCapacity = writeCapacity;
    m_writeBuffer.reset();
    m_writeCount = 0;
    m_readBuffer.reset();
    m_readFirst = 0;
    m_readCount = 0;
    m_file = std::move(newFile);
    m_recordCount = count;
}

}  // namespace sqlmem
