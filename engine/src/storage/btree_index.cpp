#include "storage/btree_index.h"

#include <cmath>
#include <cstring>

#include "platform/bytes.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"
#include "values/stored_compare.h"

namespace sqlmem {
namespace {

bool isRoot(const std::uint8_t* p) {
    return p[0] != 0;
}
bool isLeaf(const std::uint8_t* p) {
    return p[1] != 0;
}
std::int32_t prevOf(const std::uint8_t* p) {
    return loadLE<std::int32_t>(p + 2);
}
std::int32_t nextOf(const std::uint8_t* p) {
    return loadLE<std::int32_t>(p + 6);
}
void setPrev(std::uint8_t* p, std::int32_t v) {
    storeLE<std::int32_t>(p + 2, v);
}
void setNext(std::uint8_t* p, std::int32_t v) {
    storeLE<std::int32_t>(p + 6, v);
}
int countOf(const std::uint8_t* p) {
    return loadLE<std::uint16_t>(p + 14);
}
void setCount(std::uint8_t* p, int n) {
    storeLE<std::uint16_t>(p + 14, static_cast<std::uint16_t>(n));
}

[[noreturn]] void entryNotFound() {
    throw ESQLMemException(20027, "Index error: cannot delete entry. Entry not found");
}

// The level of the separator between the page at `level` and its previous
// sibling (or, with `after`, its next one): the nearest ancestor that has an
// entry on that side of the path. -1 for the first (last) page of its level.
int boundaryLevel(const TSQLMemKeyPath& path, int level, bool after) {
    for (int l = level - 1; l >= 0; --l) {
        const TSQLMemKeyPathItem& it = path.items[l];
        if (after ? it.pos < it.count - 1 : it.pos > 0) return l;
    }
    return -1;
}

}  // namespace

// Undoes the B-tree change it guards unless commit() is reached, and puts
// the root number back with the pages.
class TSQLMemBTreeIndex::ChangeScope {
public:
    ChangeScope(TSQLMemBTreeIndex& index, int session)
        : m_index(index), m_session(session), m_root(index.m_def.StructureNo) {
        m_index.m_pages.beginChange(session);
        m_index.pathChanged();
    }
    ~ChangeScope() {
        if (m_committed) return;
        m_index.m_pages.undoChange(m_session);
        m_index.m_def.StructureNo = m_root;
        m_index.pathChanged();
    }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;
    void commit() {
        m_index.m_pages.endChange(m_session);
        m_committed = true;
    }

private:
    TSQLMemBTreeIndex& m_index;
    int m_session;
    std::int32_t m_root;
    bool m_committed = false;
};

TSQLMemBTreeIndex::TSQLMemBTreeIndex(TSQLMemIndexDef& def, const TSQLMemFieldDefs& fields,
                                     TSQLMemPageManager& pages)
    : m_def(def), m_pages(pages), m_releasedRoot(def.StructureNo) {
    const std::int64_t size = keySizeOf(def, fields);
    if (size > kMaxKeySize)
        throw ESQLMemException(
            20028, "Key of index '%s' is too long: %d bytes, an index key takes at most %d",
            {def.Name, size, std::int64_t{kMaxKeySize}});
    std::int32_t offset = 0;
    for (const TSQLMemIndexColumn& c : def.Columns) {
        const int no = fields.indexOfName(c.FieldName);
        if (no < 0) throw ESQLMemException(20043, "Cannot find index field '%s'", {c.FieldName});
        const TSQLMemFieldDef& f = fields[no];
        m_keyRef.columns.push_back({offset, f.MemoryOffset, no, f.MemoryDataSize, f.BaseType,
                                    c.Descending, c.CaseInsensitive});
        offset += f.MemoryDataSize + 1;
    }
    m_keyRef.keySize = offset;
    m_keyRef.compareColumns = static_cast<std::int32_t>(m_keyRef.columns.size());
}

std::int64_t TSQLMemBTreeIndex::keySizeOf(const TSQLMemIndexDef& def,
                                          const TSQLMemFieldDefs& fields) {
    std::int64_t size = 0;
    for (const TSQLMemIndexColumn& c : def.Columns) {
        const TSQLMemFieldDef* f = fields.findByName(c.FieldName);
        if (!f) return -1;
        size += std::int64_t{f->MemoryDataSize} + 1;
    }
    return size;
}

void TSQLMemBTreeIndex::buildKey(const std::uint8_t* record, std::uint8_t* key) const {
    for (const auto& c : m_keyRef.columns) {
        const bool null = record_layout::isNull(record, c.fieldNo);
        key[c.keyOffset] = null ? 1 : 0;
        if (null)
            std::memset(key + c.keyOffset + 1, 0, c.partSize);
        else
            std::memcpy(key + c.keyOffset + 1, record + c.memoryOffset, c.partSize);
    }
}

int TSQLMemBTreeIndex::compareKeys(const std::uint8_t* a, const std::uint8_t* b,
                                   int columns) const {
    const int n = columns < 0 ? m_keyRef.compareColumns : columns;
    for (int i = 0; i < n; ++i) {
        const auto& c = m_keyRef.columns[i];
        const bool an = a[c.keyOffset] != 0, bn = b[c.keyOffset] != 0;
        int r;
        if (an || bn)
            r = an && bn ? 0 : (an ? -1 : 1);
        else
            r = compareStoredImages(c.baseType, a + c.keyOffset + 1, b + c.keyOffset + 1,
                                    c.partSize, c.caseInsensitive);
        if (r != 0) return c.descending ? -r : r;
    }
    return 0;
}

void TSQLMemBTreeIndex::initPage(std::uint8_t* p, bool root, bool leaf) const {
    std::memset(p, 0, kPageHeaderSize);
    p[0] = root ? 1 : 0;
    p[1] = leaf ? 1 : 0;
    setPrev(p, -1);
    setNext(p, -1);
    storeLE<std::uint16_t>(p + 12, static_cast<std::uint16_t>(m_keyRef.keySize));
}

std::int32_t TSQLMemBTreeIndex::entrySize(const std::uint8_t* page) const {
    return isLeaf(page) ? m_keyRef.leafEntrySize() : m_keyRef.nodeEntrySize();
}

bool TSQLMemBTreeIndex::binarySearch(const std::uint8_t* page, const std::uint8_t* key, int start,
                                     EqualPick pick, int columns, int& pos) const {
    const int count = countOf(page);
    const std::int32_t e = entrySize(page);
    auto entryKey = [&](int i) { return page + kPageHeaderSize + i * e; };
    int low = start, high = count - 1;
    while (low <= high) {
        const int mid = (low + high) / 2;
        const int r = compareKeys(key, entryKey(mid), columns);
        if (r < 0) {
            high = mid - 1;
        } else if (r > 0) {
            low = mid + 1;
        } else {
            pos = mid;
            if (pick == EqualPick::Leftmost)
                while (pos > start && compareKeys(key, entryKey(pos - 1), columns) == 0)
                    --pos;
            else if (pick == EqualPick::Rightmost)
                while (pos < count - 1 && compareKeys(key, entryKey(pos + 1), columns) == 0)
                    ++pos;
            return true;
        }
    }
    pos = low;
    return false;
}

// --- inserting ---------------------------------------------------------------

void TSQLMemBTreeIndex::insertKey(int session, const std::uint8_t* record,
                                  const TSQLMemRecordID& id) {
    ChangeScope change(*this, session);
    EngineBytes entry(m_keyRef.leafEntrySize());
    buildKey(record, entry.data());
    id.store(entry.data() + m_keyRef.keySize);
    if (empty()) {
        const std::int32_t no = m_pages.allocatePage(session);
        PageRef ref(m_pages, session, no);
        std::uint8_t* p = ref.modify();
        initPage(p, true, true);
        p[10] = 1;
        m_def.StructureNo = no;
    }
    TSQLMemKeyPath path;
    std::int32_t pageNo = rootPage();
    for (;;) {
        if (path.depth == kMaxKeyPathDepth) throw ESQLMemException(20020, "Internal index error");
        PageRef ref(m_pages, session, pageNo);
        const std::uint8_t* p = ref.data();
        int pos;
        if (isLeaf(p)) {
            binarySearch(p, entry.data(), 0, EqualPick::Any, -1, pos);
            path.items[path.depth++] = {pageNo, pos, countOf(p)};
            break;
        }
        if (!binarySearch(p, entry.data(), 1, EqualPick::Any, -1, pos)) --pos;
        if (pos < 0) pos = 0;
        path.items[path.depth++] = {pageNo, pos, countOf(p)};
        pageNo = loadLE<std::int32_t>(p + kPageHeaderSize + pos * m_keyRef.nodeEntrySize() +
                                      m_keyRef.keySize);
    }
    insertIntoPage(session, path, path.depth - 1, entry.data());
    change.commit();
}

void TSQLMemBTreeIndex::insertIntoPage(int session, TSQLMemKeyPath& path, int level,
                                       const std::uint8_t* entry) {
    TSQLMemKeyPathItem& item = path.items[level];
    {
        PageRef ref(m_pages, session, item.pageNo);
        std::uint8_t* p = ref.modify();
        const std::int32_t e = entrySize(p);
        const int count = countOf(p);
        std::uint8_t* at = p + kPageHeaderSize + item.pos * e;
        std::memmove(at + e, at, static_cast<std::size_t>(count - item.pos) * e);
        std::memcpy(at, entry, e);
        setCount(p, count + 1);
        item.count = count + 1;
        if (kPageHeaderSize + (count + 1) * e <= kPageSize) return;
    }
    splitPage(session, path, level);
}

void TSQLMemBTreeIndex::splitPage(int session, TSQLMemKeyPath& path, int level) {
    const TSQLMemKeyPathItem item = path.items[level];
    PageRef ref(m_pages, session, item.pageNo);
    std::uint8_t* p = ref.modify();
    const bool leaf = isLeaf(p);
    const std::int32_t e = entrySize(p);
    const int count = countOf(p);
    const int half = count / 2;
    const std::int32_t k = m_keyRef.keySize;
    auto entryAt = [&](std::uint8_t* page, int i) { return page + kPageHeaderSize + i * e; };

    if (isRoot(p)) {
        // A level more than a path can hold would make the tree unwalkable.
        if (path.depth >= kMaxKeyPathDepth) throw ESQLMemException(20020, "Internal index error");
        const std::int32_t a = m_pages.allocatePage(session);
        const std::int32_t b = m_pages.allocatePage(session);
        PageRef ra(m_pages, session, a), rb(m_pages, session, b);
        std::uint8_t* pa = ra.modify();
        std::uint8_t* pb = rb.modify();
        initPage(pa, false, leaf);
        initPage(pb, false, leaf);
        std::memcpy(entryAt(pa, 0), entryAt(p, 0), static_cast<std::size_t>(half) * e);
        std::memcpy(entryAt(pb, 0), entryAt(p, half), static_cast<std::size_t>(count - half) * e);
        setCount(pa, half);
        setCount(pb, count - half);
        setNext(pa, b);
        setPrev(pb, a);
        // The root keeps its number and becomes a node over the two halves.
        const std::int32_t ne = m_keyRef.nodeEntrySize();
        std::uint8_t firstOfB[kPageSize];
        std::memcpy(firstOfB, entryAt(pb, 0), k);
        p[1] = 0;
        setCount(p, 2);
        std::uint8_t* e0 = p + kPageHeaderSize;
        std::memset(e0, 0, k);
        storeLE<std::int32_t>(e0 + k, a);
        std::memcpy(e0 + ne, firstOfB, k);
        storeLE<std::int32_t>(e0 + ne + k, b);
        return;
    }

    const std::int32_t n = m_pages.allocatePage(session);
    PageRef rn(m_pages, session, n);
    std::uint8_t* pn = rn.modify();
    initPage(pn, false, leaf);
    std::memcpy(entryAt(pn, 0), entryAt(p, half), static_cast<std::size_t>(count - half) * e);
    setCount(pn, count - half);
    setCount(p, half);
    const std::int32_t oldNext = nextOf(p);
    setPrev(pn, item.pageNo);
    setNext(pn, oldNext);
    setNext(p, n);
    if (oldNext >= 0) {
        PageRef rnext(m_pages, session, oldNext);
        setPrev(rnext.modify(), n);
    }
    EngineBytes parentEntry(m_keyRef.nodeEntrySize());
    std::memcpy(parentEntry.data(), entryAt(pn, 0), k);
    storeLE<std::int32_t>(parentEntry.data() + k, n);
    path.items[level].count = half;
    path.items[level - 1].pos += 1;
    insertIntoPage(session, path, level - 1, parentEntry.data());
}

// --- deleting ----------------------------------------------------------------

bool TSQLMemBTreeIndex::deleteDescend(int session, std::int32_t pageNo, const std::uint8_t* key,
                                      const TSQLMemRecordID& id, TSQLMemKeyPath& path) {
    if (path.depth == kMaxKeyPathDepth) throw ESQLMemException(20024, "Internal index error");
    PageRef ref(m_pages, session, pageNo);
    const std::uint8_t* p = ref.data();
    const int count = countOf(p);
    TSQLMemKeyPathItem& item = path.items[path.depth++];
    item = {pageNo, 0, count};
    int pos;
    if (isLeaf(p)) {
        const std::int32_t e = m_keyRef.leafEntrySize();
        std::uint8_t wanted[TSQLMemRecordID::kStoredSize];
        id.store(wanted);
        if (binarySearch(p, key, 0, EqualPick::Leftmost, -1, pos)) {
            for (; pos < count; ++pos) {
                const std::uint8_t* entry = p + kPageHeaderSize + pos * e;
                if (compareKeys(key, entry) != 0) break;
                if (std::memcmp(entry + m_keyRef.keySize, wanted, sizeof wanted) == 0) {
                    item.pos = pos;
                    return true;
                }
            }
        }
        --path.depth;
        return false;
    }
    // Every child whose separator range can hold the key, leftmost first.
    binarySearch(p, key, 1, EqualPick::Leftmost, -1, pos);
    const int lo = pos - 1 < 0 ? 0 : pos - 1;
    int hi;
    if (!binarySearch(p, key, 1, EqualPick::Rightmost, -1, hi)) hi -= 1;
    if (hi < 0) hi = 0;
    const std::int32_t ne = m_keyRef.nodeEntrySize();
    for (int c = lo; c <= hi && c < count; ++c) {
        item.pos = c;
        const std::int32_t child =
            loadLE<std::int32_t>(p + kPageHeaderSize + c * ne + m_keyRef.keySize);
        if (deleteDescend(session, child, key, id, path)) return true;
    }
    --path.depth;
    return false;
}

bool TSQLMemBTreeIndex::findEntry(int session, const TSQLMemRecordID& id,
                                  const std::uint8_t* record, TSQLMemKeyPath& path) {
    path.clear();
    if (empty()) return false;
    EngineBytes key(m_keyRef.keySize);
    buildKey(record, key.data());
    return deleteDescend(session, rootPage(), key.data(), id, path);
}

void TSQLMemBTreeIndex::deleteKey(int session, const std::uint8_t* record,
                                  const TSQLMemRecordID& id) {
    ChangeScope change(*this, session);
    TSQLMemKeyPath path;
    if (!findEntry(session, id, record, path)) entryNotFound();
    removeEntry(session, path.leaf());
    fixUnderflow(session, path, path.depth - 1);
    change.commit();
}

void TSQLMemBTreeIndex::firstKeyOfSubtree(int session, std::int32_t pageNo, std::uint8_t* key) {
    for (int guard = 0; guard < kMaxKeyPathDepth; ++guard) {
        PageRef ref(m_pages, session, pageNo);
        const std::uint8_t* p = ref.data();
        if (countOf(p) == 0) throw ESQLMemException(20025, "Index error: page is empty");
        if (isLeaf(p)) {
            std::memcpy(key, p + kPageHeaderSize, m_keyRef.keySize);
            return;
        }
        pageNo = loadLE<std::int32_t>(p + kPageHeaderSize + m_keyRef.keySize);
    }
    throw ESQLMemException(20020, "Internal index error");
}

void TSQLMemBTreeIndex::removeEntry(int session, TSQLMemKeyPathItem& item) {
    PageRef ref(m_pages, session, item.pageNo);
    std::uint8_t* p = ref.modify();
    const std::int32_t e = entrySize(p);
    const int count = countOf(p);
    std::uint8_t* at = p + kPageHeaderSize + item.pos * e;
    std::memmove(at, at + e, static_cast<std::size_t>(count - item.pos - 1) * e);
    setCount(p, count - 1);
    item.count = count - 1;
}

void TSQLMemBTreeIndex::fixUnderflow(int session, TSQLMemKeyPath& path, int level) {
    const std::int32_t k = m_keyRef.keySize;
    const std::int32_t ne = m_keyRef.nodeEntrySize();
    if (level == 0) {
        // A root node with one entry takes over its child: the tree loses a level.
        for (;;) {
            PageRef ref(m_pages, session, rootPage());
            const std::uint8_t* p = ref.data();
            if (isLeaf(p) || countOf(p) != 1) return;
            const std::int32_t child = loadLE<std::int32_t>(p + kPageHeaderSize + k);
            {
                PageRef rc(m_pages, session, child);
                std::uint8_t* w = ref.modify();
                std::memcpy(w, rc.data(), kPageSize);
                w[0] = 1;
                setPrev(w, -1);
                setNext(w, -1);
            }
            m_pages.freePage(session, child);
        }
    }
    const TSQLMemKeyPathItem item = path.items[level];
    std::int32_t prev, next, count, e;
    bool leaf;
    {
        PageRef ref(m_pages, session, item.pageNo);
        const std::uint8_t* p = ref.data();
        count = countOf(p);
        e = entrySize(p);
        leaf = isLeaf(p);
        prev = prevOf(p);
        next = nextOf(p);
    }
    // Fewer entries than `least` would break the shape the 32-level path
    // relies on; above that, a page at least half full stays as it is.
    const int least = leaf ? 1 : 2;
    if (count >= least && count * e >= (kPageSize - kPageHeaderSize) / 2) return;
    auto countOfPage = [&](std::int32_t no) {
        if (no < 0) return -1;
        PageRef rs(m_pages, session, no);
        return countOf(rs.data());
    };
    const int prevCount = countOfPage(prev), nextCount = countOfPage(next);
    // A sibling filled to the last byte still takes an empty page, which
    // therefore always leaves the tree.
    auto fits = [&](int siblingCount) {
        return siblingCount >= 0 && (siblingCount + count) * e + kPageHeaderSize <= kPageSize;
    };
    const TSQLMemKeyPathItem parent = path.items[level - 1];
    EngineBytes key(k);

    if (fits(prevCount)) {
        PageRef rp(m_pages, session, item.pageNo), rq(m_pages, session, prev);
        std::uint8_t* p = rp.modify();
        if (!leaf && count > 0) {
            firstKeyOfSubtree(session, item.pageNo, key.data());
            std::memcpy(p + kPageHeaderSize, key.data(), k);
        }
        std::uint8_t* q = rq.modify();
        const int qc = countOf(q);
        std::memcpy(q + kPageHeaderSize + qc * e, p + kPageHeaderSize,
                    static_cast<std::size_t>(count) * e);
        setCount(q, qc + count);
        setNext(q, next);
        if (next >= 0) {
            PageRef rn(m_pages, session, next);
            setPrev(rn.modify(), prev);
        }
        // The parent's new first entry was bounded by the key of its entry 1:
        // the ancestor separator over the parent rises to it.
        if (parent.pos == 0 && parent.count > 1) {
            {
                PageRef rpar(m_pages, session, parent.pageNo);
                std::memcpy(key.data(), rpar.data() + kPageHeaderSize + ne, k);
            }
            const int l = boundaryLevel(path, level - 1, false);
            if (l >= 0) {
                PageRef ra(m_pages, session, path.items[l].pageNo);
                std::memcpy(ra.modify() + kPageHeaderSize + path.items[l].pos * ne, key.data(), k);
            }
        }
    } else if (fits(nextCount)) {
        PageRef rp(m_pages, session, item.pageNo), rn(m_pages, session, next);
        std::uint8_t* n = rn.modify();
        if (!isLeaf(n)) {
            firstKeyOfSubtree(session, next, key.data());
            std::memcpy(n + kPageHeaderSize, key.data(), k);
        }
        // The next page now starts with this page's keys: its bound drops to
        // this page's own bound (its first key when it was its parent's first).
        if (count > 0) {
            if (parent.pos > 0) {
                PageRef rpar(m_pages, session, parent.pageNo);
                std::memcpy(key.data(), rpar.data() + kPageHeaderSize + parent.pos * ne, k);
            } else {
                firstKeyOfSubtree(session, item.pageNo, key.data());
            }
            const int l = boundaryLevel(path, level, true);
            if (l >= 0) {
                PageRef ra(m_pages, session, path.items[l].pageNo);
                std::memcpy(ra.modify() + kPageHeaderSize + (path.items[l].pos + 1) * ne,
                            key.data(), k);
            }
        }
        const std::uint8_t* p = rp.data();
        const int nc = countOf(n);
        std::memmove(n + kPageHeaderSize + count * e, n + kPageHeaderSize,
                     static_cast<std::size_t>(nc) * e);
        std::memcpy(n + kPageHeaderSize, p + kPageHeaderSize, static_cast<std::size_t>(count) * e);
        setCount(n, nc + count);
        setPrev(n, prev);
        if (prev >= 0) {
            PageRef rq(m_pages, session, prev);
            setNext(rq.modify(), next);
        }
    } else {
        // Neither sibling has room for the entries. A page below its least
        // borrows one; a sibling without room is full enough to lend it.
        if (count >= least) return;
        if (prevCount > least)
            borrowFromPrev(session, path, level, prev);
        else if (nextCount > least)
            borrowFromNext(session, path, level, next);
        else
            throw ESQLMemException(20020, "Internal index error");
        return;
    }
    removeEntry(session, path.items[level - 1]);
    m_pages.freePage(session, item.pageNo);
    fixUnderflow(session, path, level - 1);
}

void TSQLMemBTreeIndex::borrowFromPrev(int session, TSQLMemKeyPath& path, int level,
                                       std::int32_t prev) {
    const std::int32_t k = m_keyRef.keySize;
    const int l = boundaryLevel(path, level, false);
    if (l < 0) throw ESQLMemException(20020, "Internal index error");
    PageRef ra(m_pages, session, path.items[l].pageNo);
    std::uint8_t* bound =
        ra.modify() + kPageHeaderSize + path.items[l].pos * m_keyRef.nodeEntrySize();
    PageRef rp(m_pages, session, path.items[level].pageNo), rq(m_pages, session, prev);
    std::uint8_t* p = rp.modify();
    std::uint8_t* q = rq.modify();
    const std::int32_t e = entrySize(p);
    const int count = countOf(p), qc = countOf(q);
    std::uint8_t* first = p + kPageHeaderSize;
    std::memmove(first + e, first, static_cast<std::size_t>(count) * e);
    std::memcpy(first, q + kPageHeaderSize + (qc - 1) * e, e);
    // A node's old first entry is compared from now on: its key is the
    // page's old bound.
    if (!isLeaf(p)) std::memcpy(first + e, bound, k);
    setCount(p, count + 1);
    setCount(q, qc - 1);
    std::memcpy(bound, first, k);
}

void TSQLMemBTreeIndex::borrowFromNext(int session, TSQLMemKeyPath& path, int level,
                                       std::int32_t next) {
    const std::int32_t k = m_keyRef.keySize;
    const int l = boundaryLevel(path, level, true);
    if (l < 0) throw ESQLMemException(20020, "Internal index error");
    PageRef ra(m_pages, session, path.items[l].pageNo);
    std::uint8_t* bound =
        ra.modify() + kPageHeaderSize + (path.items[l].pos + 1) * m_keyRef.nodeEntrySize();
    PageRef rp(m_pages, session, path.items[level].pageNo), rn(m_pages, session, next);
    std::uint8_t* p = rp.modify();
    std::uint8_t* n = rn.modify();
    const std::int32_t e = entrySize(p);
    const int count = countOf(p), nc = countOf(n);
    std::uint8_t* end = p + kPageHeaderSize + count * e;
    std::memcpy(end, n + kPageHeaderSize, e);
    // The next node's first key is never written: the bound above it stands in.
    if (!isLeaf(p)) std::memcpy(end, bound, k);
    std::memmove(n + kPageHeaderSize, n + kPageHeaderSize + e,
                 static_cast<std::size_t>(nc - 1) * e);
    setCount(n, nc - 1);
    setCount(p, count + 1);
    std::memcpy(bound, n + kPageHeaderSize, k);
}

void TSQLMemBTreeIndex::updateKey(int session, const std::uint8_t* oldRecord,
                                  const std::uint8_t* newRecord, const TSQLMemRecordID& id) {
    EngineBytes a(m_keyRef.keySize), b(m_keyRef.keySize);
    buildKey(oldRecord, a.data());
    buildKey(newRecord, b.data());
    // Keys that compare equal may still differ (case, -0): the entry must
    // hold the record's own bytes, as a loaded tree is checked against them.
    if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(m_keyRef.keySize)) == 0) return;
    ChangeScope change(*this, session);
    deleteKey(session, oldRecord, id);
    insertKey(session, newRecord, id);
    change.commit();
}

