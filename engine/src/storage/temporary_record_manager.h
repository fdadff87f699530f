// The record store of a temporary table: append-only, numbered from 0.
//
//   records 0 .. L-1    the memory array, grown 1000 records at a time
//   records L ..        the temporary record file, record r at byte
//                       (r - L) x RecordSize; new records wait in the write
//                       buffer until it is full (and are read from there)
//
// L is a tenth of the available memory divided by the record size, fixed when
// the store is made. File-side reads go through a read buffer of about 64 KiB
// (records never change once written, so it never goes stale).
//
// The identifier of record r is its 48-bit number: PageNo holds the low 32
// bits, PageItemNo the high 16.
//
// Saved state (all little-endian):
//
//   offset  size            content
//   0       4               record size
//   4       8               record count
//   12      4               write buffer capacity, in records
//   16      4               write buffer size in bytes (capacity x record size)
//   20      4               memory count, in records
//   24      4               memory capacity, in records
//   28      4               L, in records
//   32      4               growth step, in records
//   36      M               the memory records, M = memory count x record size,
//                           present when the memory capacity is above 0
//   36+M    8               F, the length of the file part in bytes
//   44+M    F               the file part: records L .. count-1, when F > 0
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "storage/record_manager.h"
#include "storage/temporary_file.h"

namespace sqlmem {

class TSQLMemTemporaryRecordManager : public TSQLMemBaseRecordManager {
public:
    static constexpr std::int32_t kGrowth = 1000;
    static constexpr std::int32_t kWriteBufferRecords = 10;
    static constexpr std::int64_t kMaxRecords = (std::int64_t{1} << 48) - 1;

    // Throws "Invalid record size = 0" (10011) for a zero record size.
    TSQLMemTemporaryRecordManager(TSQLMemTableData* owner, std::int32_t recordSize,
                                  std::int32_t growth = kGrowth,
                                  std::int32_t writeBufferRecords = kWriteBufferRecords);

    static TSQLMemRecordID idOfNumber(std::int64_t number) {
        return TSQLMemRecordID{static_cast<std::int32_t>(static_cast<std::uint32_t>(number)),
                               static_cast<std::int16_t>(static_cast<std::uint16_t>(number >> 32))};
    }
    static std::int64_t numberOfId(std::int32_t pageNo, std::int16_t itemNo) {
        return static_cast<std::int64_t>(static_cast<std::uint32_t>(pageNo)) |
               (static_cast<std::int64_t>(static_cast<std::uint16_t>(itemNo)) << 32);
    }
    static std::int64_t numberOfId(const TSQLMemRecordID& id) {
        return numberOfId(id.PageNo, id.PageItemNo);
    }

    void clear() override;
    bool add(const std::uint8_t* record, TSQLMemRecordID& id) override;
    bool exists(const TSQLMemRecordID& id) const override;
    void get(TSQLMemGetRequest& request) const override;
    // Records in memory are lent where they lie, saving a copy per read.
    const std::uint8_t* peek(const TSQLMemRecordID& id) const override {
        const std::int64_t n = numberOfId(id);
        return n < m_memoryCount ? m_memory.data() + slotOf(n) * m_recordSize : nullptr;
    }
    // The record number + 1, -1 outside the table.
    std::int64_t approximatePosition(const TSQLMemRecordID& id) const override;

    // Makes room in memory for `records` records in all (up to L) at once, so
    // that a table whose size its filler knows is not copied at every step
    // of growth.
    void reserve(std::int64_t records);

    // Puts the records in the order `arrange` answers: given the records
    // (RecordSize apart) and their count, record i becomes the one that was
    // order[i]. With `same`, only the first of each run of records it joins
    // is kept.
    // Answers false, changing nothing, when a record is on the file side.
    // REQUIRES: the table has no indexes (their entries name records by place).
    using Arrange = std::function<std::vector<std::size_t>(const std::uint8_t*, std::size_t)>;
    using Same = std::function<bool(const std::uint8_t*, const std::uint8_t*)>;
    bool sortInMemory(const Arrange& arrange, const Same& same);

    // The memory slot the next record takes, zeroed, for a filler that
    // writes the record in place and then calls commitSlot; null when the
    // record would not go straight to memory (add it instead). Text written
    // there must be zero past its terminator, as add leaves it.
    std::uint8_t* slotForNext();
    TSQLMemRecordID commitSlot();

    // Takes back the record added last (its keys could not be indexed).
    void dropLast();
    void takeBackLast(const TSQLMemRecordID&) override { dropLast(); }

    void saveState(std::vector<std::uint8_t>& out);
    // Replaces the store's records with a saved state. The image is checked
    // against its length before anything is allocated; a short image raises
    // "Cannot read from stream. ..." (10129), figures that disagree "Invalid
    // temporary record store image at offset %d" (10130).
    void loadState(const std::uint8_t* data, std::size_t size);

    // For tests and the table storage.
    std::int32_t memoryLimit() const { return m_limit; }
    std::int32_t memoryCount() const { return m_memoryCount; }
    std::int32_t memoryCapacity() const { return m_memoryCapacity; }
    std::int32_t writeBufferCount() const { return m_writeCount; }
    // Empty while no record went to the file side.
    std::string fileName() const { return m_file ? m_file->fileName() : std::string(); }

private:
    static constexpr std::int64_t kReadAhead = 8;

    // Where record n (< m_memoryCount) lies in the memory array.
    std::size_t slotOf(std::int64_t n) const {
        return m_order.empty() ? static_cast<std::size_t>(n) : m_order[static_cast<std::size_t>(n)];
    }
    // Moves the records into their sorted places before the store changes.
    void settleOrder();
    // REQUIRES: m_fileSection held.
    void flushWriteBuffer();
    void readRecord(std::int64_t number, std::uint8_t* dest);
    void placeInMemory(const std::uint8_t* record);
    void placeInWriteBuffer(const std::uint8_t* record);

    // Constant after construction (or load).
    std::int32_t m_growth;
    std::int32_t m_writeCapacity;
    std::int32_t m_limit = 0;  // L

    EngineBlock m_memory;
    std::int32_t m_memoryCount = 0;
    std::int32_t m_memoryCapacity = 0;
    // After a sort: record n lies in slot m_order[n] (a DISTINCT sort leaves
    // dropped records in slots no entry names).
    std::vector<std::uint32_t> m_order;

    // The file side, guarded by m_fileSection: reading may flush and refill
    // buffers while other readers hold the store's read lock.
    std::mutex m_fileSection;
    std::unique_ptr<TSQLMemTemporaryFile> m_file;
    EngineBlock m_writeBuffer;
    std::int32_t m_writeCount = 0;
    EngineBlock m_readBuffer;
    std::int64_t m_readFirst = 0;
    std::int32_t m_readCount = 0;
};

}  // namespace sqlmem
