// B-tree indexes: byte layout on a small fixture, and a long random run of
// inserts, deletes and updates checked against a simple model after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/exception.h"
#include "storage/btree_index.h"
#include "storage/page_manager.h"

namespace sqlmem {

using testing::ScopedMemoryBudget;
namespace {

std::int32_t rd32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
std::uint16_t rd16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Fields: id Integer (offset 1), name Varchar(n) (offset 5); one bitmap byte.
struct Table {
    TSQLMemFieldDefs fields;
    std::int32_t recordSize;
    explicit Table(int nameSize = 300) {
        auto& id = fields.addCreated();
        id.Name = "id";
        id.setType(aftInteger, 0);
        id.MemoryOffset = 1;
        auto& name = fields.addCreated();
        name.Name = "name";
        name.setType(aftVarchar, nameSize);
        name.MemoryOffset = 5;
        recordSize = 5 + name.MemoryDataSize;
    }
    std::vector<std::uint8_t> record(const int* id, const std::string* name) const {
        std::vector<std::uint8_t> r(recordSize, 0);
        if (id)
            std::memcpy(&r[1], id, 4);
        else
            r[0] |= 1;
        if (name)
            std::memcpy(&r[5], name->data(), name->size());
        else
            r[0] |= 2;
        return r;
    }
    // The name is `name` in seven digits, so that text order is number order.
    std::vector<std::uint8_t> record(int id, int name) const {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%07d", name);
        const std::string text = digits;
        return record(&id, &text);
    }
};

TSQLMemIndexDef indexOn(std::vector<TSQLMemIndexColumn> columns, bool unique = false) {
    TSQLMemIndexDef def;
    def.Name = "ix";
    def.ObjectID = 7;
    def.Unique = unique;
    def.Columns = std::move(columns);
    return def;
}

// Reads the stored tree and checks every structural rule; returns the leaf
// entries in chain order as (key bytes, record id).
struct TreeCheck {
    const TSQLMemBTreeIndex& index;
    const TSQLMemPageManager& pages;
    std::set<std::int32_t> reachable;
    std::vector<std::vector<std::int32_t>> levels;  // pages per level, left to right

    std::int32_t k() const { return index.keyRef().keySize; }
    const std::uint8_t* page(std::int32_t no) const { return pages.storedPage(no); }