void TSQLMemBTreeIndex::freeTree(int session) {
    if (empty()) return;
    ChangeScope change(*this, session);
    // Level by level along the chains, leftmost page first.
    std::int32_t first = rootPage();
    for (int guard = 0; first >= 0 && guard < kMaxKeyPathDepth; ++guard) {
        std::int32_t below = -1;
        for (std::int32_t no = first; no >= 0;) {
            std::int32_t next;
            {
                PageRef ref(m_pages, session, no);
                const std::uint8_t* p = ref.data();
                if (no == first && !isLeaf(p) && countOf(p) > 0)
                    below = loadLE<std::int32_t>(p + kPageHeaderSize + m_keyRef.keySize);
                next = nextOf(p);
            }
            m_pages.freePage(session, no);
            no = next;
        }
        first = below;
    }
    m_def.StructureNo = -1;
    change.commit();
}

void TSQLMemBTreeIndex::pagesDiscarded() {
    m_def.StructureNo = m_releasedRoot;
    pathChanged();
}

// --- navigation --------------------------------------------------------------

bool TSQLMemBTreeIndex::descendEdge(int session, std::int32_t pageNo, bool last,
                                    TSQLMemKeyPath& path) {
    for (;;) {
        if (path.depth == kMaxKeyPathDepth) throw ESQLMemException(20020, "Internal index error");
        PageRef ref(m_pages, session, pageNo);
        const std::uint8_t* p = ref.data();
        const int count = countOf(p);
        if (count == 0) {
            path.items[path.depth++] = {pageNo, 0, 0};
            return false;
        }
        const int pos = last ? count - 1 : 0;
        path.items[path.depth++] = {pageNo, pos, count};
        if (isLeaf(p)) return true;
        pageNo = loadLE<std::int32_t>(p + kPageHeaderSize + pos * m_keyRef.nodeEntrySize() +
                                      m_keyRef.keySize);
    }
}

