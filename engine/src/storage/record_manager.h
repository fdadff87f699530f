// Record stores. The in-memory store keeps every record of a table in one
// contiguous slot array:
//
//   slot array  [ slot 0 | slot 1 | ... | slot SlotCount-1 ]   RecordSize bytes each
//   bitmap      bit (s mod 8) of byte (s div 8): set = slot s holds no record
//
// A new record always takes the slot after the highest live one, so slots
// freed below it stay holes until the table is emptied. While no record was
// ever deleted (NoHoles), record number n is simply slot n-1.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/memory.h"
#include "platform/rw_lock.h"
#include "storage/record_id.h"

namespace sqlmem {

class TSQLMemTableData;

// Copies records field-aware: text fields move only up to their terminator,
// so a walk over wide, mostly empty text columns reads a fraction of each
// slot. The destination always ends up byte-identical to a full copy of a
// record whose text tails are zero (which every stored record has).
class TSQLMemRecordCopier {
public:
    struct Segment {
        std::int32_t offset;
        std::int32_t length;
        std::uint8_t text;  // 0 fixed bytes, 1 8-bit text, 2 wide text
    };
    void addSegment(std::int32_t offset, std::int32_t length, std::uint8_t text);
    // dest gets the whole record with zero text tails.
    // REQUIRES: dest's text fields are zero past their terminators (true of
    // every buffer made by initialising a record or by an earlier copyOut).
    void copyOut(std::uint8_t* dest, const std::uint8_t* src) const;
    // REQUIRES: dest is all zero. Writes only the non-zero parts.
    void copyOntoZero(std::uint8_t* dest, const std::uint8_t* src) const;
    // Asks the processor for the lines copyOut will read, so that a walk can
    // overlap the misses of the records ahead of it.
    void prefetch(const std::uint8_t* src) const;

private:
    static std::int32_t textLength(const std::uint8_t* p, std::int32_t width, std::uint8_t text);
    std::vector<Segment> m_segments;
};

// Answers of a get request.
enum class TSQLMemGetAnswer { Found, BeforeFirst, AfterLast, NotFound };

// Modes of a get request.
enum class TSQLMemGetMode { Current, Next, Prior };

struct TSQLMemGetRequest {
    int Session = 0;
    TSQLMemGetMode Mode = TSQLMemGetMode::Current;
    std::int32_t Slot = -1;  // in and out
    std::int16_t ItemNo = 0;
    std::uint8_t* Dest = nullptr;  // RecordSize bytes, filled on Found
    bool FromFirst = false;        // cleared by a request that finds a record
    bool FromLast = false;
    TSQLMemGetAnswer Answer = TSQLMemGetAnswer::NotFound;
};

class TSQLMemBaseRecordManager : public TSQLMemLockable {
public:
    TSQLMemBaseRecordManager(TSQLMemTableData* owner, std::int32_t recordSize);
    virtual ~TSQLMemBaseRecordManager() = default;
    TSQLMemBaseRecordManager(const TSQLMemBaseRecordManager&) = delete;
    TSQLMemBaseRecordManager& operator=(const TSQLMemBaseRecordManager&) = delete;

    virtual std::int64_t recordCount() const { return m_recordCount; }
    virtual void clear() {}
    // Add, update and delete never throw: false means nothing changed.
    virtual bool add(const std::uint8_t* /*record*/, TSQLMemRecordID& /*id*/) { return false; }
    virtual bool update(const std::uint8_t* /*record*/, const TSQLMemRecordID& /*id*/) {
        return false;
    }
    // On success `neighbour` gets the new highest slot when the highest was deleted.
    virtual bool remove(const TSQLMemRecordID& /*id*/, TSQLMemRecordID& /*neighbour*/) {
        return false;
    }
    // Takes back the record the last add stored, as if it had never come:
    // unlike a delete it leaves no trace in the store's counters.
    virtual void takeBackLast(const TSQLMemRecordID& /*id*/) {}
    virtual bool exists(const TSQLMemRecordID& /*id*/) const { return false; }
    virtual void get(TSQLMemGetRequest& request) const {
        request.Answer = TSQLMemGetAnswer::AfterLast;
    }
    // The stored bytes of a live record, for reading in place while the
    // table is locked; nullptr when the store cannot lend them (then get).
    virtual const std::uint8_t* peek(const TSQLMemRecordID& /*id*/) const { return nullptr; }
    // The bytes of a record: lent where the store can, else copied into
    // `buffer` (sized here). Null when the record does not exist.
    const std::uint8_t* lend(int session, const TSQLMemRecordID& id, EngineBytes& buffer) const;
    // A current-record get for a caller that holds the table's lock: a record
    // the store can lend is copied without the store's own lock. dest may be
    // null; false when the record does not exist.
    bool copyRecord(int session, const TSQLMemRecordID& id, std::uint8_t* dest) const;
    // A hint that copyRecord(id) comes soon; does nothing for a record the
    // store cannot lend.
    virtual void prefetch(const TSQLMemRecordID& /*id*/) const {}
    virtual std::int64_t approximatePosition(const TSQLMemRecordID& /*id*/) const { return -1; }

