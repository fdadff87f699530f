#include "storage/table_search.h"

#include <algorithm>
#include <cstring>

#include "sqlmem/exception.h"
#include "storage/btree_index.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

namespace sqlmem {

// --- the search ---------------------------------------------------------------------

namespace {

constexpr std::int32_t kScanAhead = 8;  // records
constexpr std::int32_t kCacheLine = 64;

// Conditions of one search; the bounds made from expressions are owned by
// the search (m_ownedBounds).
using Condition = TSQLMemScanSearchCondition;

bool isLower(TSQLMemIndexMode mode) {
    return mode == TSQLMemIndexMode::Greater || mode == TSQLMemIndexMode::GreaterEqual;
}
bool isUpper(TSQLMemIndexMode mode) {
    return mode == TSQLMemIndexMode::Less || mode == TSQLMemIndexMode::LessEqual;
}
bool isExclusive(TSQLMemIndexMode mode) {
    return mode == TSQLMemIndexMode::Less || mode == TSQLMemIndexMode::Greater;
}

class Searcher {
public:
    Searcher(TSQLMemTableData& table, TSQLMemLocalCursor& cursor, TSQLMemBaseRecordManager& records,
             int session, const TSQLMemSearchRequest& request)
        : m_table(table), m_cursor(cursor), m_rm(records), m_session(session), m_request(request) {}

    bool run();

private:
    TSQLMemBTreeIndex& index(std::int32_t id) { return m_table.indexManager().index(id); }
    void collect();
    // False when the conditions contradict each other.
    bool merge();
    // 1 keep both, 0 the pair is empty, 2 keep only a, 3 keep only b; for
    // 4 `a` was replaced by an equality.
    int intersect(Condition& a, const Condition& b);
    void choose();
    bool scan();
    // The record's bytes, lent by the store or copied into `buffer`;
    // nullptr when it does not exist.
    const std::uint8_t* recordOf(const TSQLMemRecordID& id, EngineBytes& buffer);
    bool accept(const std::uint8_t* record);
    bool boundHolds(const Condition& c, const std::uint8_t* record);
    int compareBounds(TSQLMemBTreeIndex& index, const std::uint8_t* a, const std::uint8_t* b,
                      int columns);
    TSQLMemIndexBound bound(const Condition* c) const {
        return c ? TSQLMemIndexBound{c->Bound, c->Columns, c->Mode} : TSQLMemIndexBound{};
    }
    // Answers one accepted record: true to stop.
    bool offer(const TSQLMemRecordID& id);
    bool naturalScan();