bool TSQLMemBTreeIndex::firstEntry(int session, TSQLMemKeyPath& path) {
    path.clear();
    return !empty() && descendEdge(session, rootPage(), false, path);
}

bool TSQLMemBTreeIndex::lastEntry(int session, TSQLMemKeyPath& path) {
    path.clear();
    return !empty() && descendEdge(session, rootPage(), true, path);
}

bool TSQLMemBTreeIndex::step(int session, TSQLMemKeyPath& path, bool forward) {
    if (path.depth == 0) return false;
    // Climb to the nearest level that can move, move there, then descend
    // along the first (forward) or last (backward) entries.
    for (int l = path.depth - 1; l >= 0; --l) {
        TSQLMemKeyPathItem& it = path.items[l];
        if (forward ? it.pos >= it.count - 1 : it.pos <= 0) continue;
        it.pos += forward ? 1 : -1;
        for (int d = l; d < path.depth - 1; ++d) {
            std::int32_t pageNo;
            {
                PageRef ref(m_pages, session, path.items[d].pageNo);
                pageNo = loadLE<std::int32_t>(ref.data() + kPageHeaderSize +
                                              path.items[d].pos * m_keyRef.nodeEntrySize() +
                                              m_keyRef.keySize);
            }
            PageRef child(m_pages, session, pageNo);
            const int count = countOf(child.data());
            path.items[d + 1] = {pageNo, forward ? 0 : count - 1, count};
        }
        return true;
    }
    return false;
}

