// Moving a filtered or ranged cursor: within the set of records it can see,
// built by a search on first use and rebuilt once the table or the rules
// change.
#include <algorithm>

#include "sqlmem/exception.h"
#include "storage/btree_index.h"
#include "storage/local_cursor.h"
#include "storage/table_data.h"

namespace sqlmem {

TSQLMemRecordBitmap& TSQLMemTableData::visibleRecords(TSQLMemLocalCursor& cursor) {
    const std::uint64_t stamp = records(10013).changeStamp();
    const bool withEvent = cursor.eventFilterActive();
    if (!cursor.Visible || cursor.VisibleStamp != stamp || cursor.VisibleIndex != cursor.IndexId ||
        cursor.VisibleWithEvent != withEvent) {
        auto set = std::make_unique<TSQLMemRecordBitmap>();
        TSQLMemSearchRequest request;
        request.Set = set.get();
        cursor.LastVisibleSearch = {};
        request.Trace = &cursor.LastVisibleSearch;
        search(cursor, request);
        cursor.Visible = std::move(set);
        cursor.VisibleStamp = stamp;
        cursor.VisibleIndex = cursor.IndexId;
        cursor.VisibleWithEvent = withEvent;
    }
    return *cursor.Visible;
}

TSQLMemGetAnswer TSQLMemTableData::getVisibleRecord(TSQLMemLocalCursor& cursor, TSQLMemGetMode mode,
                                                    std::uint8_t* dest) {
    TSQLMemRecordBitmap& set = visibleRecords(cursor);
    TSQLMemBaseRecordManager& rm = records(10013);
    const std::int32_t n = set.count();
    auto place = [&](std::int32_t number) {
        const TSQLMemRecordID id = set.item(number);
        if (dest && !rm.copyRecord(m_session, id, dest)) return TSQLMemGetAnswer::NotFound;
        cursor.CurrentId = id;
        cursor.AtStart = cursor.AtEnd = false;
        cursor.VisiblePosition = number;
        return TSQLMemGetAnswer::Found;
    };
    // Where the cursor stands among the visible records: on one, or between
    // two when its record is not (or no longer) visible. A walk asks for the
    // neighbour of the record it was just given, so the last place is tried
    // before the numbering.
    std::int32_t at = 0;
    if (!cursor.AtStart && !cursor.AtEnd) {
        const std::int32_t hint = cursor.VisiblePosition;
        at = hint >= 1 && hint <= n && set.item(hint) == cursor.CurrentId
                 ? hint
                 : set.numberOf(cursor.CurrentId);
    }
    if (mode == TSQLMemGetMode::Current) return at ? place(at) : TSQLMemGetAnswer::NotFound;
    std::int32_t before = at;  // visible records that come before the position
    if (cursor.AtStart) {
        at = 0;
        before = 0;
    } else if (cursor.AtEnd) {
        at = 0;
        before = n;
    } else if (at == 0) {
        // Not visible (left the filter, or positioned by bookmark): count
        // the visible records that come before it in the cursor's order.
        const auto& ids = set.ids();
        EngineBytes copy, other;
        TSQLMemBTreeIndex* order = cursorIndex(cursor);
        const std::uint8_t* current = order ? rm.lend(m_session, cursor.CurrentId, copy) : nullptr;
        TSQLMemKeyPath currentPath;
        if (order && current &&
            order->findEntry(m_session, cursor.CurrentId, current, currentPath)) {
            before = 0;
            for (const TSQLMemRecordID& id : ids) {
                const std::uint8_t* record = rm.lend(m_session, id, other);
                if (!record) continue;
                TSQLMemKeyPath path;
                if (order->findEntry(m_session, id, record, path) &&
                    order->comparePaths(path, currentPath) < 0)
                    ++before;
            }
            m_indexManager->releasePages(m_session);
        } else if (const std::uint8_t* kept = order && !current ? cursor.keptRecord() : nullptr) {
            // Deleted by another cursor: placed by the key it was kept with,
            // past the records of an equal key in the direction of the step.
            EngineBytes keptKey(static_cast<std::size_t>(order->keyRef().keySize));
            EngineBytes key(keptKey.size());
            order->buildKey(kept, keptKey.data());
            before = 0;
            for (const TSQLMemRecordID& id : ids) {
                const std::uint8_t* record = rm.lend(m_session, id, other);
                if (!record) continue;
                order->buildKey(record, key.data());
                const int c = order->compareKeys(key.data(), keptKey.data());
                if (c < 0 || (c == 0 && mode == TSQLMemGetMode::Next)) ++before;
            }
        } else {
            before = static_cast<std::int32_t>(std::count_if(
                ids.begin(), ids.end(),
                [&](const auto& id) { return compareRecordIds(id, cursor.CurrentId) < 0; }));
        }
    }
    if (mode == TSQLMemGetMode::Next) {
        const std::int32_t next = at ? at + 1 : before + 1;
        if (next > n) {
            cursor.AtEnd = true;
            cursor.AtStart = false;
            return TSQLMemGetAnswer::AfterLast;
        }
        return place(next);
    }
    const std::int32_t prior = at ? at - 1 : before;
    if (prior < 1) {
        cursor.AtStart = true;
        cursor.AtEnd = false;
        return TSQLMemGetAnswer::BeforeFirst;
    }
    return place(prior);
}

}  // namespace sqlmem