    TSQLMemTableData& m_table;
    TSQLMemLocalCursor& m_cursor;
    TSQLMemBaseRecordManager& m_rm;
    int m_session;
    const TSQLMemSearchRequest& m_request;
    std::vector<Condition> m_conditions;
    std::vector<EngineBytes> m_ownedBounds;
    // The chosen path: the start and end bounds on one index, or none.
    const Condition* m_start = nullptr;
    const Condition* m_end = nullptr;
    std::vector<const Condition*> m_chosen;
    // Copies of records the store cannot lend; sized on first need, since
    // an in-memory store lends every record and a join probe searches often.
    EngineBytes m_record, m_current;
    EngineBytes m_keyA, m_keyB;
    bool m_found = false;
    TSQLMemRecordID m_answer;
    // Whether a scanned record must be read and tested at all.
    bool m_needsTest = true;
    // What the predicates leave to test once their index conditions are out.
    std::vector<std::unique_ptr<TSQLMemRecordPredicate>> m_rests;
};

void Searcher::collect() {
    if (const TSQLMemScanSearchCondition* e = m_request.Extra) m_conditions.push_back(*e);
    auto predicate = [&](TSQLMemRecordPredicate* p) {
        if (p) m_conditions.push_back({TSQLMemIndexMode::None, -1, 0, nullptr, p});
    };
    predicate(m_request.Predicate);
    predicate(m_cursor.filter());
    predicate(m_cursor.JoinFilter);
    if (m_cursor.IndexId >= 0) {
        if (m_cursor.RangeStart)
            m_conditions.push_back({m_cursor.RangeStart->Exclusive ? TSQLMemIndexMode::Greater
                                                                   : TSQLMemIndexMode::GreaterEqual,
                                    m_cursor.IndexId, m_cursor.RangeStart->Columns,
                                    m_cursor.RangeStart->Record.data(), nullptr});
        if (m_cursor.RangeEnd)
            m_conditions.push_back({m_cursor.RangeEnd->Exclusive ? TSQLMemIndexMode::Less
                                                                 : TSQLMemIndexMode::LessEqual,
                                    m_cursor.IndexId, m_cursor.RangeEnd->Columns,
                                    m_cursor.RangeEnd->Record.data(), nullptr});
    }
}

int Searcher::compareBounds(TSQLMemBTreeIndex& idx, const std::uint8_t* a, const std::uint8_t* b,
                            int columns) {
    const std::size_t k = static_cast<std::size_t>(idx.keyRef().keySize);
    m_keyA.resize(k);
    m_keyB.resize(k);
    idx.buildKey(a, m_keyA.data());
    idx.buildKey(b, m_keyB.data());
    return idx.compareKeys(m_keyA.data(), m_keyB.data(), columns);
}

int Searcher::intersect(Condition& a, const Condition& b) {
    TSQLMemBTreeIndex& idx = index(a.IndexId);
    const int common = std::min(a.Columns, b.Columns);
    const int c = compareBounds(idx, a.Bound, b.Bound, common);
    if (a.Mode == TSQLMemIndexMode::Equal && b.Mode == TSQLMemIndexMode::Equal) {
        if (c != 0) return 0;
        return b.Columns > a.Columns ? 3 : 2;
    }
    if (a.Mode == TSQLMemIndexMode::Equal || b.Mode == TSQLMemIndexMode::Equal) {
        const Condition& eq = a.Mode == TSQLMemIndexMode::Equal ? a : b;
        const Condition& bd = a.Mode == TSQLMemIndexMode::Equal ? b : a;
        const int ce = a.Mode == TSQLMemIndexMode::Equal ? c : -c;  // equality against bound
        const bool keepEq = a.Mode == TSQLMemIndexMode::Equal;
        if ((isLower(bd.Mode) && ce < 0) || (isUpper(bd.Mode) && ce > 0)) return 0;
        if (ce != 0) return keepEq ? 2 : 3;
        if (eq.Columns >= bd.Columns) {
            if (isExclusive(bd.Mode)) return 0;
            return keepEq ? 2 : 3;
        }
        return 1;  // fewer columns than the bound: both must hold
    }
    if ((isLower(a.Mode) && isLower(b.Mode)) || (isUpper(a.Mode) && isUpper(b.Mode))) {
        // The tighter bound: the larger lower bound, the smaller upper bound.
        int pick = isLower(a.Mode) ? (c > 0 ? 2 : 3) : (c < 0 ? 2 : 3);
        if (c == 0) {
            if (isExclusive(a.Mode) != isExclusive(b.Mode))
                pick = isExclusive(a.Mode) ? 2 : 3;
            else if (isExclusive(a.Mode))
                pick = a.Columns <= b.Columns ? 2 : 3;
            else
                pick = a.Columns >= b.Columns ? 2 : 3;
        }
        return pick;
    }
    // One lower and one upper bound.
    const Condition& lo = isLower(a.Mode) ? a : b;
    const Condition& hi = isLower(a.Mode) ? b : a;
    const int cl = isLower(a.Mode) ? c : -c;  // lower against upper
    if (cl > 0) return 0;
    if (cl == 0) {
        if ((isExclusive(lo.Mode) && lo.Columns <= hi.Columns) ||
            (isExclusive(hi.Mode) && hi.Columns <= lo.Columns))
            return 0;
        if (!isExclusive(lo.Mode) && !isExclusive(hi.Mode) && lo.Columns == hi.Columns) {
            a.Mode = TSQLMemIndexMode::Equal;
            a.Bound = lo.Bound;
            a.Columns = lo.Columns;
            return 4;
        }
    }
    return 1;
}

bool Searcher::merge() {
    // The index conditions the predicates offer; each predicate is replaced
    // by what it leaves to test.
    std::vector<Condition> split;
    std::vector<TSQLMemIndexCondition> offered;
    for (const Condition& c : m_conditions) {
        if (c.isIndex() || !c.Predicate) {
            split.push_back(c);
            continue;
        }
        offered.clear();
        auto rest = c.Predicate->splitForIndexes(m_table.fieldDefs(), m_table.indexDefs(), offered);
        if (rest)
            split.push_back({TSQLMemIndexMode::None, -1, 0, nullptr,
                             m_rests.emplace_back(std::move(rest)).get()});
        for (const TSQLMemIndexCondition& ic : offered) {
            if (ic.Impossible) return false;
            const int defNo = m_table.indexDefs().indexOfId(ic.IndexId);
            if (defNo < 0) throw ESQLMemException(30171, "Index not found");
            const TSQLMemIndexDef& def = m_table.indexDefs()[defNo];
            const int field = m_table.fieldDefs().indexOfName(def.Columns.front().FieldName);
            if (field < 0) throw ESQLMemException(30171, "Index not found");
            EngineBytes& record =
                m_ownedBounds.emplace_back(static_cast<std::size_t>(m_rm.recordSize()));
            if (ic.NullKey)
                record_layout::setNull(record.data(), field, true);
            else
                std::memcpy(record.data() + m_table.fieldDefs()[field].MemoryOffset, ic.Key.data(),
                            ic.Key.size());
            split.push_back({ic.Mode, ic.IndexId, 1, record.data(), nullptr});
        }
    }
    m_conditions = std::move(split);
    // Group per index in order of first appearance and intersect every pair
    // until nothing changes: a pair that became an equality must still meet
    // every other bound on that index.
    std::vector<Condition> indexConditions, predicates;
    std::vector<std::int32_t> order;
    for (const Condition& c : m_conditions) {
        if (!c.isIndex()) {
            predicates.push_back(c);
            continue;
        }
        if (std::find(order.begin(), order.end(), c.IndexId) == order.end())
            order.push_back(c.IndexId);
    }
    for (std::int32_t id : order) {
        std::vector<Condition> kept;
        for (const Condition& c : m_conditions)
            if (c.isIndex() && c.IndexId == id) kept.push_back(c);
        for (bool changed = true; changed;) {
            changed = false;
            for (std::size_t i = 0; i < kept.size() && !changed; ++i)
                for (std::size_t j = i + 1; j < kept.size() && !changed; ++j) {
                    const int r = intersect(kept[i], kept[j]);
                    if (r == 0) return false;
                    if (r == 1) continue;
                    // 2 and 4 keep kept[i] (4 made it the equality), 3 keeps kept[j].
                    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(r == 3 ? i : j));
                    changed = true;
                }
        }
        // Duplicates: same mode, columns and key.
        for (std::size_t i = 0; i < kept.size(); ++i)
            for (std::size_t j = i + 1; j < kept.size();) {
                if (kept[i].Mode == kept[j].Mode && kept[i].Columns == kept[j].Columns &&
                    compareBounds(index(id), kept[i].Bound, kept[j].Bound, kept[i].Columns) == 0)
                    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(j));
                else
                    ++j;
            }
        indexConditions.insert(indexConditions.end(), kept.begin(), kept.end());
    }
    m_conditions = std::move(indexConditions);
    m_conditions.insert(m_conditions.end(), predicates.begin(), predicates.end());
    return true;
}

