// Table images under attack: random tables that must come back the same and
// stay the same under the same changes, and forged images that must either
// load into a sound table or be refused with no table left behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "io/definitions_image.h"
#include "io/image_header.h"
#include "io/memory_stream.h"
#include "platform/bytes.h"
#include "storage/database_data.h"
#include "storage/table_data.h"

namespace sqlmem {
namespace {

using F = TFieldType;
using Bytes = std::vector<std::uint8_t>;

class TableImageBreakTest : public testing::NamedTablesTest {
protected:
    static Bytes save(TSQLMemTable& t, int algorithm) {
        TSQLMemMemoryStream s;
        t.saveToStream(s, algorithm, 0, 0);
        return Bytes(s.data(), s.data() + s.size());
    }
    static void load(const std::string& name, const Bytes& image) {
        TSQLMemMemoryStream s(EngineBytes(image.begin(), image.end()));
        TSQLMemTable t;
        t.TableName = name;
        t.loadFromStream(s);
    }
    static bool exists(const std::string& name) {
        return engineDatabase("MEMORY")->findTableStorage(name) != nullptr;
    }
    // A load either refuses with an engine error and leaves no table, or
    // gives a table that takes a walk in every order and a new record.
    void expectRefused(const Bytes& image, const std::string& why) {
        const std::string target = tableName("_forged");
        EXPECT_NE(testing::codeOf([&] { load(target, image); }), 0) << why;
        EXPECT_FALSE(exists(target)) << why;
    }
    // The contract for a forged image: refused, leaving no table, or loaded
    // into a table whose every record can be walked in every order, deleted,
    // and given back (the first field an integer key, the rest left null).
    void expectRefusedOrSound(const Bytes& image, const std::string& why) {
        const std::string stored = storedName(image);
        const int code = testing::codeOf([&] { load(tableName("_target"), image); });
        if (code != 0) {
            EXPECT_FALSE(exists(stored)) << why;
            return;
        }
        TSQLMemTable t;
        t.TableName = stored;
        try {
            t.open();
            std::vector<std::string> indexes = {""};
            for (int i = 0; i < storage(stored).indexDefs().count(); ++i)
                indexes.push_back(storage(stored).indexDefs()[i].Name);
            const int records = t.recordCount();
            for (const std::string& index : indexes)
                EXPECT_EQ(static_cast<int>(rowsOf(t, index).size()), records) << why << index;
            t.setIndexName("");
            while (!t.isEmpty())
                t.deleteRecord();
            for (int i = 1; i <= 3; ++i) {
                t.append();
                t.field(0).setAsInteger(1000 + i);
                t.post();
            }
            for (const std::string& index : indexes)
                EXPECT_EQ(rowsOf(t, index).size(), 3u) << why << index;
            t.close();
            save(t, 1);
        } catch (const std::exception& e) {
            ADD_FAILURE() << why << ": loaded, then " << e.what();
        }
        t.close();
        t.deleteTable(true);
    }
    static std::string storedName(const Bytes& image) {
        return std::string(image.begin() + 43, image.begin() + 43 + image[42]);
    }
    static TSQLMemMemoryTableData& storage(const std::string& name) {
        return *static_cast<TSQLMemMemoryTableData*>(
            engineDatabase("MEMORY")->findTableStorage(name));
    }
    static std::vector<std::string> rowsOf(TSQLMemTable& t, const std::string& index);
};

// An uncompressed image taken apart: the head, the definitions, and the
// page store and records after them, so that a definition can be changed
// and the image put together again.
struct ForgedImage {
    explicit ForgedImage(const Bytes& image) : lists{sequences, fields, constraints, indexes} {
        const std::size_t bodyStart = TSQLMemImageHeader::kSize + image[42] + 8;
        head.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(bodyStart));
        TByteReader in(image.data() + bodyStart, image.data() + image.size(), 1);
        readDefinitionSections(in, lists);
        rest.assign(image.begin() + static_cast<std::ptrdiff_t>(bodyStart + in.offset()),
                    image.end());
    }
    Bytes bytes() const {
        Bytes out = head;
        writeDefinitionSections(out, sequences, fields, constraints, indexes);
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    }
    // The page store's pages start after its head and bit set.
    std::size_t firstPage() const {
        const auto allocated = static_cast<std::size_t>(loadLE<std::int32_t>(rest.data()));
        return 28 + (allocated + 7) / 8;
    }

