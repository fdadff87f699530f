#include "storage/record_manager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "sqlmem/exception.h"

namespace sqlmem {

namespace {
constexpr std::int32_t kCacheLine = 64;
}

const std::uint8_t* TSQLMemBaseRecordManager::lend(int session, const TSQLMemRecordID& id,
                                                   EngineBytes& buffer) const {
    if (const std::uint8_t* stored = peek(id)) return stored;
    buffer.resize(static_cast<std::size_t>(recordSize()));
    return copyRecord(session, id, buffer.data()) ? buffer.data() : nullptr;
}

bool TSQLMemBaseRecordManager::copyRecord(int session, const TSQLMemRecordID& id,
                                          std::uint8_t* dest) const {
    if (const std::uint8_t* stored = peek(id)) {
        if (!dest) return true;
        if (m_copier)
            m_copier->copyOut(dest, stored);
        else
            std::memcpy(dest, stored, static_cast<std::size_t>(m_recordSize));
        return true;
    }
    TSQLMemGetRequest r;
    r.Session = session;
    r.Mode = TSQLMemGetMode::Current;
    r.Slot = id.PageNo;
    r.ItemNo = id.PageItemNo;
    r.Dest = dest;
    get(r);
    return r.Answer == TSQLMemGetAnswer::Found;
}

void TSQLMemMemoryRecordManager::prefetch(const TSQLMemRecordID& id) const {
    // A hint may name any slot: only the bounds matter, not whether it is live.
    if (id.PageNo < 0 || id.PageNo >= m_slotCount) return;
    const std::uint8_t* stored =
        m_slots.data() + static_cast<std::size_t>(id.PageNo) * m_recordSize;
    if (m_copier) {
        m_copier->prefetch(stored);
        return;
    }
    for (std::int32_t o = 0; o < m_recordSize; o += kCacheLine)
        __builtin_prefetch(stored + o);
    __builtin_prefetch(stored + m_recordSize - 1);
}

bool TSQLMemBaseRecordManager::answerFromEnd(const TSQLMemGetRequest& r, TSQLMemGetAnswer& answer,
                                             bool& lowest) {
    if (r.FromFirst) {
        lowest = true;
        answer = r.Mode == TSQLMemGetMode::Next    ? TSQLMemGetAnswer::Found
                 : r.Mode == TSQLMemGetMode::Prior ? TSQLMemGetAnswer::BeforeFirst
                                                   : TSQLMemGetAnswer::NotFound;
        return true;
    }
    if (r.FromLast) {
        lowest = false;
        answer = r.Mode == TSQLMemGetMode::Prior  ? TSQLMemGetAnswer::Found
                 : r.Mode == TSQLMemGetMode::Next ? TSQLMemGetAnswer::AfterLast
                                                  : TSQLMemGetAnswer::NotFound;
        return true;
    }
    return false;
}

void TSQLMemRecordCopier::addSegment(std::int32_t offset, std::int32_t length, std::uint8_t text) {
    // Adjacent fixed fields become one move.
    if (!text && !m_segments.empty() && !m_segments.back().text &&
        m_segments.back().offset + m_segments.back().length == offset) {
        m_segments.back().length += length;
        return;
    }
    m_segments.push_back({offset, length, text});
}

std::int32_t TSQLMemRecordCopier::textLength(const std::uint8_t* p, std::int32_t width,
                                             std::uint8_t text) {
    if (text == 1)
        return static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(p), width));
    std::int32_t n = 0;
    while (n + 1 < width && (p[n] | p[n + 1]))
        n += 2;
    return n;
}