TSQLMemRecordID TSQLMemBTreeIndex::entryRecordId(int session, const TSQLMemKeyPath& path) {
    const TSQLMemKeyPathItem& leaf = path.leaf();
    if (leaf.pos < 0 || leaf.pos >= leaf.count)
        throw ESQLMemException(20068, "Index error: invalid position");
    PageRef ref(m_pages, session, leaf.pageNo);
    return TSQLMemRecordID::load(ref.data() + kPageHeaderSize +
                                 leaf.pos * m_keyRef.leafEntrySize() + m_keyRef.keySize);
}

void TSQLMemBTreeIndex::forgetPaths(int session) {
    if (session == -1)
        m_cache.clear();
    else
        m_cache.erase(session);
}

void TSQLMemBTreeIndex::getRecord(int session, TSQLMemGetRequest& r,
                                  const TSQLMemBaseRecordManager& records) {
    if (r.Mode == TSQLMemGetMode::Current)
        throw ESQLMemException(20053, "Invalid get record mode for index: grmCurrent");
    if (empty()) {
        r.Answer = TSQLMemGetAnswer::AfterLast;
        return;
    }
    const TSQLMemRecordID requested{r.Slot, r.ItemNo};
    // The session's cached path is worked on in place: paths are large.
    Cached& cache = m_cache[session];
    TSQLMemKeyPath& path = cache.path;
    if (r.FromFirst || r.FromLast) {
        const bool towardsEnd = r.FromFirst == (r.Mode == TSQLMemGetMode::Next);
        if (!towardsEnd) {
            path.clear();
            r.Answer = r.FromFirst ? TSQLMemGetAnswer::BeforeFirst : TSQLMemGetAnswer::AfterLast;
            return;
        }
        if (!(r.FromFirst ? firstEntry(session, path) : lastEntry(session, path))) {
            path.clear();
            r.Answer = r.FromFirst ? TSQLMemGetAnswer::AfterLast : TSQLMemGetAnswer::BeforeFirst;
            return;
        }
    } else {
        if (path.depth == 0 || !(cache.id == requested)) {
            EngineBytes record(records.recordSize());
            TSQLMemGetRequest current;
            current.Mode = TSQLMemGetMode::Current;
            current.Slot = requested.PageNo;
            current.ItemNo = requested.PageItemNo;
            current.Dest = record.data();
            records.get(current);
            if (current.Answer != TSQLMemGetAnswer::Found ||
                !findEntry(session, requested, record.data(), path)) {
                path.clear();
                r.Answer = TSQLMemGetAnswer::NotFound;
                return;
            }
        }
        TSQLMemKeyPathItem& leaf = path.leaf();
        const int within = leaf.pos + (r.Mode == TSQLMemGetMode::Next ? 1 : -1);
        if (cache.leaf && cache.leafPage == leaf.pageNo &&
            cache.leafStamp == m_pages.changeStamp() && within >= 0 && within < leaf.count) {
            leaf.pos = within;
            const int dir = r.Mode == TSQLMemGetMode::Next ? 1 : -1;
            prefetchRecords(cache.leaf, leaf.count, within + dir * kWalkLookahead, 1, dir, records);
            const TSQLMemRecordID id =
                TSQLMemRecordID::load(cache.leaf + kPageHeaderSize +
                                      within * m_keyRef.leafEntrySize() + m_keyRef.keySize);
            finishGet(session, r, records, cache, id);
            return;
        }
        const bool moved =
            r.Mode == TSQLMemGetMode::Next ? stepNext(session, path) : stepPrior(session, path);
        if (!moved) {
            path.clear();
            r.Answer = r.Mode == TSQLMemGetMode::Next ? TSQLMemGetAnswer::AfterLast
                                                      : TSQLMemGetAnswer::BeforeFirst;
            (r.Mode == TSQLMemGetMode::Next ? r.FromLast : r.FromFirst) = true;
            return;
        }
    }
    // Taken before the page: letting go of a page read into its object's
    // own buffer moves the stamp, and the pointer must not outlive that.
    const std::uint64_t stamp = m_pages.changeStamp();
    const TSQLMemKeyPathItem& leaf = path.leaf();
    if (leaf.pos < 0 || leaf.pos >= leaf.count)
        throw ESQLMemException(20068, "Index error: invalid position");
    TSQLMemRecordID id;
    {
        PageRef ref(m_pages, session, leaf.pageNo);
        id = TSQLMemRecordID::load(ref.data() + kPageHeaderSize +
                                   leaf.pos * m_keyRef.leafEntrySize() + m_keyRef.keySize);
        // Landing on a leaf: the records of the next steps are asked for now,
        // later steps ask for one more each.
        const int dir = r.Mode == TSQLMemGetMode::Next ? 1 : -1;
        prefetchRecords(ref.data(), leaf.count, leaf.pos + dir, kWalkLookahead, dir, records);
        cache.leaf = ref.data();
        cache.leafPage = leaf.pageNo;
    }
    cache.leafStamp = stamp;
    finishGet(session, r, records, cache, id);
}

