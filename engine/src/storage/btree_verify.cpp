// Verification of index pages that come from a table image: loading keeps
// the stored trees as they are, so a damaged one must be refused before
// any walk or change trusts its counts, links and keys.
#include <cstring>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "sqlmem/exception.h"
#include "storage/btree_index.h"

namespace sqlmem {

namespace {

constexpr int kErrIndexDamaged = 30419;

class TreeCheck {
public:
    TreeCheck(const TSQLMemBTreeIndex& index, const TSQLMemPageManager& pages,
              const TSQLMemBaseRecordManager& records, std::vector<bool>& seen)
        : m_index(index),
          m_pages(pages),
          m_records(records),
          m_seen(seen),
          m_key(index.keyRef().keySize) {}

    void run() {
        const TSQLMemIndexDef& def = m_index.definition();
        if (m_index.empty()) {
            if (def.StructureNo != -1) fail("its root page number is negative");
            if (m_records.recordCount() != 0) fail("it holds no entries but the table has records");
            return;
        }
        walk(def.StructureNo, 0, nullptr, nullptr);
        for (int level = 0; level < kMaxKeyPathDepth; ++level)
            if (m_lastOnLevel[level] >= 0 &&
                loadLE<std::int32_t>(m_pages.storedPage(m_lastOnLevel[level]) + 6) != -1)
                fail("a level's last page has a next page");
        if (m_entries != m_records.recordCount())
            fail("it holds " + std::to_string(m_entries) + " entries for " +
                 std::to_string(m_records.recordCount()) + " records");
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw ESQLMemException(kErrIndexDamaged, "Index '%s' is damaged: %s",
                               {m_index.definition().Name, why});
    }

    void walk(std::int32_t pageNo, int depth, const std::uint8_t* low, const std::uint8_t* high) {
        const std::int32_t k = m_index.keyRef().keySize;
        if (depth >= kMaxKeyPathDepth) fail("it is deeper than 32 levels");
        if (!m_pages.pageInUse(pageNo)) fail("page " + std::to_string(pageNo) + " is not in use");
        if (m_seen[static_cast<std::size_t>(pageNo)])
            fail("page " + std::to_string(pageNo) + " is reached twice");
        m_seen[static_cast<std::size_t>(pageNo)] = true;
        const std::uint8_t* p = m_pages.storedPage(pageNo);
        if (!p) fail("its pages are not in memory");
        const bool leaf = p[1] != 0;
        if ((p[0] != 0) != (depth == 0))
            fail("page " + std::to_string(pageNo) + " has a wrong root flag");
        if (p[11] != 0 || loadLE<std::uint16_t>(p + 16) != 0 || loadLE<std::uint16_t>(p + 12) != k)
            fail("page " + std::to_string(pageNo) + " has a wrong header");
        const int count = loadLE<std::uint16_t>(p + 14);
        const std::int32_t e = leaf ? k + TSQLMemRecordID::kStoredSize : k + 4;
        // An emptied table keeps its root leaf, with no entries; a root node
        // over one child gives way to it, so none is ever kept.
        if (count < (leaf ? (depth == 0 ? 0 : 1) : 2) ||
            kPageHeaderSize + std::int64_t{count} * e > kPageSize)
            fail("page " + std::to_string(pageNo) + " has a wrong entry count");
        if (loadLE<std::int32_t>(p + 2) != m_lastOnLevel[depth])
            fail("page " + std::to_string(pageNo) + " is chained to a wrong previous page");
        if (m_lastOnLevel[depth] >= 0 &&
            loadLE<std::int32_t>(m_pages.storedPage(m_lastOnLevel[depth]) + 6) != pageNo)
            fail("page " + std::to_string(pageNo) + " is not chained from its previous page");
        m_lastOnLevel[depth] = pageNo;

        const std::uint8_t* entries = p + kPageHeaderSize;
        if (leaf) {
            if (m_leafDepth < 0) m_leafDepth = depth;
            if (depth != m_leafDepth) fail("its leaves lie at different depths");
            for (int i = 0; i < count; ++i)
                checkLeafEntry(entries + i * e, low, high);
            return;
        }
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* sep = i == 0 ? low : entries + i * e;
            const std::uint8_t* next = i + 1 < count ? entries + (i + 1) * e : high;
            if (i > 0 && ((low && m_index.compareKeys(low, sep) > 0) ||
                          (high && m_index.compareKeys(sep, high) > 0) ||
                          (i > 1 && m_index.compareKeys(entries + (i - 1) * e, sep) > 0)))
                fail("page " + std::to_string(pageNo) + " has separators out of order");
            const std::int32_t child = loadLE<std::int32_t>(entries + i * e + k);
            walk(child, depth + 1, sep, next);
        }
    }

    void checkLeafEntry(const std::uint8_t* entry, const std::uint8_t* low,
                        const std::uint8_t* high) {
        const std::int32_t k = m_index.keyRef().keySize;
        if ((low && m_index.compareKeys(low, entry) > 0) ||
            (high && m_index.compareKeys(entry, high) > 0))
            fail("a key lies outside its separators");
        if (m_prevKey) {
            const int order = m_index.compareKeys(m_prevKey, entry);
            if (order > 0 || (order == 0 && m_index.unique()))
                fail(order > 0 ? "its keys are out of order" : "a unique key is repeated");
        }
        m_prevKey = entry;
        const TSQLMemRecordID id = TSQLMemRecordID::load(entry + k);
        // In-memory records are slots: item 0, one entry a slot.
        if (id.PageItemNo != 0 || !m_records.exists(id)) fail("an entry refers to no record");
        const auto slot = static_cast<std::size_t>(id.PageNo);
        if (slot >= m_recordSeen.size()) m_recordSeen.resize(slot + 1);
        if (m_recordSeen[slot]) fail("a record has two entries");
        m_recordSeen[slot] = true;
        const std::uint8_t* record = m_records.lend(0, id, m_buffer);
        if (!record) fail("an entry refers to no record");
        m_index.buildKey(record, m_key.data());
        if (std::memcmp(m_key.data(), entry, static_cast<std::size_t>(k)) != 0)
            fail("an entry's key differs from its record");
        ++m_entries;
    }

    const TSQLMemBTreeIndex& m_index;
    const TSQLMemPageManager& m_pages;
    const TSQLMemBaseRecordManager& m_records;
    std::vector<bool>& m_seen;
    std::vector<bool> m_recordSeen;
    EngineBytes m_key;
    EngineBytes m_buffer;
    std::int32_t m_lastOnLevel[kMaxKeyPathDepth] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int m_leafDepth = -1;
    const std::uint8_t* m_prevKey = nullptr;
    std::int64_t m_entries = 0;
};

}  // namespace

void TSQLMemBTreeIndex::verifyLoaded(const TSQLMemBaseRecordManager& records,
                                     std::vector<bool>& seenPages) const {
    if (seenPages.size() < static_cast<std::size_t>(m_pages.pagesAllocated()))
        seenPages.resize(static_cast<std::size_t>(m_pages.pagesAllocated()));
    TreeCheck(*this, m_pages, records, seenPages).run();
}

}  // namespace sqlmem