void Searcher::choose() {
    std::vector<std::size_t> indexed;
    for (std::size_t i = 0; i < m_conditions.size(); ++i)
        if (m_conditions[i].isIndex()) indexed.push_back(i);
    if (indexed.empty()) return;
    auto partnerOf = [&](std::size_t i) -> const Condition* {
        const std::size_t next = i + 1;
        if (next < m_conditions.size() && m_conditions[next].isIndex() &&
            m_conditions[next].IndexId == m_conditions[i].IndexId)
            return &m_conditions[next];
        return nullptr;
    };
    const Condition* first = nullptr;
    const Condition* second = nullptr;
    // 1. An equality on a unique or auto-increment-keyed index.
    for (std::size_t i : indexed) {
        const Condition& c = m_conditions[i];
        if (c.Mode != TSQLMemIndexMode::Equal) continue;
        TSQLMemBTreeIndex& idx = index(c.IndexId);
        const TSQLMemFieldDef* f =
            m_table.fieldDefs().findByName(idx.definition().Columns[0].FieldName);
        if (idx.unique() || (f && isAutoIncType(f->AdvancedType))) {
            first = &c;
            break;
        }
    }
    // 2. The one condition, on the cursor's own index.
    if (!first && indexed.size() == 1 && m_conditions[indexed[0]].IndexId == m_cursor.IndexId)
        first = &m_conditions[indexed[0]];
    // 3. The candidate with the smallest estimate, if small enough.
    if (!first) {
        const std::int64_t total = m_table.recordCount();
        std::int64_t best = total;
        const Condition* bestA = nullptr;
        const Condition* bestB = nullptr;
        for (std::size_t k = 0; k < indexed.size(); ++k) {
            const std::size_t i = indexed[k];
            const Condition* a = &m_conditions[i];
            const Condition* b = partnerOf(i);
            const TSQLMemIndexBound ba = bound(a), bb = bound(b ? b : a);
            const std::int64_t estimate = index(a->IndexId).estimateRange(m_session, ba, bb, total);
            if (estimate < best) {
                best = estimate;
                bestA = a;
                bestB = b;
            }
            if (b) ++k;
        }
        std::int64_t limit = total;
        if (m_cursor.IndexId < 0) {
            std::int64_t position = 0;
            if (!m_request.FromEnd && !m_cursor.AtStart && !m_cursor.AtEnd &&
                !m_cursor.CurrentId.isNull())
                position = std::max<std::int64_t>(0, m_rm.approximatePosition(m_cursor.CurrentId));
            limit = (total - position) / 5;
        }
        if (bestA && best * best <= limit) {
            first = bestA;
            second = bestB;
        }
    }
    // 4. The first index condition, with its partner on the same index: a
    // bounded range is not worth scanning to the end of the index.
    if (!first) {
        first = &m_conditions[indexed[0]];
        second = partnerOf(indexed[0]);
    }
    m_chosen = {first};
    if (second) m_chosen.push_back(second);
    if (!second) {
        m_start = first;
        return;
    }
    // The lower side starts a forward scan. An equality paired with a bound
    // of more columns is the lower side against an upper bound and the upper
    // side against a lower one.
    const int direction = TSQLMemBTreeIndex::boundDirection(first->Mode);
    const bool firstIsLower =
        direction == -1 ||
        (direction == 0 && TSQLMemBTreeIndex::boundDirection(second->Mode) != -1);
    const Condition* lower = firstIsLower ? first : second;
    const Condition* upper = firstIsLower ? second : first;
    m_start = m_request.Forward ? lower : upper;
    m_end = m_request.Forward ? upper : lower;
}