void TSQLMemBTreeIndex::prefetchRecords(const std::uint8_t* leaf, int count, int from, int n,
                                        int dir, const TSQLMemBaseRecordManager& records) const {
    for (int i = 0, pos = from; i < n && pos >= 0 && pos < count; ++i, pos += dir)
        records.prefetch(TSQLMemRecordID::load(leaf + kPageHeaderSize +
                                               pos * m_keyRef.leafEntrySize() + m_keyRef.keySize));
}

void TSQLMemBTreeIndex::finishGet(int session, TSQLMemGetRequest& r,
                                  const TSQLMemBaseRecordManager& records, Cached& cache,
                                  const TSQLMemRecordID& id) {
    if (!records.copyRecord(session, id, r.Dest)) {
        cache.path.clear();
        throw ESQLMemException(20024, "Internal index error");
    }
    r.Answer = TSQLMemGetAnswer::Found;
    r.Slot = id.PageNo;
    r.ItemNo = id.PageItemNo;
    r.FromFirst = r.FromLast = false;
    cache.id = id;
}

// --- searching -----------------------------------------------------------------

bool TSQLMemBTreeIndex::lowerBound(int session, const std::uint8_t* key, int columns, bool strict,
                                   TSQLMemKeyPath& path) {
    path.clear();
    if (empty()) return false;
    std::int32_t pageNo = rootPage();
    for (;;) {
        if (path.depth == kMaxKeyPathDepth) throw ESQLMemException(20020, "Internal index error");
        PageRef ref(m_pages, session, pageNo);
        const std::uint8_t* p = ref.data();
        const int count = countOf(p);
        int pos;
        if (!isLeaf(p)) {
            // The leftmost child that can hold a key at (or above) the bound.
            int child;
            if (strict) {
                child = binarySearch(p, key, 1, EqualPick::Rightmost, columns, pos) ? pos : pos - 1;
            } else {
                binarySearch(p, key, 1, EqualPick::Leftmost, columns, pos);
                child = pos - 1;
            }
            if (child < 0) child = 0;
            path.items[path.depth++] = {pageNo, child, count};
            pageNo = loadLE<std::int32_t>(p + kPageHeaderSize + child * m_keyRef.nodeEntrySize() +
                                          m_keyRef.keySize);
            continue;
        }
        if (strict)
            pos = binarySearch(p, key, 0, EqualPick::Rightmost, columns, pos) ? pos + 1 : pos;
        else
            binarySearch(p, key, 0, EqualPick::Leftmost, columns, pos);
        if (count == 0) {
            path.items[path.depth++] = {pageNo, 0, 0};
            return false;
        }
        if (pos < count) {
            path.items[path.depth++] = {pageNo, pos, count};
            return true;
        }
        path.items[path.depth++] = {pageNo, count - 1, count};
        return stepNext(session, path);
    }
}