void TSQLMemRecordCopier::copyOut(std::uint8_t* dest, const std::uint8_t* src) const {
    for (const Segment& s : m_segments) {
        if (!s.text) {
            std::memcpy(dest + s.offset, src + s.offset, s.length);
            continue;
        }
        // Only what the previous text left behind needs clearing: the rest
        // of a destination text field is zero already.
        const std::int32_t n = textLength(src + s.offset, s.length, s.text);
        const std::int32_t had = textLength(dest + s.offset, s.length, s.text);
        std::memcpy(dest + s.offset, src + s.offset, n);
        if (had > n) std::memset(dest + s.offset + n, 0, had - n);
    }
}

void TSQLMemRecordCopier::prefetch(const std::uint8_t* src) const {
    // A text is mostly short: its first lines are what copyOut reads.
    constexpr std::int32_t kTextSpan = 2 * kCacheLine;
    for (const Segment& s : m_segments) {
        const std::int32_t span = s.text ? std::min(s.length, kTextSpan) : s.length;
        for (std::int32_t o = 0; o < span; o += kCacheLine)
            __builtin_prefetch(src + s.offset + o);
        __builtin_prefetch(src + s.offset + span - 1);
    }
}

void TSQLMemRecordCopier::copyOntoZero(std::uint8_t* dest, const std::uint8_t* src) const {
    for (const Segment& s : m_segments) {
        const std::int32_t n = s.text ? textLength(src + s.offset, s.length, s.text) : s.length;
        std::memcpy(dest + s.offset, src + s.offset, n);
    }
}

TSQLMemBaseRecordManager::TSQLMemBaseRecordManager(TSQLMemTableData* owner, std::int32_t recordSize)
    : TSQLMemLockable("TSQLMemBaseRecordManager"), m_recordSize(recordSize), m_owner(owner) {}

TSQLMemMemoryRecordManager::TSQLMemMemoryRecordManager(TSQLMemTableData* owner,
                                                       std::int32_t recordSize,
                                                       std::int32_t allocBy)
    : TSQLMemBaseRecordManager(owner, recordSize), m_allocBy(allocBy > 0 ? allocBy : 1) {
    if (recordSize <= 0) throw ESQLMemException(10011, "Invalid record size = 0");
    for (int b = 0; b < 256; ++b)
        m_zeroBitCount[b] = static_cast<std::uint8_t>(8 - __builtin_popcount(b));
}

void TSQLMemMemoryRecordManager::setDeleted(std::int32_t slot, bool deleted) {
    std::uint8_t& byte = m_bitmap.data()[slot >> 3];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (slot & 7));
    byte = deleted ? (byte | bit) : (byte & ~bit);
}

void TSQLMemMemoryRecordManager::clear() {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    m_slots.reset();
    m_bitmap.reset();
    m_slotCount = 0;
    m_lowest = m_highest = 0;
    m_recordCount = 0;
    m_everUsed = 0;
}

bool TSQLMemMemoryRecordManager::add(const std::uint8_t* record, TSQLMemRecordID& id) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    const std::int32_t slot = m_recordCount == 0 ? 0 : m_highest + 1;
    if (m_recordCount != 0 && m_highest == INT32_MAX) return false;
    if (slot >= m_slotCount) {
        if (m_slotCount > INT32_MAX - m_allocBy) return false;
        const std::int32_t grown = m_slotCount + m_allocBy;
        // Roll the slot array back if the bitmap cannot grow, so that a failed
        // add changes nothing.
        const std::size_t oldSlotBytes = m_slots.size();
        try {
            m_slots.resize(static_cast<std::size_t>(grown) * m_recordSize);
        } catch (const ESQLMemException&) {
            return false;
        }
        try {
            m_bitmap.resize((static_cast<std::size_t>(grown) + 7) / 8);
        } catch (const ESQLMemException&) {
            try {
                m_slots.resize(oldSlotBytes);
            } catch (const ESQLMemException&) {
                // a shrink that fails leaves a larger array: harmless
            }
            return false;
        }
        m_slotCount = grown;
    }
    std::uint8_t* dest = m_slots.data() + static_cast<std::size_t>(slot) * m_recordSize;
    if (m_copier && slot >= m_everUsed)
        m_copier->copyOntoZero(dest, record);
    else
        std::memcpy(dest, record, m_recordSize);
    if (slot >= m_everUsed) m_everUsed = slot + 1;
    setDeleted(slot, false);
    ++m_recordCount;
    if (slot < m_lowest) m_lowest = slot;
    if (slot > m_highest) m_highest = slot;
    id.PageNo = slot;
    id.PageItemNo = 0;
    return true;
}