const std::uint8_t* Searcher::recordOf(const TSQLMemRecordID& id, EngineBytes& buffer) {
    if (m_request.Trace) ++m_request.Trace->RecordsRead;
    return m_rm.lend(m_session, id, buffer);
}

bool Searcher::boundHolds(const Condition& c, const std::uint8_t* record) {
    const int cmp = compareBounds(index(c.IndexId), record, c.Bound, c.Columns);
    switch (c.Mode) {
        case TSQLMemIndexMode::Equal:
            return cmp == 0;
        case TSQLMemIndexMode::Less:
            return cmp < 0;
        case TSQLMemIndexMode::Greater:
            return cmp > 0;
        case TSQLMemIndexMode::LessEqual:
            return cmp <= 0;
        case TSQLMemIndexMode::GreaterEqual:
            return cmp >= 0;
        case TSQLMemIndexMode::None:
            break;
    }
    return true;
}

bool Searcher::accept(const std::uint8_t* record) {
    for (const Condition& c : m_conditions) {
        if (std::find(m_chosen.begin(), m_chosen.end(), &c) != m_chosen.end()) continue;
        if (c.isIndex()) {
            if (!boundHolds(c, record)) return false;
        } else if (c.Predicate && !c.Predicate->test(record)) {
            return false;
        }
    }
    return m_cursor.acceptsEvent(record);
}