    void walk(std::int32_t no, int depth, const std::uint8_t* low, const std::uint8_t* high) {
        ASSERT_TRUE(pages.pageInUse(no)) << "page " << no << " reachable but not in use";
        ASSERT_TRUE(reachable.insert(no).second) << "page " << no << " reached twice";
        const std::uint8_t* p = page(no);
        ASSERT_EQ(p[0] != 0, depth == 0) << "root flag of page " << no;
        ASSERT_EQ(rd16(p + 12), k());
        if (static_cast<int>(levels.size()) <= depth) levels.resize(depth + 1);
        levels[depth].push_back(no);
        const int count = rd16(p + 14);
        const bool leaf = p[1] != 0;
        const int e = leaf ? k() + 6 : k() + 4;
        ASSERT_LE(18 + count * e, 4096);
        if (depth > 0) {
            ASSERT_GT(count, 0) << "empty non-root page " << no;
            // Two children a node at least, or 32 levels need not suffice.
            ASSERT_TRUE(leaf || count >= 2) << "node " << no << " has one child";
        }
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* key = p + 18 + i * e;
            const bool compared = leaf || i > 0;
            if (compared && low) {
                ASSERT_GE(index.compareKeys(key, low), 0) << "below its bound";
            }
            if (compared && high) {
                ASSERT_LE(index.compareKeys(key, high), 0) << "above next bound";
            }
            if (!leaf) {
                const std::uint8_t* childLow = i > 0 ? key : low;
                const std::uint8_t* childHigh = i + 1 < count ? p + 18 + (i + 1) * e : high;
                walk(rd32(key + k()), depth + 1, childLow, childHigh);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }

    std::vector<std::pair<std::vector<std::uint8_t>, TSQLMemRecordID>> run() {
        std::vector<std::pair<std::vector<std::uint8_t>, TSQLMemRecordID>> entries;
        if (index.empty()) {
            EXPECT_EQ(pages.pagesInUse(), 0);
            return entries;
        }
        walk(index.rootPage(), 0, nullptr, nullptr);
        if (::testing::Test::HasFatalFailure()) return entries;
        EXPECT_EQ(static_cast<std::int32_t>(reachable.size()), pages.pagesInUse())
            << "in-use bits and reachable pages differ";
        for (std::int32_t no = 0; no < pages.pagesAllocated(); ++no)
            EXPECT_EQ(pages.pageInUse(no), reachable.count(no) == 1) << "page " << no;
        // Each level is one chain, both ways, in the walk's left-to-right order.
        for (const auto& level : levels) {
            for (size_t i = 0; i < level.size(); ++i) {
                const std::uint8_t* p = page(level[i]);
                EXPECT_EQ(rd32(p + 2), i == 0 ? -1 : level[i - 1]) << "prev of " << level[i];
                EXPECT_EQ(rd32(p + 6), i + 1 == level.size() ? -1 : level[i + 1])
                    << "next of " << level[i];
                EXPECT_EQ(page(level[i])[1] != 0, &level == &levels.back()) << "leaf depth";
            }
        }
        const std::uint8_t* prevKey = nullptr;
        for (std::int32_t no : levels.back()) {
            const std::uint8_t* p = page(no);
            for (int i = 0; i < rd16(p + 14); ++i) {
                const std::uint8_t* e = p + 18 + i * (k() + 6);
                if (prevKey) {
                    EXPECT_LE(index.compareKeys(prevKey, e), 0) << "leaf keys out of order";
                }
                prevKey = e;
                entries.emplace_back(std::vector<std::uint8_t>(e, e + k()),
                                     TSQLMemRecordID::load(e + k()));
            }
        }
        return entries;
    }
};

TEST(BTreeLayoutTest, RootLeafOfTheJournalIndexSplitsAtEntry371) {
    Table t;
    TSQLMemIndexDef def = indexOn({{"id", false, false}}, true);
    TSQLMemMemoryPageManager pages;
    TSQLMemBTreeIndex index(def, t.fields, pages);
    EXPECT_EQ(index.keyRef().keySize, 5);
    EXPECT_EQ(index.keyRef().leafEntrySize(), 11);
    EXPECT_EQ(index.keyRef().nodeEntrySize(), 9);
    const std::string name = "x";
    for (int id = 1; id <= 370; ++id) {
        auto r = t.record(&id, &name);
        index.insertKey(0, r.data(), {id - 1, 0});
        pages.releaseSession(0);
    }
    const std::uint8_t* root = pages.storedPage(index.rootPage());
    EXPECT_EQ(root[0], 1);
    EXPECT_EQ(root[1], 1);
    EXPECT_EQ(rd16(root + 14), 370) << "370 leaf entries fill one page";
    // 371st: split into 185 and 186 under a root node with two entries.
    int id = 371;
    auto r = t.record(&id, &name);
    index.insertKey(0, r.data(), {370, 0});
    pages.releaseSession(0);
    root = pages.storedPage(index.rootPage());
    ASSERT_EQ(root[0], 1);
    ASSERT_EQ(root[1], 0);
    ASSERT_EQ(rd16(root + 14), 2);
    const std::uint8_t* e0 = root + 18;
    const std::uint8_t zeros[5] = {};
    EXPECT_EQ(std::memcmp(e0, zeros, 5), 0) << "entry 0's key is written as zero bytes";
    const std::int32_t left = rd32(e0 + 5), right = rd32(e0 + 9 + 5);
    const std::uint8_t* pl = pages.storedPage(left);
    const std::uint8_t* pr = pages.storedPage(right);
    EXPECT_EQ(rd16(pl + 14), 185);
    EXPECT_EQ(rd16(pr + 14), 186);
    // The separator is the right page's first key: null flag 0, then 186 little-endian.
    const std::uint8_t sep[5] = {0, 186, 0, 0, 0};
    EXPECT_EQ(std::memcmp(e0 + 9, sep, 5), 0);
    EXPECT_EQ(std::memcmp(pr + 18, sep, 5), 0);
    // Leaf header and one entry byte for byte.
    const std::uint8_t leftHeader[18] = {0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                                         0, 0, 0,    5,    0,    185,  0, 0, 0};
    std::uint8_t expected[18];
    std::memcpy(expected, leftHeader, 18);
    std::memcpy(expected + 6, &right, 4);
    EXPECT_EQ(std::memcmp(pl, expected, 18), 0);
    const std::uint8_t entry3[11] = {0, 4, 0, 0, 0, /*PageNo*/ 3, 0, 0, 0, /*PageItemNo*/ 0, 0};
    EXPECT_EQ(std::memcmp(pl + 18 + 3 * 11, entry3, 11), 0);
    EXPECT_EQ(rd32(pr + 2), left);
    EXPECT_EQ(rd32(pr + 6), -1);
}

TEST(BTreeLayoutTest, DeletingEveryKeyLeavesAnEmptyRootLeafThatIsReused) {
    Table t;
    TSQLMemIndexDef def = indexOn({{"id", false, false}});
    TSQLMemMemoryPageManager pages;
    TSQLMemBTreeIndex index(def, t.fields, pages);
    const std::string name = "x";
    for (int id = 0; id < 2000; ++id) {
        auto r = t.record(&id, &name);
        index.insertKey(0, r.data(), {id, 0});
        pages.releaseSession(0);
    }
    const std::int32_t root = index.rootPage();
    for (int id = 0; id < 2000; ++id) {
        auto r = t.record(&id, &name);
        index.deleteKey(0, r.data(), {id, 0});
        pages.releaseSession(0);
    }
    EXPECT_EQ(index.rootPage(), root);
    EXPECT_EQ(pages.pagesInUse(), 1);
    EXPECT_EQ(pages.storedPage(root)[1], 1) << "the root is a leaf again";
    EXPECT_EQ(rd16(pages.storedPage(root) + 14), 0);
    int id = 5;
    auto r = t.record(&id, &name);
    index.insertKey(0, r.data(), {5, 0});
    pages.releaseSession(0);
    EXPECT_EQ(index.rootPage(), root);
    EXPECT_EQ(pages.pagesInUse(), 1);
    EXPECT_THROW(index.deleteKey(0, t.record(&id, &name).data(), {6, 0}), ESQLMemException);
}

// A long random run on a wide key (13 entries a page, so trees grow several
// levels deep), with duplicates, nulls, a descending case-insensitive text
// column and an ascending integer column.
TEST(BTreePropertyTest, RandomChangesKeepTheTreeSound) {
    Table t;
    TSQLMemIndexDef def = indexOn({{"name", true, true}, {"id", false, false}});
    TSQLMemMemoryPageManager pages;
    TSQLMemBTreeIndex index(def, t.fields, pages);
    ASSERT_EQ(index.keyRef().leafEntrySize(), 313);

    std::mt19937 rng(20261210);
    const std::vector<std::string> names = {"a",        "A",        "b",  "B",    "abc", "ABC",
                                            "\xC5\xE6", "\xE5\xE6", "zz", "\xB8", "\xA8"};
    std::map<std::int32_t, std::vector<std::uint8_t>> model;  // slot -> record
    std::int32_t nextSlot = 0;
    auto randomRecord = [&] {
        const int id = static_cast<int>(rng() % 20);
        const std::string name = names[rng() % names.size()];
        const bool nullId = rng() % 10 == 0, nullName = rng() % 15 == 0;
        return t.record(nullId ? nullptr : &id, nullName ? nullptr : &name);
    };
    std::vector<std::uint8_t> key(index.keyRef().keySize);
    size_t deepest = 0;
    int shrinks = 0;
    std::int32_t pagesBefore = 0;

    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const unsigned op = rng() % 10;
        // grow for a while, then shrink, then churn
        const bool grow = step < 1500 ? op < 7 : step < 3000 ? op < 3 : op < 5;
        std::vector<std::int32_t> touched;
        if (grow || model.empty()) {
            auto r = randomRecord();
            index.insertKey(0, r.data(), {nextSlot, 0});
            model[nextSlot++] = r;
        } else {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            const TSQLMemRecordID id{it->first, 0};
            if (op % 2 == 0) {
                TSQLMemKeyPath path;
                ASSERT_TRUE(index.findEntry(0, id, it->second.data(), path));
                for (int l = 0; l < path.depth; ++l)
                    touched.push_back(path.items[l].pageNo);
                index.deleteKey(0, it->second.data(), id);
                model.erase(it);
            } else {
                auto r = randomRecord();
                index.updateKey(0, it->second.data(), r.data(), id);
                it->second = r;
            }
        }
        pages.releaseSession(0);

        TreeCheck check{index, pages, {}, {}};
        const auto entries = check.run();
        deepest = std::max(deepest, check.levels.size());
        if (pages.pagesInUse() < pagesBefore) ++shrinks;
        pagesBefore = pages.pagesInUse();
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        ASSERT_EQ(entries.size(), model.size());
        for (const auto& [k, id] : entries) {
            auto m = model.find(id.PageNo);
            ASSERT_NE(m, model.end()) << "entry of a record that is not there";
            index.buildKey(m->second.data(), key.data());
            ASSERT_EQ(index.compareKeys(k.data(), key.data()), 0) << "stale key";
        }
        // A page that lost an entry and still underflows had no sibling to merge with.
        for (size_t l = touched.size(); l-- > 1;) {
            const std::int32_t no = touched[l];
            if (!check.reachable.count(no)) continue;
            const std::uint8_t* p = pages.storedPage(no);
            const int e = p[1] ? 313 : 311;
            const int count = rd16(p + 14);
            if (count * e >= (4096 - 18) / 2) break;
            for (std::int32_t sibling : {rd32(p + 2), rd32(p + 6)}) {
                if (sibling < 0) continue;
                EXPECT_GE((rd16(pages.storedPage(sibling) + 14) + count) * e + 18, 4096)
                    << "page " << no << " underflows beside sibling " << sibling;
            }
            break;
        }
    }
    EXPECT_GE(deepest, 3u) << "the run must grow the tree several levels deep";
    EXPECT_GT(shrinks, 50) << "and shrink it again through merges";
}

TEST(BTreeNavigationTest, SearchesAndWalksFollowKeyOrder) {
    Table t;
    TSQLMemIndexDef def = indexOn({{"id", false, false}});
    TSQLMemMemoryPageManager pages;
    TSQLMemBTreeIndex index(def, t.fields, pages);
    const std::string name = "x";
    // ids 0, 2, 4, ... 1998, each twice: duplicates span leaves
    std::int32_t slot = 0;
    for (int round = 0; round < 2; ++round)
        for (int id = 0; id < 2000; id += 2) {
            auto r = t.record(&id, &name);
            index.insertKey(0, r.data(), {slot++, 0});
            pages.releaseSession(0);
        }
    auto keyAt = [&](const TSQLMemKeyPath& path) {
        const TSQLMemRecordID rid = index.entryRecordId(0, path);
        return (rid.PageNo % 1000) * 2;
    };
    struct Case {
        int key;
        TSQLMemIndexMode mode;
        bool last;
        int expected;  // -1: nothing
    } cases[] = {
        {500, TSQLMemIndexMode::Equal, false, 500},
        {500, TSQLMemIndexMode::Equal, true, 500},
        {501, TSQLMemIndexMode::Equal, false, -1},
        {501, TSQLMemIndexMode::GreaterEqual, false, 502},
        {500, TSQLMemIndexMode::Greater, false, 502},
        {500, TSQLMemIndexMode::Less, true, 498},
        {500, TSQLMemIndexMode::LessEqual, true, 500},
        {0, TSQLMemIndexMode::Less, true, -1},
        {1998, TSQLMemIndexMode::Greater, false, -1},
        {1998, TSQLMemIndexMode::GreaterEqual, true, 1998},
        {-5, TSQLMemIndexMode::GreaterEqual, false, 0},
        {5000, TSQLMemIndexMode::LessEqual, true, 1998},
        {0, TSQLMemIndexMode::None, false, 0},
        {0, TSQLMemIndexMode::None, true, 1998},
    };
    for (const Case& c : cases) {
        auto r = t.record(&c.key, &name);
        TSQLMemKeyPath path;
        const bool found = index.search(0, {r.data(), 1, c.mode}, c.last, path);
        EXPECT_EQ(found, c.expected >= 0)
            << c.key << " mode " << static_cast<int>(c.mode) << " last " << c.last;
        if (found && c.expected >= 0) {
            EXPECT_EQ(keyAt(path), c.expected) << c.key << " mode " << static_cast<int>(c.mode);
        }
    }
    // Walking next and prior through getRecord visits every entry in order.
    TSQLMemMemoryRecordManager records(nullptr, t.recordSize, 4000);
    for (std::int32_t s = 0; s < slot; ++s) {
        const int id = (s % 1000) * 2;
        auto r = t.record(&id, &name);
        TSQLMemRecordID rid;
        ASSERT_TRUE(records.add(r.data(), rid));
    }
    std::vector<std::uint8_t> buffer(t.recordSize);
    TSQLMemGetRequest req;
    req.Mode = TSQLMemGetMode::Next;
    req.FromFirst = true;
    req.Dest = buffer.data();
    int seen = 0, last = -1;
    for (;;) {
        index.getRecord(0, req, records);
        if (req.Answer != TSQLMemGetAnswer::Found) break;
        int id;
        std::memcpy(&id, &buffer[1], 4);
        EXPECT_LE(last, id);
        last = id;
        ++seen;
    }
    EXPECT_EQ(req.Answer, TSQLMemGetAnswer::AfterLast);
    EXPECT_TRUE(req.FromLast) << "past the last entry the request is marked so";
    EXPECT_EQ(seen, 2000);
    req.Mode = TSQLMemGetMode::Prior;
    seen = 0;
    for (;;) {
        index.getRecord(0, req, records);
        if (req.Answer != TSQLMemGetAnswer::Found) break;
        ++seen;
    }
    EXPECT_EQ(seen, 2000);
    EXPECT_EQ(req.Answer, TSQLMemGetAnswer::BeforeFirst);
    pages.releaseSession(0);
    // Record numbers in key order, both ways.
    for (std::int64_t n : {1, 2, 777, 2000}) {
        const TSQLMemRecordID rid = index.recordAtNumber(0, n);
        const int id = (rid.PageNo % 1000) * 2;
        auto r = t.record(&id, &name);
        EXPECT_EQ(index.recordNumber(0, rid, r.data()), n);
    }
    EXPECT_THROW(index.recordAtNumber(0, 2001), ESQLMemException);
    pages.releaseSession(0);
    // Estimates: ids 500..998 are a quarter of the entries.
    int lo = 500, hi = 998;
    auto a = t.record(&lo, &name), b = t.record(&hi, &name);
    const std::int64_t estimate =
        index.estimateRange(0, {a.data(), 1, TSQLMemIndexMode::GreaterEqual},
                            {b.data(), 1, TSQLMemIndexMode::LessEqual}, 2000);
    // Page fill varies, so the estimate is near, not exact.
    EXPECT_NEAR(static_cast<double>(estimate), 500.0, 75.0);
    EXPECT_EQ(index.estimateRange(0, {b.data(), 1, TSQLMemIndexMode::GreaterEqual},
                                  {a.data(), 1, TSQLMemIndexMode::LessEqual}, 2000),
              0)
        << "an empty range";
}

TEST(BTreeUniquenessTest, KeyFreeOnlyMattersForUniqueIndexes) {
    Table t;
    const std::string name = "Ann", other = "ANN";
    int id = 1;
    for (bool unique : {false, true}) {
        TSQLMemIndexDef def = indexOn({{"name", false, true}}, unique);
        TSQLMemMemoryPageManager pages;
        TSQLMemBTreeIndex index(def, t.fields, pages);
        auto r = t.record(&id, &name);
        EXPECT_TRUE(index.isKeyFree(0, r.data())) << "an empty tree has every key free";
        index.insertKey(0, r.data(), {0, 0});
        pages.releaseSession(0);
        auto dup = t.record(&id, &other);  // equal on a case-insensitive column
        EXPECT_EQ(index.isKeyFree(0, dup.data()), !unique);
        EXPECT_TRUE(index.isKeyFreeForUpdate(0, r.data(), dup.data()))
            << "a record keeping its key does not collide with itself";
        pages.releaseSession(0);
    }
}

// --- wide keys, merges and failures, against a model ----------------------------

// The widest name an index on `columns` takes, probed, so that a test sits at
// whatever limit the index sets.
int widestName(const std::vector<TSQLMemIndexColumn>& columns) {
    for (int n = 4096; n > 7; --n) {
        Table t(n);
        TSQLMemIndexDef def = indexOn(columns);
        TSQLMemMemoryPageManager pages;
        try {
            TSQLMemBTreeIndex index(def, t.fields, pages);
            return n;
        } catch (const std::exception&) {
        }
    }
    return 0;
}

struct Row {
    int name;
    int id;
};

// Orders rows as the index orders their keys: the digits of equal width make
// text order number order.
struct RowOrder {
    std::vector<TSQLMemIndexColumn> columns;
    bool operator()(const Row& a, const Row& b) const {
        for (const TSQLMemIndexColumn& c : columns) {
            const int x = c.FieldName == "id" ? a.id : a.name;
            const int y = c.FieldName == "id" ? b.id : b.name;
            if (x != y) return c.Descending ? x > y : x < y;
        }
        return false;
    }
};

// One index and the rows it should hold: each change is made to both, and
// check() compares everything the index answers with the model.
class IndexModel {
public:
    IndexModel(int nameSize, std::vector<TSQLMemIndexColumn> columns)
        : table(nameSize), def(indexOn(columns)), order{columns}, model(order) {}
    // Raises what the index raises for a refused definition.
    void open() { index = std::make_unique<TSQLMemBTreeIndex>(def, table.fields, pages); }