bool TSQLMemMemoryRecordManager::update(const std::uint8_t* record, const TSQLMemRecordID& id) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    if (!liveInBounds(id.PageNo)) return false;
    std::memcpy(m_slots.data() + static_cast<std::size_t>(id.PageNo) * m_recordSize, record,
                m_recordSize);
    return true;
}

bool TSQLMemMemoryRecordManager::remove(const TSQLMemRecordID& id, TSQLMemRecordID& neighbour) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    const std::int32_t slot = id.PageNo;
    if (!liveInBounds(slot)) return false;
    setDeleted(slot, true);
    --m_recordCount;
    neighbour = TSQLMemRecordID{};
    if (m_recordCount == 0) {
        m_lowest = m_highest = 0;
    } else {
        if (slot == m_lowest) {
            std::int32_t s = slot + 1;
            while (isDeleted(s))
                ++s;  // a live slot lies above: count > 0
            m_lowest = s;
        }
        if (slot == m_highest) {
            std::int32_t s = slot - 1;
            while (isDeleted(s))
                --s;
            m_highest = s;
            neighbour = TSQLMemRecordID{s, 0};
        }
    }
    m_noHoles = 0;
    return true;
}

void TSQLMemMemoryRecordManager::takeBackLast(const TSQLMemRecordID& id) {
    // The record was the highest: removing it restores the bounds; only the
    // "never deleted" mark must not change.
    const std::uint8_t noHoles = m_noHoles;
    TSQLMemRecordID ignored;
    remove(id, ignored);
    m_noHoles = noHoles;
}

bool TSQLMemMemoryRecordManager::exists(const TSQLMemRecordID& id) const {
    // Bits above the highest live slot carry no meaning (growth leaves them
    // clear), so the bounds are checked as well as the bit.
    return liveInBounds(id.PageNo);
}

void TSQLMemMemoryRecordManager::get(TSQLMemGetRequest& r) const {
    auto& self = const_cast<TSQLMemMemoryRecordManager&>(*this);
    LockGuard g(self, TSQLMemLockMode::Read);
    if (m_recordCount == 0) {
        r.Answer = TSQLMemGetAnswer::AfterLast;
        return;
    }
    std::int32_t slot = r.Slot;
    TSQLMemGetAnswer answer = TSQLMemGetAnswer::NotFound;
    bool lowest = false;
    if (answerFromEnd(r, answer, lowest)) {
        if (answer == TSQLMemGetAnswer::Found) slot = lowest ? m_lowest : m_highest;
    } else if (r.Mode == TSQLMemGetMode::Current) {
        answer = liveInBounds(slot) ? TSQLMemGetAnswer::Found : TSQLMemGetAnswer::NotFound;
    } else if (r.Mode == TSQLMemGetMode::Next) {
        answer = TSQLMemGetAnswer::AfterLast;
        if (slot < m_slotCount - 1) {
            for (std::int32_t s = slot < 0 ? 0 : slot + 1; s <= m_highest && s < m_slotCount; ++s) {
                if (!isDeleted(s)) {
                    slot = s;
                    answer = TSQLMemGetAnswer::Found;
                    break;
                }
            }
        }
    } else {
        answer = TSQLMemGetAnswer::BeforeFirst;
        if (slot >= 1) {
            std::int32_t s = slot - 1 > m_highest ? m_highest : slot - 1;
            for (; s >= m_lowest; --s) {
                if (!isDeleted(s)) {
                    slot = s;
                    answer = TSQLMemGetAnswer::Found;
                    break;
                }
            }
        }
    }
    r.Answer = answer;
    if (answer == TSQLMemGetAnswer::Found) {
        r.Slot = slot;
        // The identifier is (slot, 0): a request that started from no record carries -1.
        r.ItemNo = 0;
        r.FromFirst = r.FromLast = false;
        if (r.Dest) {
            const std::uint8_t* src =
                m_slots.data() + static_cast<std::size_t>(slot) * m_recordSize;
            if (m_copier)
                m_copier->copyOut(r.Dest, src);
            else
                std::memcpy(r.Dest, src, m_recordSize);
        }
    }
}