bool TSQLMemBTreeIndex::satisfies(int session, const TSQLMemKeyPath& path, const std::uint8_t* key,
                                  int columns, TSQLMemIndexMode mode) {
    const TSQLMemKeyPathItem& leaf = path.leaf();
    PageRef ref(m_pages, session, leaf.pageNo);
    const int r = compareKeys(ref.data() + kPageHeaderSize + leaf.pos * m_keyRef.leafEntrySize(),
                              key, columns);
    switch (mode) {
        case TSQLMemIndexMode::Equal:
            return r == 0;
        case TSQLMemIndexMode::Less:
            return r < 0;
        case TSQLMemIndexMode::Greater:
            return r > 0;
        case TSQLMemIndexMode::LessEqual:
            return r <= 0;
        case TSQLMemIndexMode::GreaterEqual:
            return r >= 0;
        case TSQLMemIndexMode::None:
            break;
    }
    return true;
}

bool TSQLMemBTreeIndex::search(int session, const TSQLMemIndexBound& bound, bool last,
                               TSQLMemKeyPath& path) {
    if (bound.mode == TSQLMemIndexMode::None || !bound.record || bound.columns <= 0)
        return last ? lastEntry(session, path) : firstEntry(session, path);
    EngineBytes key(m_keyRef.keySize);
    buildKey(bound.record, key.data());
    const int cols =
        bound.columns < m_keyRef.compareColumns ? bound.columns : m_keyRef.compareColumns;
    const TSQLMemIndexMode mode = bound.mode;
    bool found;
    if (!last) {
        if (mode == TSQLMemIndexMode::Less || mode == TSQLMemIndexMode::LessEqual)
            found = firstEntry(session, path);
        else
            found = lowerBound(session, key.data(), cols, mode == TSQLMemIndexMode::Greater, path);
    } else {
        if (mode == TSQLMemIndexMode::Greater || mode == TSQLMemIndexMode::GreaterEqual) {
            found = lastEntry(session, path);
        } else {
            // The entry before the first one past the bound.
            found = lowerBound(session, key.data(), cols, mode != TSQLMemIndexMode::Less, path);
            found = found ? stepPrior(session, path) : lastEntry(session, path);
        }
    }
    return found && satisfies(session, path, key.data(), cols, mode);
}