bool Searcher::offer(const TSQLMemRecordID& id) {
    if (m_request.Set) {
        m_request.Set->add(id);
        return false;
    }
    m_found = true;
    m_answer = id;
    return true;
}

// Reads in the cursor's order without an index condition.
bool Searcher::naturalScan() {
    TSQLMemBTreeIndex* order = m_cursor.IndexId >= 0 ? &index(m_cursor.IndexId) : nullptr;
    TSQLMemGetRequest r;
    r.Session = m_session;
    r.Mode = m_request.Forward ? TSQLMemGetMode::Next : TSQLMemGetMode::Prior;
    if (m_request.FromEnd || m_cursor.CurrentId.isNull()) {
        r.FromFirst = m_request.Forward;
        r.FromLast = !m_request.Forward;
    } else {
        r.Slot = m_cursor.CurrentId.PageNo;
        r.ItemNo = m_cursor.CurrentId.PageItemNo;
        r.FromFirst = m_cursor.AtStart;
        r.FromLast = m_cursor.AtEnd;
    }
    // An index walk copies each record; the record store lends its bytes.
    if (order) m_record.resize(static_cast<std::size_t>(m_rm.recordSize()));
    r.Dest = order ? m_record.data() : nullptr;
    for (;;) {
        if (order)
            order->getRecord(m_session, r, m_rm);
        else
            m_rm.get(r);
        if (r.Answer != TSQLMemGetAnswer::Found) return false;
        const TSQLMemRecordID id{r.Slot, r.ItemNo};
        if (!order) {
            // A test reads little of each record and records lie far apart:
            // the scan waits on memory unless the start of a record some
            // slots ahead is asked for now.
            const TSQLMemRecordID ahead{
                m_request.Forward ? r.Slot + kScanAhead : r.Slot - kScanAhead, r.ItemNo};
            if (const std::uint8_t* p = m_rm.peek(ahead)) {
                __builtin_prefetch(p);
                __builtin_prefetch(p + kCacheLine - 1);
            }
        }
        const std::uint8_t* record = order ? m_record.data() : recordOf(id, m_record);
        if (order && m_request.Trace) ++m_request.Trace->RecordsRead;
        if (record && accept(record) && offer(id)) return true;
    }
}