std::int64_t TSQLMemMemoryRecordManager::approximatePosition(const TSQLMemRecordID& id) const {
    const std::int32_t slot = id.PageNo;
    if (m_recordCount == 0 || slot < m_lowest || slot > m_highest) return -1;
    if (m_recordCount == 1) return 1;
    const double ratio = static_cast<double>(slot - m_lowest) / static_cast<double>(m_recordCount);
    return static_cast<std::int64_t>(std::nearbyint(ratio * (m_highest - m_lowest))) + 1;
}

void TSQLMemMemoryRecordManager::writeStateImage(std::vector<std::uint8_t>& out) const {
    appendLE<std::int32_t>(out, m_slotCount);
    out.push_back(m_noHoles);
    appendLE<std::int32_t>(out, m_lowest);
    appendLE<std::int32_t>(out, m_highest);
    if (m_slotCount > 0)
        out.insert(out.end(), m_bitmap.data(),
                   m_bitmap.data() + (static_cast<std::size_t>(m_slotCount) + 7) / 8);
}

void TSQLMemMemoryRecordManager::readStateImage(TByteReader& in, std::int64_t records,
                                                std::uint64_t bytesBeyond) {
    constexpr int kSlots = 10449, kNoHoles = 10450, kLowest = 10451, kHighest = 10452,
                  kBitmap = 10453;
    if (m_recordCount != 0 || m_slotCount != 0)
        throw std::logic_error("a table image loads into an empty record store");
    const std::int32_t slotCount = in.readI32(kSlots);
    const std::uint8_t noHoles = in.readU8(kNoHoles);
    const std::int32_t lowest = in.readI32(kLowest);
    const std::int32_t highest = in.readI32(kHighest);
    if (slotCount < 0) in.fail(slotCount, kSlots);
    const std::size_t bitmapBytes = (static_cast<std::size_t>(slotCount) + 7) / 8;
    const std::uint8_t* bits = in.readBytes(static_cast<std::int64_t>(bitmapBytes), kBitmap);
    if (records < 1 || records > slotCount)
        throw ESQLMemException(10847, "Invalid record No = %d", {records});
    // The slots the records will take: the first ones, or past every hole.
    const auto deleted = [&](std::int64_t slot) { return (bits[slot / 8] >> (slot % 8)) & 1; };
    std::int64_t first = -1, last = -1;
    if (noHoles) {
        first = 0;
        last = records - 1;
    } else {
        std::int64_t placed = 0;
        for (std::int64_t slot = 0; slot < slotCount && placed < records; ++slot) {
            if (deleted(slot)) continue;
            if (placed++ == 0) first = slot;
            last = slot;
        }
        if (placed < records) throw ESQLMemException(10847, "Invalid record No = %d", {placed + 1});
    }
    if (lowest != first) in.fail(lowest, kLowest);
    if (highest != last) in.fail(highest, kHighest);
    // Every record is a record's size of what is left (its BLOBs follow it).
    if (static_cast<std::uint64_t>(records) >
        (in.remaining() + bytesBeyond) / static_cast<std::uint64_t>(m_recordSize))
        in.fail(records * m_recordSize, kSlots);

    const std::int32_t used = highest + 1;
    // The slots come as the records do (placeLoaded): what is made follows
    // the bytes that arrive, not the counts that announce them, and each
    // growth faults its pages in at once.
    EngineBlock slots, bitmap;
    bitmap.resize((static_cast<std::size_t>(used) + 7) / 8);
    // The holes below the highest slot stay holes; above it, as in a store
    // that never went there, nothing is marked.
    for (std::int32_t slot = 0; slot < used; ++slot)
        if (!noHoles && deleted(slot))
            bitmap.data()[slot >> 3] |= static_cast<std::uint8_t>(1u << (slot & 7));
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    m_slots = std::move(slots);
    m_bitmap = std::move(bitmap);
    m_slotCount = used;
    m_noHoles = noHoles ? 255 : 0;
    m_lowest = lowest;
    m_highest = highest;
    m_everUsed = used;
    m_loadSlot = 0;
}