    void insert(int name, int id) {
        const Row row{name, id};
        const auto r = table.record(id, name);
        index->insertKey(0, r.data(), {nextSlot, 0});
        pages.releaseSession(0);
        model.emplace(row, nextSlot);
        rows[nextSlot++] = row;
    }
    void remove(std::int32_t slot) {
        const Row row = rows.at(slot);
        const auto r = table.record(row.id, row.name);
        index->deleteKey(0, r.data(), {slot, 0});
        pages.releaseSession(0);
        auto [from, to] = model.equal_range(row);
        model.erase(std::find_if(from, to, [&](const auto& e) { return e.second == slot; }));
        rows.erase(slot);
    }
    // Slots in key order.
    std::vector<std::int32_t> slotsInOrder() const {
        std::vector<std::int32_t> out;
        for (const auto& [row, slot] : model)
            out.push_back(slot);
        return out;
    }

    void check() {
        TreeCheck tree{*index, pages, {}, {}};
        tree.run();
        if (::testing::Test::HasFatalFailure()) return;
        std::vector<Row> expected;
        for (const auto& [row, slot] : model)
            expected.push_back(row);
        auto same = [&](const Row& a, const Row& b) { return !order(a, b) && !order(b, a); };

        // Walks both ways: every record once, keys in order.
        for (bool forward : {true, false}) {
            std::vector<std::int32_t> walked;
            TSQLMemKeyPath path;
            bool ok = forward ? index->firstEntry(0, path) : index->lastEntry(0, path);
            for (; ok; ok = forward ? index->stepNext(0, path) : index->stepPrior(0, path))
                walked.push_back(index->entryRecordId(0, path).PageNo);
            if (!forward) std::reverse(walked.begin(), walked.end());
            ASSERT_EQ(walked.size(), expected.size()) << (forward ? "forward" : "backward");
            for (size_t i = 0; i < walked.size(); ++i) {
                ASSERT_TRUE(rows.count(walked[i])) << "entry of a deleted record";
                ASSERT_TRUE(same(rows.at(walked[i]), expected[i])) << "position " << i;
            }
            ASSERT_EQ(std::set<std::int32_t>(walked.begin(), walked.end()).size(), walked.size());
        }

        // Every key is found, with all its duplicates after the first found.
        const int columns = static_cast<int>(def.Columns.size());
        std::vector<std::uint8_t> key(index->keyRef().keySize);
        for (auto it = model.begin(); it != model.end(); it = model.upper_bound(it->first)) {
            const auto r = table.record(it->first.id, it->first.name);
            index->buildKey(r.data(), key.data());
            TSQLMemKeyPath path;
            ASSERT_TRUE(index->search(0, {r.data(), columns, TSQLMemIndexMode::Equal}, false, path))
                << "name " << it->first.name << " id " << it->first.id << " not found";
            std::size_t equal = 0;
            for (bool ok = true;
                 ok && index->entryMatches(0, path, key.data(), columns, TSQLMemIndexMode::Equal);
                 ok = index->stepNext(0, path))
                ++equal;
            ASSERT_EQ(equal, model.count(it->first)) << "name " << it->first.name;
            ASSERT_TRUE(index->search(0, {r.data(), columns, TSQLMemIndexMode::Equal}, true, path));
        }
        const auto absent = table.record(-1, 9999999);
        TSQLMemKeyPath path;
        EXPECT_FALSE(
            index->search(0, {absent.data(), columns, TSQLMemIndexMode::Equal}, false, path));

        // Numbers in key order count the entries of every leaf.
        if (!expected.empty()) {
            for (std::int64_t n :
                 {std::int64_t{1}, static_cast<std::int64_t>(expected.size() + 1) / 2,
                  static_cast<std::int64_t>(expected.size())}) {
                const TSQLMemRecordID id = index->recordAtNumber(0, n);
                ASSERT_TRUE(same(rows.at(id.PageNo), expected[n - 1])) << "number " << n;
                const Row row = rows.at(id.PageNo);
                EXPECT_EQ(index->recordNumber(0, id, table.record(row.id, row.name).data()), n);
            }
        }
        pages.releaseSession(0);
    }