    // Record numbers are 1-based in slot order; false when there is none.
    virtual bool numberToSlot(std::int64_t /*number*/, std::int32_t& /*slot*/) const {
        return false;
    }
    virtual std::int64_t slotToNumber(std::int32_t /*slot*/) const { return -1; }

    std::int32_t recordSize() const { return m_recordSize; }
    // Grows with every change of the stored records; what was derived from
    // them (a cursor's visible records) is stale once it moves.
    std::uint64_t changeStamp() const { return m_changeStamp; }
    // Field-aware copying; without one records are copied whole.
    void setCopier(const TSQLMemRecordCopier* copier) { m_copier = copier; }

protected:
    // For a request from either end: true, and `answer` says what it gets;
    // when that is Found, the record is the lowest (`lowest`) or the highest.
    static bool answerFromEnd(const TSQLMemGetRequest& r, TSQLMemGetAnswer& answer, bool& lowest);

    std::int32_t m_recordSize;
    std::int64_t m_recordCount = 0;
    std::uint64_t m_changeStamp = 0;
    TSQLMemTableData* m_owner;
    const TSQLMemRecordCopier* m_copier = nullptr;
};

class TSQLMemMemoryRecordManager : public TSQLMemBaseRecordManager {
public:
    // Throws "Invalid record size = 0" (10011) for a zero record size.
    TSQLMemMemoryRecordManager(TSQLMemTableData* owner, std::int32_t recordSize,
                               std::int32_t allocBy);

    void clear() override;
    bool add(const std::uint8_t* record, TSQLMemRecordID& id) override;
    bool update(const std::uint8_t* record, const TSQLMemRecordID& id) override;
    bool remove(const TSQLMemRecordID& id, TSQLMemRecordID& neighbour) override;
    void takeBackLast(const TSQLMemRecordID& id) override;
    const std::uint8_t* peek(const TSQLMemRecordID& id) const override {
        return liveInBounds(id.PageNo)
                   ? m_slots.data() + static_cast<std::size_t>(id.PageNo) * m_recordSize
                   : nullptr;
    }
    void prefetch(const TSQLMemRecordID& id) const override;
    bool exists(const TSQLMemRecordID& id) const override;
    void get(TSQLMemGetRequest& request) const override;
    std::int64_t approximatePosition(const TSQLMemRecordID& id) const override;
    bool numberToSlot(std::int64_t number, std::int32_t& slot) const override;
    std::int64_t slotToNumber(std::int32_t slot) const override;

    // Direct access for the table storage, which already holds its locks.
    // REQUIRES: slot is live.
    const std::uint8_t* slotData(std::int32_t slot) const {
        return m_slots.data() + static_cast<std::size_t>(slot) * m_recordSize;
    }

    std::int32_t slotCount() const { return m_slotCount; }
    std::int32_t allocBy() const { return m_allocBy; }
    std::int32_t lowestSlot() const { return m_lowest; }
    std::int32_t highestSlot() const { return m_highest; }
    bool noHoles() const { return m_noHoles != 0; }
    bool isDeleted(std::int32_t slot) const {
        return (m_bitmap.data()[slot >> 3] >> (slot & 7)) & 1;
    }

    // The store's state in a table image, written before its records:
    //
    //   int32 SlotCount, byte NoHoles, int32 lowest and highest live slot,
    //   ceil(SlotCount / 8) bytes of the deleted bitmap (none for 0 slots)
    void writeStateImage(std::vector<std::uint8_t>& out) const;
    // Takes an image's state into an empty store that is to receive
    // `records` records (at least one) through placeLoaded. The state must
    // place them from its lowest to its highest live slot, and what is left
    // (in `in` and the `bytesBeyond` that follow it) must hold them, else the
    // image is refused (the stream error naming the place, or "Invalid
    // record No = %d", 10847) before a slot is made.
    void readStateImage(TByteReader& in, std::int64_t records, std::uint64_t bytesBeyond = 0);
    // Puts the next loaded record into the slot it had when saved.
    // REQUIRES: fewer records placed than readStateImage announced.
    TSQLMemRecordID placeLoaded(const std::uint8_t* record);

private:
    bool liveInBounds(std::int32_t slot) const {
        return m_recordCount > 0 && slot >= m_lowest && slot <= m_highest && slot < m_slotCount &&
               !isDeleted(slot);
    }
    void setDeleted(std::int32_t slot, bool deleted);

    EngineBlock m_slots;
    EngineBlock m_bitmap;
    std::int32_t m_slotCount = 0;
    std::int32_t m_allocBy;
    std::int32_t m_lowest = 0;
    std::int32_t m_highest = 0;
    std::uint8_t m_noHoles = 255;
    std::int32_t m_everUsed = 0;  // slots at and above this one are all zero
    std::int32_t m_loadSlot = 0;  // where placeLoaded looks first
    std::uint8_t m_zeroBitCount[256];
};

}  // namespace sqlmem