TSQLMemRecordID TSQLMemMemoryRecordManager::placeLoaded(const std::uint8_t* record) {
    LockGuard g(*this, TSQLMemLockMode::Write);
    ++m_changeStamp;
    while (m_loadSlot < m_slotCount && isDeleted(m_loadSlot))
        ++m_loadSlot;
    if (m_loadSlot >= m_slotCount)
        throw ESQLMemException(10847, "Invalid record No = %d", {m_recordCount + 1});
    const std::int32_t slot = m_loadSlot++;
    const std::size_t needed = (static_cast<std::size_t>(slot) + 1) * m_recordSize;
    if (m_slots.size() < needed)
        m_slots.resize(std::min(static_cast<std::size_t>(m_slotCount) * m_recordSize,
                                std::max(needed, 2 * m_slots.size())));
    // Onto a zero slot: whatever an image holds past a text's end stays out,
    // as every stored record's text tails are zero.
    std::uint8_t* dest = m_slots.data() + static_cast<std::size_t>(slot) * m_recordSize;
    if (m_copier)
        m_copier->copyOntoZero(dest, record);
    else
        std::memcpy(dest, record, m_recordSize);
    ++m_recordCount;
    return TSQLMemRecordID{slot, 0};
}

bool TSQLMemMemoryRecordManager::numberToSlot(std::int64_t number, std::int32_t& slot) const {
    if (number < 1 || number > m_recordCount) return false;
    if (m_noHoles) {
        slot = static_cast<std::int32_t>(number - 1);
        return true;
    }
    const std::size_t bytes = m_bitmap.size();
    const std::uint8_t* bits = m_bitmap.data();
    std::int64_t total = 0;
    std::size_t i = 0;
    while (i < bytes && total + m_zeroBitCount[bits[i]] < number)
        total += m_zeroBitCount[bits[i++]];
    if (i >= bytes)
        throw ESQLMemException(
            10457, "Invalid bit no = %d, number of bits = %d",
            {static_cast<std::int64_t>(i * 8), static_cast<std::int64_t>(bytes * 8)});
    for (int bit = 0; bit < 8; ++bit) {
        if (!((bits[i] >> bit) & 1) && ++total == number) {
            slot = static_cast<std::int32_t>(i * 8 + bit);
            return true;
        }
    }
    return false;  // unreachable: the byte held enough clear bits
}

std::int64_t TSQLMemMemoryRecordManager::slotToNumber(std::int32_t slot) const {
    if (slot < 0 || slot >= m_slotCount) return -1;
    if (m_noHoles) return static_cast<std::int64_t>(slot) + 1;
    const std::uint8_t* bits = m_bitmap.data();
    std::int64_t n = 0;
    const std::int32_t byte = slot >> 3;
    for (std::int32_t i = 0; i < byte; ++i)
        n += m_zeroBitCount[bits[i]];
    for (int bit = 0; bit <= (slot & 7); ++bit)
        if (!((bits[byte] >> bit) & 1)) ++n;
    return n;
}

}  // namespace sqlmem