    Bytes head, rest;
    TSQLMemSequenceDefs sequences;
    TSQLMemFieldDefs fields;
    TSQLMemConstraintDefs constraints;
    TSQLMemIndexDefs indexes;
    TSQLMemDefinitionLists lists;
};

// --- round trips -------------------------------------------------------------

// Every record, as text, in the order of the named index ("" for none).
std::vector<std::string> rowsInOrder(TSQLMemTable& t, const std::string& index) {
    t.setIndexName(index);
    std::vector<std::string> rows;
    for (t.first(); !t.eof(); t.next()) {
        std::string row = std::to_string(t.recNo()) + ":";
        for (int i = 0; i < t.fieldCount(); ++i)
            row += (t.field(i).isNull() ? std::string("<null>") : t.field(i).asString()) + "|";
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> TableImageBreakTest::rowsOf(TSQLMemTable& t, const std::string& index) {
    return rowsInOrder(t, index);
}

const std::vector<std::string> kIndexes = {"", "PK", "ByNameScore", "ByCatWide", "ByNameUnique"};

// The same random changes to a table, from the same seed.
void change(TSQLMemTable& t, std::uint32_t seed, int steps, int& nextId) {
    std::mt19937 rng(seed);
    const std::vector<std::string> names = {"ab", "AB", "Ab", "b", "яблоко", "ЯБЛОКО", "zz", ""};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto fill = [&] {
        if (pick(8) == 0)
            t.fieldByName("name").clear();
        else
            t.fieldByName("name").setAsString(names[pick(8)] + std::to_string(pick(3)));
        t.fieldByName("score").setAsFloat(pick(5) == 0 ? -0.0 : (pick(200) - 100) / 8.0);
        if (pick(6) == 0)
            t.fieldByName("cat").clear();
        else
            t.fieldByName("cat").setAsInteger(pick(7));
        t.fieldByName("w").setAsString(names[pick(8)]);
    };
    t.open();
    t.setIndexName("PK");
    for (int s = 0; s < steps; ++s) {
        const int op = t.isEmpty() ? 0 : pick(10);
        if (op < 6) {
            t.append();
            nextId += 1 + pick(3);
            t.fieldByName("id").setAsInteger(nextId);
            fill();
            // The unique index on name may refuse it: a collision is no change.
            try {
                t.post();
            } catch (const ESQLMemException&) {
                t.cancel();
            }
        } else {
            t.setRecNo(1 + pick(t.recordCount()));
            if (op < 8) {
                t.edit();
                fill();
                try {
                    t.post();
                } catch (const ESQLMemException&) {
                    t.cancel();
                }
            } else {
                t.deleteRecord();
            }
        }
    }
    t.close();
}

void create(TSQLMemTable& t, const std::string& name) {
    t.TableName = name;
    t.FieldDefs = {{"id", F::ftInteger, 0},  {"name", F::ftString, 12}, {"w", F::ftWideString, 8},
                   {"score", F::ftFloat, 0}, {"cat", F::ftSmallint, 0}, {"memo", F::ftMemo, 0},
                   {"auto", F::ftAutoInc, 0}};
    t.IndexDefs = {{"PK", "id", ixPrimary},
                   {"ByNameScore", "name;score", ixDescending | ixCaseInsensitive},
                   {"ByCatWide", "cat;w;id", ixDescending},
                   {"ByNameUnique", "name;auto", ixUnique | ixCaseInsensitive}};
    t.createTable();
}

void expectSame(TSQLMemTable& a, TSQLMemTable& b, const std::string& when) {
    a.open();
    b.open();
    for (const std::string& index : kIndexes) {
        EXPECT_EQ(rowsInOrder(a, index), rowsInOrder(b, index)) << when << " in order " << index;
        a.setFilter("cat > 2 and name > 'a'");
        b.setFilter("cat > 2 and name > 'a'");
        a.setFiltered(true);
        b.setFiltered(true);
        EXPECT_EQ(rowsInOrder(a, index), rowsInOrder(b, index)) << when << " filtered " << index;
        a.setFiltered(false);
        b.setFiltered(false);
    }
    a.close();
    b.close();
}

// Random tables of a few records to some thousands (trees of several
// levels, holes, emptied) through every algorithm; the copy then takes the
// same changes as the original and stays equal to it.
TEST_F(TableImageBreakTest, RandomTablesRoundTripAndTakeTheSameChanges) {
    struct Shape {
        int steps;
        bool empty;
    };
    const std::vector<Shape> shapes = {{0, false}, {5, false}, {400, true}, {3000, false}};
    std::uint32_t seed = 7;
    for (const Shape& shape : shapes) {
        for (int algorithm = 0; algorithm <= 2; ++algorithm) {
            const std::string when =
                std::to_string(shape.steps) + " steps, algorithm " + std::to_string(algorithm);
            const std::string stored = tableName("_a" + std::to_string(seed));
            const std::string moved = tableName("_o" + std::to_string(seed));
            TSQLMemTable original;
            create(original, stored);
            int originalId = 0;
            change(original, ++seed, shape.steps, originalId);
            if (shape.empty) {
                original.open();
                while (!original.isEmpty())
                    original.deleteRecord();
                original.close();
            }
            const Bytes image = save(original, algorithm);
            EXPECT_EQ(save(original, algorithm), image) << when << ": a save changed the table";
            // The image keeps its stored name: the original moves aside.
            original.renameTable(moved);
            original.TableName = moved;
            load(stored, image);
            TSQLMemTable copy;
            copy.TableName = stored;
            expectSame(original, copy, when + " after load");
            int copyId = originalId;
            const std::uint32_t more = ++seed;
            change(original, more, 300, originalId);
            change(copy, more, 300, copyId);
            expectSame(original, copy, when + " after changes");
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// --- forged images -------------------------------------------------------------

Bytes doubleBytes(double v) {
    Bytes b(8);
    storeLE<double>(b.data(), v);
    return b;
}

// Every occurrence of `from` in the image's records and pages becomes `to`.
void replaceAll(Bytes& image, std::size_t from, const Bytes& a, const Bytes& b) {
    for (std::size_t i = from; i + a.size() <= image.size(); ++i)
        if (std::equal(a.begin(), a.end(), image.begin() + static_cast<std::ptrdiff_t>(i)))
            std::copy(b.begin(), b.end(), image.begin() + static_cast<std::ptrdiff_t>(i));
}

// An edit that leaves a key where it sorts (other case under a
// case-insensitive column, -0 for 0) still changes its bytes: the index
// must hold the record's key, or the table's image is refused as damaged.
TEST_F(TableImageBreakTest, EditsThatKeepTheKeyOrderStillRoundTrip) {
    struct Case {
        TFieldDef field;
        unsigned options;
        Variant before, after;
    };
    const std::vector<Case> cases = {
        {{"v", F::ftString, 10},
         ixCaseInsensitive,
         Variant(std::string("ab")),
         Variant(std::string("AB"))},
        {{"v", F::ftWideString, 10},
         ixCaseInsensitive | ixDescending,
         Variant(std::string("яблоко")),
         Variant(std::string("ЯБЛОКО"))},
        {{"v", F::ftFloat, 0}, 0, Variant(0.0), Variant(-0.0)},
    };
    for (const Case& c : cases) {
        const std::string stored = tableName("_" + std::to_string(&c - cases.data()));
        TSQLMemTable t;
        t.TableName = stored;
        t.FieldDefs = {{"id", F::ftInteger, 0}, c.field};
        t.IndexDefs = {{"ByV", "v", c.options}};
        t.createTable();
        t.open();
        t.append();
        t.field(0).setAsInteger(1);
        t.field(1).setValue(c.before);
        t.post();
        t.edit();
        t.field(1).setValue(c.after);
        t.post();
        const std::string kept = t.field(1).asString();
        t.close();
        const Bytes image = save(t, 1);
        t.deleteTable();
        const int code = testing::codeOf([&] { load(stored, image); });
        EXPECT_EQ(code, 0) << c.field.Name << " " << c.options;
        if (code != 0) continue;
        t.open();
        t.setIndexName("ByV");
        EXPECT_EQ(t.field(1).asString(), kept);
        t.close();
    }
}

// A table of integer keys 1..n under a primary index, saved uncompressed.
Bytes keysImage(TSQLMemTable& t, const std::string& name, int n) {
    t.TableName = name;
    t.FieldDefs = {{"id", F::ftInteger, 0}, {"x", F::ftFloat, 0}};
    t.IndexDefs = {{"PK", "id", ixPrimary}, {"ByX", "x", 0}};
    t.createTable();
    t.open();
    for (int i = 1; i <= n; ++i) {
        t.append();
        t.field(0).setAsInteger(i);
        t.field(1).setAsFloat(i);
        t.post();
    }
    t.close();
    TSQLMemMemoryStream s;
    t.saveToStream(s, 0, 0, 0);
    return Bytes(s.data(), s.data() + s.size());
}

// A root node over a single child is no shape the engine makes (it takes
// the child's place), and deleting the child's last entry then finds no
// sibling to merge with.
TEST_F(TableImageBreakTest, ARootNodeOverOneChildIsRefusedOrSound) {
    TSQLMemTable t;
    const Bytes image = keysImage(t, tableName("_keys"), 1);
    t.deleteTable();
    ForgedImage f(image);
    const std::int32_t root = f.indexes[0].StructureNo;
    ASSERT_EQ(loadLE<std::int32_t>(f.rest.data() + 4), 1) << "highest page: both roots";
    const std::size_t pages = f.firstPage();
    // Page 2 takes the PK root's leaf; the root becomes a node over it.
    storeLE<std::int32_t>(f.rest.data() + 4, 2);
    storeLE<std::int32_t>(f.rest.data() + 16, loadLE<std::int32_t>(f.rest.data() + 16) + 1);
    storeLE<std::int32_t>(f.rest.data() + 24, loadLE<std::int32_t>(f.rest.data() + 24) + 1);
    f.rest[28] |= 4;
    std::uint8_t* r = f.rest.data() + pages + static_cast<std::size_t>(root) * 4096;
    std::uint8_t* c = f.rest.data() + pages + 2 * 4096;
    std::memcpy(c, r, 4096);
    c[0] = 0;
    std::memset(r + 18, 0, 4096 - 18);
    r[1] = 0;
    storeLE<std::uint16_t>(r + 14, 1);
    storeLE<std::int32_t>(r + 18 + 5, 2);
    expectRefusedOrSound(f.bytes(), "root node over one leaf");
}

// A float that is no number equals every key, so keys 3, NaN, 1 pass for
// ordered; the dataset never stores one.
TEST_F(TableImageBreakTest, FloatsThatAreNoNumberAreRefused) {
    TSQLMemTable t;
    Bytes image = keysImage(t, tableName("_keys"), 3);
    t.deleteTable();
    const std::size_t body = ForgedImage(image).head.size();
    const Bytes nan = doubleBytes(std::numeric_limits<double>::quiet_NaN());
    replaceAll(image, body, doubleBytes(1), nan);
    replaceAll(image, body, doubleBytes(3), doubleBytes(1));
    replaceAll(image, body, nan, doubleBytes(3));
    replaceAll(image, body, doubleBytes(2), nan);
    expectRefused(image, "keys 3, NaN, 1");
}

// Constraints are checked on every change through the identifiers they
// hold: one that names no field or index of the table, or bounds a field
// with a value of no comparable type, would fail every insert.
TEST_F(TableImageBreakTest, ConstraintsNamingNothingAreRefusedOrSound) {
    TSQLMemTable t;
    t.TableName = tableName("_source");
    t.FieldDefs = {{"id", F::ftInteger, 0}, {"x", F::ftFloat, 0}};
    t.FieldDefs[1].MinValue = Variant(-5.0);
    t.IndexDefs = {{"PK", "id", ixPrimary}};
    t.createTable();
    const Bytes image = save(t, 0);
    t.deleteTable();
    auto unique = [](ForgedImage& f) -> TSQLMemConstraintDefUnique& {
        return static_cast<TSQLMemConstraintDefUnique&>(f.constraints[0]);
    };
    auto check = [](ForgedImage& f) -> TSQLMemConstraintDefCheck& {
        return static_cast<TSQLMemConstraintDefCheck&>(f.constraints[1]);
    };
    const std::vector<std::pair<std::string, std::function<void(ForgedImage&)>>> forgeries = {
        {"primary key on no index", [&](ForgedImage& f) { unique(f).Index.ID = 987654; }},
        {"primary key on no field", [&](ForgedImage& f) { unique(f).Columns[0].FieldID = 987654; }},
        {"check on no field", [&](ForgedImage& f) { check(f).Field.ID = 987654; }},
        {"check bound of text",
         [&](ForgedImage& f) {
             check(f).MinValue = TSQLMemVariant(bftVarchar);
             check(f).MinValue.SetString("abc", 3);
         }},
    };
    for (const auto& [why, forge] : forgeries) {
        ForgedImage f(image);
        ASSERT_EQ(f.constraints.count(), 2);
        ASSERT_EQ(f.constraints[1].Kind, ckCheck);
        forge(f);
        expectRefusedOrSound(f.bytes(), why);
    }
}

// Tables bound by a foreign key, each side with its constraints, come back
// and keep enforcing it.
TEST_F(TableImageBreakTest, TablesBoundByAForeignKeyRoundTrip) {
    TSQLMemTable parent, child;
    parent.TableName = tableName("_parent");
    parent.FieldDefs = {{"id", F::ftInteger, 0, true}};
    parent.IndexDefs = {{"PK", "id", ixPrimary}};
    parent.createTable();
    child.TableName = tableName("_child");
    child.FieldDefs = {{"id", F::ftInteger, 0}, {"parent", F::ftInteger, 0}};
    child.IndexDefs = {{"PK", "id", ixPrimary}};
    child.ForeignKeyDefs = {{"FK_PARENT", "parent", parent.TableName}};
    child.createTable();
    parent.open();
    parent.append();
    parent.field(0).setAsInteger(1);
    parent.post();
    parent.close();
    for (TSQLMemTable* t : {&parent, &child}) {
        const Bytes image = save(*t, 2);
        ASSERT_EQ(testing::codeOf([&] { load(t->TableName, image); }), 0) << t->TableName;
    }
    child.open();
    child.append();
    child.field(0).setAsInteger(1);
    child.field(1).setAsInteger(1);
    child.post();
    child.append();
    child.field(0).setAsInteger(2);
    child.field(1).setAsInteger(2);
    EXPECT_EQ(testing::codeOf([&] { child.post(); }), 11420);
    child.cancel();
    child.close();
}

// A default is copied into every new record as it is: on a BLOB field its
// bytes become a reference to a block that may not exist (the dataset
// refuses such a default, 30052), and text longer than the field fails
// every insert.
TEST_F(TableImageBreakTest, DefaultsTheFieldCannotHoldAreRefusedOrSound) {
    TSQLMemTable t;
    t.TableName = tableName("_source");
    t.FieldDefs = {{"id", F::ftInteger, 0}, {"m", F::ftMemo, 0}, {"s", F::ftString, 3}};
    t.createTable();
    const Bytes image = save(t, 0);
    t.deleteTable();
    auto valueOf = [](std::uint8_t type, const Bytes& data) {
        Bytes stream = {type, 0};
        stream.resize(6);
        storeLE<std::int32_t>(stream.data() + 2, static_cast<std::int32_t>(data.size()));
        stream.insert(stream.end(), data.begin(), data.end());
        TSQLMemVariant v;
        v.LoadFromStream(stream.data(), stream.data() + stream.size());
        return v;
    };
    const struct {
        const char* why;
        int field;
        TSQLMemVariant value;
    } cases[] = {
        {"a BLOB reference as default", 1, valueOf(bftClob, {1, 0, 0, 0, 0, 0, 0xF0, 0xF0})},
        {"text longer than its field", 2, valueOf(bftVarchar, {'a', 'b', 'c', 'd', 'e', 0})},
    };
    for (const auto& c : cases) {
        ForgedImage f(image);
        f.fields[c.field].DefaultValue = c.value;
        expectRefusedOrSound(f.bytes(), c.why);
    }
}

// A load that runs out of the memory limit at any point raises an engine
// error and leaves no table; with room enough it loads whole.
TEST_F(TableImageBreakTest, LoadsShortOfMemoryFailWholly) {
    const std::string stored = tableName("_a");
    const std::string moved = tableName("_moved");
    const std::string target = tableName("_target");
    TSQLMemTable original;
    create(original, stored);
    int id = 0;
    change(original, 99, 1500, id);
    original.open();
    const int records = original.recordCount();
    original.close();
    ASSERT_GT(records, 500);
    for (int algorithm : {0, 2}) {
        const Bytes image = save(original, algorithm);
        original.renameTable(moved);
        bool loaded = false;
        for (std::int64_t budget = 0; !loaded; budget += 64 * 1024) {
            std::string message;
            int code = 0;
            {
                testing::ScopedMemoryBudget limit(budget);
                code = testing::codeOf([&] { load(target, image); }, &message);
            }
            loaded = code == 0;
            if (!loaded) {
                EXPECT_FALSE(exists(stored) || exists(target)) << budget << message;
            }
            ASSERT_LT(budget, std::int64_t{1} << 30) << "never loaded: " << message;
        }
        TSQLMemTable copy;
        copy.TableName = stored;
        copy.open();
        EXPECT_EQ(copy.recordCount(), records);
        copy.close();
        copy.deleteTable();
        original.renameTable(stored);
    }
}
// A table without a name cannot be opened, emptied or deleted through a
// dataset ("Missing TableName property"): loaded, it would stay for good.
TEST_F(TableImageBreakTest, AnImageNamingNoTableIsRefused) {
    TSQLMemTable t;
    Bytes image = keysImage(t, tableName("_keys"), 3);
    t.deleteTable();
    image.erase(image.begin() + 43, image.begin() + 43 + image[42]);
    image[42] = 0;
    expectRefused(image, "no name");
    EXPECT_FALSE(exists(""));
}
}  // namespace
}  // namespace sqlmem