    Table table;
    TSQLMemIndexDef def;
    TSQLMemMemoryPageManager pages;
    std::unique_ptr<TSQLMemBTreeIndex> index;
    RowOrder order;
    std::multimap<Row, std::int32_t, RowOrder> model;
    std::map<std::int32_t, Row> rows;
    std::int32_t nextSlot = 0;
};

TEST(BTreeKeyWidthTest, KeyTooWideForThreeEntriesAPageIsRefused) {
    const struct {
        const char* what;
        int nameSize;
        std::vector<TSQLMemIndexColumn> columns;
        int keySize;  // 0: refused
    } rows[] = {
        {"three leaf entries fill a page but for a byte", 1351, {{"name", false, false}}, 1353},
        {"one byte more", 1352, {{"name", false, false}}, 0},
        {"two columns at the limit", 1346, {{"name", true, false}, {"id", false, false}}, 1353},
        {"two columns over it", 1347, {{"id", false, false}, {"name", false, false}}, 0},
        {"two entries a page", 2031, {{"name", false, false}}, 0},
        {"not even one entry", 5000, {{"name", false, true}}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Table t(row.nameSize);
        TSQLMemIndexDef def = indexOn(row.columns);
        TSQLMemMemoryPageManager pages;
        if (row.keySize) {
            TSQLMemBTreeIndex index(def, t.fields, pages);
            EXPECT_EQ(index.keyRef().keySize, row.keySize);
            continue;
        }
        try {
            TSQLMemBTreeIndex index(def, t.fields, pages);
            ADD_FAILURE() << "the index was made";
        } catch (const ESQLMemException& e) {
            const int size = row.nameSize + 2 + (row.columns.size() > 1 ? 5 : 0);
            EXPECT_EQ(e.nativeError(), 20028);
            EXPECT_EQ(std::string(e.what()),
                      "Key of index 'ix' is too long: " + std::to_string(size) +
                          " bytes, an index key takes at most 1353 - "
                          "Native error: 20028");
        }
    }
}

// An index is refused when it is made, or it works for any number of rows:
// pages of two entries used to gain a level on every ascending insert, and
// walks broke past 32 levels while the inserts reported success.
TEST(BTreeKeyWidthTest, AcceptedIndexStaysUsableAtEveryWidth) {
    const struct {
        const char* what;
        int nameSize;
        std::vector<TSQLMemIndexColumn> columns;
        bool required;  // the index must be taken
    } rows[] = {
        {"four entries a page", 1000, {{"name", false, false}}, true},
        {"three entries a page", 1351, {{"name", false, false}}, true},
        {"two leaf entries, three node entries", 1352, {{"name", false, false}}, false},
        {"two entries a page", 1354, {{"name", false, false}}, false},
        {"two columns, two entries a page",
         1500,
         {{"name", true, false}, {"id", false, false}},
         false},
        {"two entries filling a page", 2031, {{"name", false, false}}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        IndexModel m(row.nameSize, row.columns);
        try {
            m.open();
        } catch (const ESQLMemException&) {
            EXPECT_FALSE(row.required) << "refused";
            continue;
        }
        for (int i = 0; i < 300; ++i)
            m.insert(1000 + i, i);
        for (int i = 0; i < 300; ++i)
            m.insert(999 - i, i);
        m.check();
        if (::testing::Test::HasFatalFailure()) return;
        for (std::int32_t slot : m.slotsInOrder())
            m.remove(slot);
        m.check();
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// At the widest key a page holds the fewest entries, so a leaf empties beside
// full siblings within a few deletes; it used to stay in the tree, empty, and
// walks skipped the rows after it.
TEST(BTreeMergeTest, EmptiedLeafNeverStaysInTheTree) {
    const std::vector<TSQLMemIndexColumn> columns = {{"name", false, false}};
    const int width = widestName(columns);
    ASSERT_GE(width, 1000);
    const int n = 24;
    auto order = [&](const std::string& how) {
        std::vector<int> v(n);
        for (int i = 0; i < n; ++i)
            v[i] = i;
        if (how == "descending") std::reverse(v.begin(), v.end());
        if (how == "from both ends")
            for (int i = 0; i < n; ++i)
                v[i] = i % 2 ? n - 1 - i / 2 : i / 2;
        if (how == "middle out")
            for (int i = 0; i < n; ++i)
                v[i] = i % 2 ? n / 2 + i / 2 : n / 2 - 1 - i / 2;
        return v;
    };
    for (const char* fill : {"ascending", "descending", "from both ends"}) {
        for (const char* empty : {"ascending", "descending", "middle out"}) {
            SCOPED_TRACE(std::string("filled ") + fill + ", emptied " + empty);
            IndexModel m(width, columns);
            m.open();
            for (int name : order(fill))
                m.insert(name, name);
            std::map<int, std::int32_t> slotOf;
            for (const auto& [slot, row] : m.rows)
                slotOf[row.name] = slot;
            for (int name : order(empty)) {
                m.remove(slotOf.at(name));
                m.check();
                if (::testing::Test::HasFatalFailure()) return;
            }
            EXPECT_EQ(m.pages.pagesInUse(), 1) << "an empty root leaf is left";
        }
    }
}

// Thousands of inserts and deletes in ascending, descending and random order
// on keys from narrow to as wide as the index takes, each phase checked
// against a multimap of the rows.
class BTreeModelTest : public ::testing::TestWithParam<int> {};

TEST_P(BTreeModelTest, WalksLocatesAndCountsMatchTheModel) {
    const struct {
        std::vector<TSQLMemIndexColumn> columns;
        int nameSize;  // 0: the widest the index takes
        int rows;
        int ids;  // ids are drawn from 0 .. ids - 1
    } shapes[] = {
        {{{"id", false, false}}, 20, 6000, 1 << 30},
        {{{"name", false, true}}, 1000, 1600, 1 << 30},
        {{{"name", false, false}}, 0, 1600, 1 << 30},
        {{{"name", true, false}, {"id", false, false}}, 0, 1600, 40},
    };
    const auto& shape = shapes[GetParam()];
    const int width = shape.nameSize ? shape.nameSize : widestName(shape.columns);
    ASSERT_GE(width, 20);
    IndexModel m(width, shape.columns);
    m.open();
    std::mt19937 rng(1000 + GetParam());
    auto id = [&] { return static_cast<int>(rng() % static_cast<unsigned>(shape.ids)); };
    const int n = shape.rows;
    auto phase = [&](const char* what, const std::function<void()>& work) {
        SCOPED_TRACE(what);
        work();
        m.check();
    };

    phase("ascending inserts", [&] {
        for (int i = 0; i < n / 2; ++i)
            m.insert(2 * i, id());
    });
    if (HasFatalFailure()) return;
    phase("descending inserts", [&] {
        for (int i = n / 2 - 1; i >= 0; --i)
            m.insert(2 * i + 1, id());
    });
    if (HasFatalFailure()) return;
    phase("random inserts", [&] {
        for (int i = 0; i < n / 2; ++i)
            m.insert(static_cast<int>(rng() % static_cast<unsigned>(n)), id());
    });
    if (HasFatalFailure()) return;
    phase("random deletes", [&] {
        std::vector<std::int32_t> slots;
        for (const auto& [slot, row] : m.rows)
            slots.push_back(slot);
        std::shuffle(slots.begin(), slots.end(), rng);
        slots.resize(slots.size() * 3 / 5);
        for (std::int32_t slot : slots)
            m.remove(slot);
    });
    if (HasFatalFailure()) return;
    phase("ascending deletes", [&] {
        auto slots = m.slotsInOrder();
        slots.resize(slots.size() / 2);
        for (std::int32_t slot : slots)
            m.remove(slot);
    });
    if (HasFatalFailure()) return;
    phase("descending deletes", [&] {
        auto slots = m.slotsInOrder();
        for (auto it = slots.rbegin(); it != slots.rend(); ++it)
            m.remove(*it);
    });
    if (HasFatalFailure()) return;
    EXPECT_EQ(m.pages.pagesInUse(), 1);
}

std::string shapeName(const ::testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"NarrowInteger", "Text1000", "WidestText",
                                        "WidestTextAndInteger"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Shapes, BTreeModelTest, ::testing::Range(0, 4), shapeName);

// A change that fails at any allocation leaves its index as it was: root,
// pages in use and every byte the session sees, also when the same session
// changed the index (or another index of the store) a moment before.
TEST(BTreeAtomicityTest, FailedChangeLeavesTheIndexAsItWas) {
    Table t(1000);
    TSQLMemIndexDef byId = indexOn({{"id", false, false}});
    TSQLMemIndexDef byName = indexOn({{"name", false, false}});
    TSQLMemMemoryPageManager pages;
    TSQLMemBTreeIndex ids(byId, t.fields, pages), names(byName, t.fields, pages);

    auto state = [&] {
        std::size_t h =
            std::hash<std::int64_t>{}((std::int64_t{ids.rootPage()} << 40) ^
                                      (std::int64_t{names.rootPage()} << 20) ^ pages.pagesInUse());
        for (std::int32_t no = 0; no < pages.pagesAllocated(); ++no) {
            if (!pages.pageInUse(no)) continue;
            PageRef ref(pages, 0, no);
            const std::string_view bytes(reinterpret_cast<const char*>(ref.data()), kPageSize);
            h = h * 1000003u ^ std::hash<std::string_view>{}(bytes);
        }
        return h;
    };
    // Tries the change under growing budgets until it goes through.
    static const std::int64_t budgets[] = {0,         1 << 10,   3 << 10,   6 << 10,   10 << 10,
                                           14 << 10,  18 << 10,  22 << 10,  28 << 10,  36 << 10,
                                           60 << 10,  100 << 10, 140 << 10, 180 << 10, 200 << 10,
                                           220 << 10, 250 << 10};
    int failures = 0;
    auto attempt = [&](const std::function<void()>& change) {
        const std::size_t before = state();
        for (std::int64_t b : budgets) {
            try {
                ScopedMemoryBudget budget(b);
                change();
                return;
            } catch (const ESQLMemException& e) {
                ASSERT_EQ(e.nativeError(), 30004) << e.what();
                ++failures;
            }
            ASSERT_EQ(state(), before) << "budget " << b;
        }
        change();
    };
    auto sound = [&] {
        for (TSQLMemBTreeIndex* index : {&ids, &names}) {
            TreeCheck check{*index, pages, {}, {}};
            if (index->empty()) continue;
            check.walk(index->rootPage(), 0, nullptr, nullptr);
        }
    };

    // Inserts two records a session, so that a change often meets pages
    // the session changed just before.
    std::map<std::int32_t, std::vector<std::uint8_t>> records;
    for (std::int32_t slot = 0; slot < 140; ++slot) {
        auto r = t.record(slot, (slot * 7919) % 1009);
        attempt([&] { ids.insertKey(0, r.data(), {slot, 0}); });
        attempt([&] { names.insertKey(0, r.data(), {slot, 0}); });
        if (HasFatalFailure()) return;
        records[slot] = r;
        if (slot % 2 == 0) continue;
        pages.releaseSession(0);
        sound();
        if (HasFatalFailure()) return;
    }
    ASSERT_GT(pages.pagesAllocated(), kPageGrowth) << "the store grew during a change";
    for (std::int32_t slot = 0; slot < 140; slot += 3) {
        auto r = t.record(slot, 2000 + slot);
        attempt([&] { names.updateKey(0, records[slot].data(), r.data(), {slot, 0}); });
        if (HasFatalFailure()) return;
        records[slot] = r;
    }
    pages.releaseSession(0);
    std::vector<std::int32_t> order;
    for (const auto& [slot, r] : records)
        order.push_back(slot);
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (size_t i = 0; i < order.size(); ++i) {
        const auto& r = records[order[i]];
        attempt([&] { names.deleteKey(0, r.data(), {order[i], 0}); });
        attempt([&] { ids.deleteKey(0, r.data(), {order[i], 0}); });
        if (HasFatalFailure()) return;
        if (i % 2 == 0) continue;
        pages.releaseSession(0);
        sound();
        if (HasFatalFailure()) return;
    }
    pages.releaseSession(0);
    EXPECT_EQ(pages.pagesInUse(), 2) << "two empty root leaves";
    EXPECT_GT(failures, 700);
}

}  // namespace
}  // namespace sqlmem