int TSQLMemBTreeIndex::comparePaths(const TSQLMemKeyPath& a, const TSQLMemKeyPath& b) const {
    if (a.depth != b.depth) throw ESQLMemException(20051, "Invalid index key path");
    for (int l = 0; l < a.depth; ++l) {
        if (a.items[l].pageNo != b.items[l].pageNo)
            throw ESQLMemException(20052, "Invalid index key path");
        if (a.items[l].pos != b.items[l].pos) return a.items[l].pos < b.items[l].pos ? -1 : 1;
    }
    return 0;
}

std::int64_t TSQLMemBTreeIndex::recordNumber(int session, const TSQLMemRecordID& id,
                                             const std::uint8_t* record) {
    TSQLMemKeyPath path;
    if (!findEntry(session, id, record, path)) return -1;
    std::int64_t n = path.leaf().pos + 1;
    std::int32_t no;
    {
        PageRef ref(m_pages, session, path.leaf().pageNo);
        no = prevOf(ref.data());
    }
    while (no >= 0) {
        PageRef ref(m_pages, session, no);
        n += countOf(ref.data());
        no = prevOf(ref.data());
    }
    return n;
}

TSQLMemRecordID TSQLMemBTreeIndex::recordAtNumber(int session, std::int64_t number) {
    TSQLMemKeyPath path;
    if (!firstEntry(session, path))
        throw ESQLMemException(20074, "Cannot retreive record from empty index");
    std::int32_t no = path.leaf().pageNo;
    while (no >= 0 && number >= 1) {
        PageRef ref(m_pages, session, no);
        const std::uint8_t* p = ref.data();
        const int count = countOf(p);
        if (number <= count)
            return TSQLMemRecordID::load(
                p + kPageHeaderSize + (number - 1) * m_keyRef.leafEntrySize() + m_keyRef.keySize);
        number -= count;
        no = nextOf(p);
    }
    throw ESQLMemException(20075, "Cannot set RecNo greater than RecordCount");
}