bool Searcher::scan() {
    if (m_chosen.empty()) {
        if (m_request.Set && m_conditions.empty() && !m_cursor.eventFilterActive()) return false;
        return naturalScan();
    }
    TSQLMemBTreeIndex& idx = index(m_start->IndexId);
    if (m_request.Trace) {
        m_request.Trace->IndexId = m_start->IndexId;
        m_request.Trace->Pair = m_end != nullptr;
    }
    const TSQLMemIndexBound start = bound(m_start), end = bound(m_end);
    const bool ownOrder = m_start->IndexId == m_cursor.IndexId;
    const bool continuing = ownOrder && !m_request.FromEnd && !m_cursor.AtStart &&
                            !m_cursor.AtEnd && !m_cursor.CurrentId.isNull();
    TSQLMemScanState state;
    TSQLMemRecordID id = m_cursor.CurrentId;
    const std::uint8_t* current = continuing ? recordOf(id, m_current) : nullptr;
    if (continuing && !current) return false;
    // Where the current record stands in the cursor's own index, to find the
    // nearest record found through another one.
    TSQLMemBTreeIndex* order =
        !ownOrder && m_cursor.IndexId >= 0 ? &index(m_cursor.IndexId) : nullptr;
    const bool nearest = !ownOrder && !m_request.FindAny && !m_request.Set;
    TSQLMemKeyPath currentPath, bestPath;
    const bool fromCurrent = nearest && !m_request.FromEnd && !m_cursor.AtStart &&
                             !m_cursor.AtEnd && !m_cursor.CurrentId.isNull();
    if (fromCurrent && order) {
        const std::uint8_t* at = recordOf(m_cursor.CurrentId, m_current);
        if (!at || !order->findEntry(m_session, m_cursor.CurrentId, at, currentPath))
            throw ESQLMemException(
                10386, "Cannot find record position in index %d, RecordID = %d %d",
                {std::int64_t{m_cursor.IndexId}, std::int64_t{m_cursor.CurrentId.PageNo},
                 std::int64_t{m_cursor.CurrentId.PageItemNo}});
    }
    std::vector<std::pair<TSQLMemKeyPath, TSQLMemRecordID>> positioned;  // sets in another order
    bool restart = !continuing;
    while (idx.scanStep(m_session, restart, &state, id, current, m_end ? &end : nullptr, &start,
                        m_request.Forward)) {
        restart = false;
        const std::uint8_t* record = nullptr;
        if (m_needsTest || order) {
            record = recordOf(id, m_record);
            if (!record) continue;
            if (m_needsTest && !accept(record)) continue;
        }
        if (ownOrder || m_request.FindAny) {
            if (offer(id)) return true;
            continue;
        }
        if (order) {
            TSQLMemKeyPath path;
            if (!order->findEntry(m_session, id, record, path))
                throw ESQLMemException(10432,
                                       "Cannot find record position in index %d, RecordID = %d %d",
                                       {std::int64_t{m_cursor.IndexId}, std::int64_t{id.PageNo},
                                        std::int64_t{id.PageItemNo}});
            if (m_request.Set) {
                positioned.emplace_back(path, id);
                continue;
            }
            if (fromCurrent) {
                const int side = order->comparePaths(path, currentPath);
                if (m_request.Forward ? side <= 0 : side >= 0) continue;
            }
            if (!m_found || (m_request.Forward ? order->comparePaths(path, bestPath) < 0
                                               : order->comparePaths(path, bestPath) > 0)) {
                m_found = true;
                m_answer = id;
                bestPath = path;
            }
            continue;
        }
        // Natural order.
        if (m_request.Set) {
            m_request.Set->add(id);
            continue;
        }
        if (fromCurrent) {
            const int side = m_table.compareRecordIds(id, m_cursor.CurrentId);
            if (m_request.Forward ? side <= 0 : side >= 0) continue;
        }
        if (!m_found || (m_request.Forward ? m_table.compareRecordIds(id, m_answer) < 0
                                           : m_table.compareRecordIds(id, m_answer) > 0)) {
            m_found = true;
            m_answer = id;
        }
    }
    if (m_request.Set && !ownOrder) {
        if (order) {
            std::sort(positioned.begin(), positioned.end(), [&](const auto& a, const auto& b) {
                return order->comparePaths(a.first, b.first) < 0;
            });
            for (const auto& [path, rid] : positioned)
                m_request.Set->add(rid);
        } else {
            m_request.Set->sort([&](const TSQLMemRecordID& a, const TSQLMemRecordID& b) {
                return m_table.compareRecordIds(a, b) < 0;
            });
        }
    } else if (m_request.Set) {
        for (const auto& [path, rid] : positioned)
            m_request.Set->add(rid);
    }
    return m_found;
}

bool Searcher::run() {
    collect();
    if (!merge()) {
        if (m_request.Trace) m_request.Trace->Contradiction = true;
        return false;
    }
    choose();
    m_needsTest = m_cursor.eventFilterActive();
    for (const Condition& c : m_conditions) {
        const bool chosen = std::find(m_chosen.begin(), m_chosen.end(), &c) != m_chosen.end();
        if ((c.isIndex() && !chosen) || (!c.isIndex() && c.Predicate)) m_needsTest = true;
    }
    const bool found = scan() && !m_request.Set;
    if (found && m_request.Found) *m_request.Found = m_answer;
    return found;
}

}  // namespace

bool TSQLMemTableData::search(TSQLMemLocalCursor& cursor, const TSQLMemSearchRequest& request) {
    TSQLMemBaseRecordManager& rm = records(10013);
    LockGuard g(*this, TSQLMemLockMode::Read);
    struct Release {
        TSQLMemTableData& t;
        ~Release() { t.m_indexManager->releasePages(t.m_session); }
    } release{*this};
    if (rm.recordCount() == 0) return false;
    return Searcher(*this, cursor, rm, m_session, request).run();
}

}  // namespace sqlmem