int TSQLMemBTreeIndex::boundDirection(TSQLMemIndexMode mode) {
    if (mode == TSQLMemIndexMode::Greater || mode == TSQLMemIndexMode::GreaterEqual) return -1;
    if (mode == TSQLMemIndexMode::Less || mode == TSQLMemIndexMode::LessEqual) return 1;
    return 0;
}

bool TSQLMemBTreeIndex::scanStep(int session, bool restart, TSQLMemScanState* state,
                                 TSQLMemRecordID& id, const std::uint8_t* record,
                                 const TSQLMemIndexBound* endBound,
                                 const TSQLMemIndexBound* startBound, bool forward) {
    if (!state) throw ESQLMemException(20077, "Pointer is nil");
    if (restart && state->started) throw ESQLMemException(20078, "Index error: invalid params");
    TSQLMemKeyPath& path = state->path;
    bool step = !restart;
    if (restart || !state->started) {
        if (startBound) {
            TSQLMemKeyPath position;
            if (!search(session, *startBound, !forward, position)) return false;
            path = position;
            if (!restart) {
                TSQLMemKeyPath current;
                if (!findEntry(session, id, record, current)) return false;
                const int order = comparePaths(current, position);
                // Before the start in scan direction: land on the start itself.
                if ((forward && order < 0) || (!forward && order > 0))
                    step = false;
                else
                    path = current;
            }
        } else if (restart) {
            if (!(forward ? firstEntry(session, path) : lastEntry(session, path))) return false;
        } else if (!findEntry(session, id, record, path)) {
            return false;
        }
        state->hasEnd = false;
        if (endBound || startBound) {
            // No entry satisfies the end condition: the scan has nothing to give.
            if (!search(session, endBound ? *endBound : *startBound, forward, state->end))
                return false;
            state->hasEnd = true;
        }
    }
    if (step && !(forward ? stepNext(session, path) : stepPrior(session, path))) return false;
    if (state->hasEnd) {
        const int order = comparePaths(path, state->end);
        if ((forward && order > 0) || (!forward && order < 0)) return false;
    }
    id = entryRecordId(session, path);
    state->started = true;
    state->forward = forward;
    return true;
}

std::int64_t TSQLMemBTreeIndex::estimateRange(int session, const TSQLMemIndexBound& a,
                                              const TSQLMemIndexBound& b,
                                              std::int64_t recordCount) {
    if (empty()) return 0;
    const TSQLMemIndexBound& lower = boundDirection(a.mode) == -1 ? a : b;
    const TSQLMemIndexBound& upper = &lower == &a ? b : a;
    TSQLMemKeyPath first, second;
    if (!search(session, lower, false, first)) return 0;
    // The upper bound is searched with its own mode: with the lower bound's
    // mode (>=) the last entry satisfying it would be the tree's last entry,
    // and every bounded range would be estimated as open-ended.
    if (!search(session, upper, true, second)) return 0;
    auto relative = [](const TSQLMemKeyPath& p) {
        // sum of pos_i / (n_0 * ... * n_i), as one fraction over all counts
        long double numerator = 0, denominator = 1;
        for (int l = 0; l < p.depth; ++l) {
            numerator = numerator * p.items[l].count + p.items[l].pos;
            denominator *= p.items[l].count;
        }
        return denominator > 0 ? numerator / denominator : 0.0L;
    };
    const long double share = relative(second) - relative(first);
    std::int64_t n =
        static_cast<std::int64_t>(std::nearbyint(static_cast<double>(share * recordCount)));
    if (n < 0) n = 0;
    if (n > recordCount) n = recordCount;
    return n;
}

bool TSQLMemBTreeIndex::isKeyFree(int session, const std::uint8_t* record) {
    if (empty() || !unique()) return true;
    EngineBytes key(m_keyRef.keySize);
    buildKey(record, key.data());
    TSQLMemKeyPath path;
    if (!lowerBound(session, key.data(), m_keyRef.compareColumns, false, path)) return true;
    return !satisfies(session, path, key.data(), m_keyRef.compareColumns, TSQLMemIndexMode::Equal);
}

bool TSQLMemBTreeIndex::isKeyFreeForUpdate(int session, const std::uint8_t* oldRecord,
                                           const std::uint8_t* newRecord) {
    EngineBytes a(m_keyRef.keySize), b(m_keyRef.keySize);
    buildKey(oldRecord, a.data());
    buildKey(newRecord, b.data());
    if (compareKeys(a.data(), b.data()) == 0) return true;
    return isKeyFree(session, newRecord);
}

}  // namespace sqlmem
