// The same filter, the same records, with and without indexes: two tables
// hold the same rows, one with an index on every field (one and two columns,
// some descending or case-insensitive) and one without any. Random filters
// and ranges must show exactly the records a record-by-record scan shows,
// and the indexed table shows them in its cursor's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "storage/database_data.h"
#include "storage/local_cursor.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"
#include "values/sql_params.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {
namespace {

// A field and the texts of its values, which serve both as the rows'
// values and as the constants a filter compares the field with.
struct FieldSpec {
    const char* name;
    int type;
    int size;
    bool quoted;  // its values are written as quoted text in a filter
    std::vector<std::string> values;
};

const std::vector<std::string> kText = {
    "a",    "A", "ab", "Ab", "b", "B", "10", "9", "2.5", "abcdef", "a b",
    "\xE6",  // ж
    "\xC6",  // Ж
    "\xB8",  // ё
    "\xE5",  // е
};

const std::vector<FieldSpec> kFields = {
    {"id", aftInteger, 0, false, {}},
    {"si", aftShortInt, 0, false, {"-128", "127", "-3", "0", "1", "2", "3", "5", "10"}},
    {"sm", aftSmallInt, 0, false, {"-32768", "32767", "-3", "0", "1", "2", "3", "5", "10", "300"}},
    {"i",
     aftInteger,
     0,
     false,
     {"-2147483648", "2147483647", "-3", "0", "1", "2", "3", "5", "10", "16777217"}},
    {"li",
     aftLargeInt,
     0,
     false,
     {"-9223372036854775808", "9223372036854775807", "-3", "0", "1", "2", "3", "10",
      "9007199254740992", "9007199254740993", "2147483648"}},
    {"w", aftWord, 0, false, {"0", "1", "2", "3", "5", "10", "65535"}},
    {"b", aftByte, 0, false, {"0", "1", "2", "3", "5", "10", "255"}},
    {"c", aftCardinal, 0, false, {"0", "1", "2", "3", "10", "2147483648", "4294967295"}},
    {"fs",
     aftSingle,
     0,
     false,
     {"-1.5", "0", "0.1", "0.5", "1", "2.5", "3", "16777216", "16777218", "1e30"}},
    {"fd",
     aftDouble,
     0,
     false,
     {"-1.5", "0", "0.1", "0.5", "1", "2.5", "3", "9007199254740992", "9007199254740994", "1e300"}},
    {"cu",
     aftCurrency,
     0,
     false,
     {"-2.5", "0", "0.25", "1", "1.5", "2", "2.5", "3", "1000000000000"}},
    {"fx", aftExtended, 0, false, {"-1.5", "0", "0.1", "2.5", "9007199254740993", "1e400"}},
    {"bo", aftBoolean, 0, false, {"True", "False"}},
    {"d",
     aftDate,
     0,
     true,
     {"08.03.2024", "09.03.2024", "10.03.2024", "11.03.2024", "12.03.2024", "01.01.2000"}},
    {"t", aftTime, 0, true, {"0:00:00", "0:00:01", "10:00:00", "10:30:00", "23:59:59"}},
    {"dt",
     aftDateTime,
     0,
     true,
     {"10.03.2024 0:00:00", "10.03.2024 10:30:00", "11.03.2024 10:30:00", "11.03.2024 0:00:00",
      "12.03.2024 23:59:59"}},
    {"vs", aftVarchar, 6, true, kText},
    {"vi", aftVarchar, 6, true, kText},
    {"ws", aftWideVarchar, 6, true, kText},
    {"ch", aftChar, 3, true, {"a", "A", "ab", "b", "10", "9", "\xE6"}},
};

// Constants of every kind, for any field.
const std::vector<std::string> kConstants = {
    "0", "1", "2", "3", "7", "10", "-1", "127", "128", "255", "256", "32767", "32768", "65535",
    "65536", "2147483647", "2147483648", "4294967295", "4294967296", "16777217", "9007199254740993",
    "9223372036854775807",
    // floats with and without a fraction, and huge ones
    "0.5", "2.5", "0.1", "1.0", "3.0", "2.25", "1.5", "-2.5", "1e2", "1e30", "1e300", "16777217.0",
    "9007199254740993.0", "2147483648.5",
    // text, numbers as text, dates, times, truth values
    "'2'", "'10'", "'9'", "'2.5'", "'-3'", "'a'", "'A'", "'ab'", "'Ab*'", "'a*'", "'b'", "'B'",
    "'\xE6'", "'\xC6'", "'abcdefgh'", "'10.03.2024'", "'12.03.2024'", "'10:30:00'",
    "'10.03.2024 10:30:00'", "'True'", "'false'", "'1'", "''", "TRUE", "FALSE", "NULL",
    // parameters: constants of the types no literal has (see typedParameters)
    ":si", ":sm", ":w", ":b", ":c", ":i", ":li", ":fs1", ":fs2", ":fs3", ":x1", ":x2", ":cu1",
    ":cu2", ":d", ":t", ":dt1", ":dt2", ":bo", ":vs", ":ws", ":none"};

// A query's parameters reach a filter as constants of their own type.
const TSQLMemSQLParams& typedParameters() {
    static const TSQLMemSQLParams params = [] {
        TSQLMemSQLParams p;
        p.Add("si").SetShortInt(3);
        p.Add("sm").SetSmallInt(300);
        p.Add("w").SetWord(65535);
        p.Add("b").SetByte(2);
        p.Add("c").SetCardinal(4294967295u);
        p.Add("i").SetInteger(16777217);
        p.Add("li").SetLargeInt(9007199254740993);
        p.Add("fs1").SetSingle(16777216.0f);
        p.Add("fs2").SetSingle(2.5f);
        p.Add("fs3").SetSingle(0.1f);
        p.Add("x1").SetExtended(2.5L);
        p.Add("x2").SetExtended(9007199254740993.0L);
        p.Add("cu1").SetCurrency(2.5);
        p.Add("cu2").SetCurrency(2);
        TSQLMemVariant date(bftVarchar);
        date.SetString("10.03.2024 10:30:00");
        date.ConvertTo(bftDateTime);
        const TSQLMemDateTimeNumbers n = date.GetDateTime();
        p.Add("d").SetDate(n.Date);
        p.Add("t").SetTime(n.Time);
        p.Add("dt1").SetDateTime(n.Date, n.Time);
        p.Add("dt2").SetDateTime(n.Date + 1, -1);
        p.Add("bo").SetBoolean(true);
        p.Add("vs").SetString("ab");
        p.Add("ws").SetWideString(u"Ab");
        p.Add("none") = TSQLMemVariant(bftInteger);
        return p;
    }();
    return params;
}

struct ColumnSpec {
    const char* field;
    bool descending = false;
    bool caseInsensitive = false;
};

struct IndexSpec {
    const char* name;
    std::vector<ColumnSpec> columns;
    bool unique = false;
};

// For several fields the first index that leads with them is one a filter
// cannot use (descending) or one of two columns, so that filters reach
// every kind of index.
const std::vector<IndexSpec> kIndexes = {
    {"pk", {{"id"}}, true},
    {"si_desc", {{"si", true}}},
    {"si", {{"si"}}},
    {"sm_i", {{"sm"}, {"i", true}}},
    {"i", {{"i"}}},
    {"i_desc", {{"i", true}}},
    {"li_w", {{"li"}, {"w"}}},
    {"w_desc", {{"w", true}}},
    {"w_b", {{"w"}, {"b", true}}},
    {"b", {{"b"}}},
    {"c", {{"c"}}},
    {"fs", {{"fs"}}},
    {"fd_cu", {{"fd"}, {"cu"}}},
    {"cu", {{"cu"}}},
    {"fx", {{"fx"}}},
    {"bo_d", {{"bo"}, {"d", true}}},
    {"d", {{"d"}}},
    {"t", {{"t"}}},
    {"dt_desc", {{"dt", true}}},
    {"dt", {{"dt"}}},
    {"vs", {{"vs"}}},
    {"vs_ci", {{"vs", false, true}}},
    {"vi_si", {{"vi", false, true}, {"si"}}},
    {"ws", {{"ws"}}},
    {"ws_ci_desc", {{"ws", true, true}}},
    {"ch_ws", {{"ch"}, {"ws", true}}},
};

int fieldNo(const char* name) {
    for (std::size_t f = 0; f < kFields.size(); ++f)
        if (std::string(kFields[f].name) == name) return static_cast<int>(f);
    ADD_FAILURE() << name;
    return 0;
}

TSQLMemVariant valueOf(int field, const std::string& text) {
    TSQLMemVariant v(bftVarchar);
    v.SetString(text);
    v.ConvertTo(baseTypeOf(kFields[field].type));
    return v;
}

using Row = std::vector<TSQLMemVariant>;

// Three-way order of two rows on an index's leading columns, as the index
// defines it: nulls first, values by their type's comparison, descending
// columns reversed.
int compareOn(const IndexSpec& index, std::size_t columns, const Row& a, const Row& b) {
    for (std::size_t k = 0; k < columns; ++k) {
        const ColumnSpec& c = index.columns[k];
        const int f = fieldNo(c.field);
        const int r = compareCodeToThreeWay(a[f].Compare(b[f], true, false, c.caseInsensitive));
        if (r != 0) return c.descending ? -r : r;
    }
    return 0;
}

struct Range {
    bool start = false, end = false;
    bool startExclusive = false, endExclusive = false;
    std::size_t startColumns = 0, endColumns = 0;
    Row startKey, endKey;

    bool holds(const IndexSpec& index, const Row& row) const {
        if (start) {
            const int r = compareOn(index, startColumns, row, startKey);
            if (startExclusive ? r <= 0 : r < 0) return false;
        }
        if (end) {
            const int r = compareOn(index, endColumns, row, endKey);
            if (endExclusive ? r >= 0 : r > 0) return false;
        }
        return true;
    }
};

std::string describe(const Row& row) {
    if (row.empty()) return "none";
    std::string s;
    for (std::size_t f = 0; f < kFields.size(); ++f) {
        s += std::string(f ? " " : "") + kFields[f].name + "=";
        s += row[f].IsNull() ? "null" : row[f].GetString();
    }
    return s;
}

class SearchDifferentialTest : public ::testing::Test {
protected:
    static constexpr int kRows = 240;

    struct Table {
        explicit Table(TSQLMemDatabaseData& db) : cursor(&db) {}
        TSQLMemLocalCursor cursor;
        std::map<std::pair<std::int32_t, std::int16_t>, int> rowOf;  // record -> row id

        int rowAt(const TSQLMemRecordID& id) const { return rowOf.at({id.PageNo, id.PageItemNo}); }
    };

    void SetUp() override {
        TSQLMemFieldDefs fields;
        for (const FieldSpec& s : kFields) {
            TSQLMemFieldDef& f = fields.addCreated();
            f.Name = s.name;
            f.setType(s.type, s.size);
        }
        TSQLMemIndexDefs indexes;
        for (const IndexSpec& s : kIndexes) {
            TSQLMemIndexDef& ix = indexes.addCreated();
            ix.Name = s.name;
            ix.Unique = s.unique;
            for (const ColumnSpec& c : s.columns)
                ix.Columns.push_back({c.field, c.descending, c.caseInsensitive});
        }
        indexed.cursor.TableName = "with_indexes";
        indexed.cursor.open(fields, indexes, {});
        plain.cursor.TableName = "without_indexes";
        plain.cursor.open(fields, {}, {});

        rows.assign(kRows + 1, Row{});
        for (int id = 1; id <= kRows; ++id) {
            rows[id] = randomRow(id);
            for (Table* t : {&indexed, &plain})
                ASSERT_NO_THROW(t->cursor.post(true, image(rows[id]).data()));
        }
        // Holes and changed keys, the same in both tables.
        mapRecords();
        std::map<int, TSQLMemRecordID> indexedIds, plainIds;
        for (auto& [rid, row] : indexed.rowOf)
            indexedIds[row] = {rid.first, rid.second};
        for (auto& [rid, row] : plain.rowOf)
            plainIds[row] = {rid.first, rid.second};
        for (int id = 3; id <= kRows; id += 7) {
            const bool drop = id % 2 != 0;
            if (!drop) rows[id] = randomRow(id);
            for (auto [t, ids] : {std::pair{&indexed, &indexedIds}, std::pair{&plain, &plainIds}}) {
                t->cursor.setToRecord(ids->at(id));
                if (drop)
                    ASSERT_NO_THROW(t->cursor.deleteCurrent());
                else
                    ASSERT_NO_THROW(t->cursor.post(false, image(rows[id]).data()));
            }
            if (drop) rows[id].clear();
        }
        mapRecords();
    }

    Row randomRow(int id) {
        Row row;
        for (std::size_t f = 0; f < kFields.size(); ++f) {
            const auto& values = kFields[f].values;
            if (f == 0)
                row.push_back(valueOf(0, std::to_string(id)));
            else if (pick(0, 11) == 0)
                row.emplace_back(baseTypeOf(kFields[f].type));
            else
                row.push_back(valueOf(static_cast<int>(f), values[pick(0, values.size() - 1)]));
        }
        return row;
    }

    std::vector<std::uint8_t> image(const Row& row) {
        const TSQLMemFieldDefs& defs = plain.cursor.fieldDefs();
        std::vector<std::uint8_t> record(static_cast<std::size_t>(plain.cursor.recordSize()), 0);
        for (int f = 0; f < defs.count(); ++f) {
            record_layout::setNull(record.data(), f, row[f].IsNull());
            if (!row[f].IsNull())
                std::memcpy(
                    record.data() + defs[f].MemoryOffset, row[f].Data(),
                    static_cast<std::size_t>(std::min(row[f].Size(), defs[f].MemoryDataSize)));
        }
        return record;
    }

    void mapRecords() {
        for (Table* t : {&indexed, &plain}) {
            t->rowOf.clear();
            t->cursor.clearFilter();
            t->cursor.selectIndex("");
            std::vector<std::uint8_t> record(static_cast<std::size_t>(t->cursor.recordSize()));
            const std::int32_t idOffset = t->cursor.fieldDefs()[0].MemoryOffset;
            t->cursor.first();
            while (t->cursor.getRecord(TSQLMemGetMode::Next, record.data()) ==
                   TSQLMemGetAnswer::Found) {
                std::int32_t id;
                std::memcpy(&id, record.data() + idOffset, 4);
                t->rowOf[{t->cursor.CurrentId.PageNo, t->cursor.CurrentId.PageItemNo}] = id;
            }
        }
    }

    std::size_t pick(std::size_t lo, std::size_t hi) {
        return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
    }

    // A constant for the field: a value the range bounds it by, one of its
    // own values, or any constant.
    std::string constantFor(int field) {
        const FieldSpec& s = kFields[field];
        if (field == focus && !bounds.empty() && pick(0, 2) == 0)
            return literal(field, bounds[pick(0, bounds.size() - 1)]);
        if (s.values.empty() || pick(0, 1)) return kConstants[pick(0, kConstants.size() - 1)];
        return literal(field, s.values[pick(0, s.values.size() - 1)]);
    }

    std::string literal(int field, const std::string& value) {
        return kFields[field].quoted || pick(0, 5) == 0 ? "'" + value + "'" : value;
    }

    // Half the atoms test the focus field, when there is one, and half of
    // those are bounds or equalities: several on one index are what the
    // search merges.
    std::string randomAtom() {
        const int f =
            focus >= 0 && pick(0, 1) ? focus : static_cast<int>(pick(0, kFields.size() - 1));
        const std::string name = kFields[f].name;
        static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
        static const int closed[] = {0, 4, 5};
        const std::string op = ops[f == focus && pick(0, 1) ? closed[pick(0, 2)] : pick(0, 5)];
        switch (pick(0, 19)) {
            case 0:
            case 1:
                return constantFor(f) + " " + op + " " + name;
            case 2:
            case 3:
                return name + (pick(0, 3) ? "" : " not") + " between " + constantFor(f) + " and " +
                       constantFor(f);
            case 4:
            case 5:
                return name + (pick(0, 3) ? "" : " not") + " in (" + constantFor(f) + ", " +
                       constantFor(f) + ", " + constantFor(f) + ")";
            case 6:
                return name + (pick(0, 1) ? " is null" : " is not null");
            case 7:
                return name + " " + op + " " + kFields[pick(0, kFields.size() - 1)].name;
            case 8:
                return "not (" + name + " " + op + " " + constantFor(f) + ")";
            default:
                return name + " " + op + " " + constantFor(f);
        }
    }

    // Whether the atom can be evaluated on every row: a comparison that
    // cannot convert raises, and where it raises depends on which records a
    // search reads, which is what differs between the two paths.
    bool usable(const std::string& atom, bool partial, bool caseInsensitive) {
        const std::string key = std::to_string(partial) + std::to_string(caseInsensitive) + atom;
        auto [it, fresh] = usableAtoms.try_emplace(key, false);
        if (!fresh) return it->second;
        try {
            TSQLMemExpression e;
            e.Fields = &plain.cursor.fieldDefs();
            e.Context.Params = &typedParameters();
            TSQLMemExprParser::ParseFilter(e, atom, partial, caseInsensitive);
            for (const Row& row : rows) {
                if (row.empty()) continue;
                const std::vector<std::uint8_t> record = image(row);
                e.SetRecordBuffer(record.data());
                e.Evaluate(true);
            }
            it->second = true;
        } catch (const std::exception&) {
            ++refusedAtoms;
        }
        return it->second;
    }

    template <class Make>
    std::string usableAtom(Make make, bool partial, bool caseInsensitive) {
        for (;;) {
            std::string atom = make();
            if (usable(atom, partial, caseInsensitive)) return atom;
        }
    }

    // Bounds and equalities on one field from two or three of its values:
    // what the search intersects, merges and chooses between.
    std::string boundsOn(int f, bool partial, bool caseInsensitive) {
        const auto& values = kFields[f].values;
        std::vector<std::string> near;
        const std::size_t at = pick(0, values.empty() ? kRows : values.size() - 1);
        for (std::size_t k = pick(0, 3) ? 2 : 3; k > 0; --k)
            near.push_back(values.empty() ? std::to_string(at + k)
                                          : values[(at + k) % values.size()]);
        near.insert(near.end(), bounds.begin(), bounds.end());
        auto bound = [&] {
            // Inclusive bounds twice as often: a pair of them on one value
            // becomes an equality that must meet the other bounds again.
            static const char* ops[] = {"=", "<", ">", "<=", ">=", "<=", ">="};
            const std::string& v = near[pick(0, near.size() - 1)];
            const std::string op = ops[pick(0, 6)], c = kFields[f].quoted ? "'" + v + "'" : v;
            return pick(0, 3) ? kFields[f].name + (" " + op + " ") + c
                              : c + " " + op + " " + kFields[f].name;
        };
        std::string filter = usableAtom(bound, partial, caseInsensitive);
        for (std::size_t n = pick(2, 5); n > 0; --n)
            filter += " and " + usableAtom(bound, partial, caseInsensitive);
        if (pick(0, 3) == 0)
            filter += " and " + usableAtom([&] { return randomAtom(); }, partial, caseInsensitive);
        return filter;
    }

    std::string randomFilter(bool partial, bool caseInsensitive) {
        if (focus >= 0 && pick(0, 1)) return boundsOn(focus, partial, caseInsensitive);
        auto atom = [&] {
            return usableAtom([&] { return randomAtom(); }, partial, caseInsensitive);
        };
        std::string filter = atom();
        for (std::size_t n = pick(0, 3); n > 0; --n) {
            std::string next = atom();
            if (pick(0, 4) == 0) next = "(" + next + " or " + atom() + ")";
            filter += (pick(0, 7) ? " and " : " or ") + next;
        }
        return filter;
    }

    // Every other pick an index of two columns: a range on it meets a
    // filter's bounds on its first column.
    const IndexSpec* randomIndex() {
        for (;;) {
            const IndexSpec* index = &kIndexes[pick(0, kIndexes.size() - 1)];
            if (index->columns.size() > 1 || pick(0, 1)) return index;
        }
    }

    // A bound on the index's leading columns, from the fields' own values;
    // the first column's value becomes a constant the filter may use.
    Row randomKey(const IndexSpec& index, std::size_t columns) {
        Row key;
        for (std::size_t f = 0; f < kFields.size(); ++f)
            key.emplace_back(baseTypeOf(kFields[f].type));
        for (std::size_t k = 0; k < columns; ++k) {
            const int f = fieldNo(index.columns[k].field);
            const auto& values = kFields[f].values;
            if (pick(0, 9) == 0) continue;
            const std::string text = values.empty() ? std::to_string(pick(1, kRows))
                                                    : values[pick(0, values.size() - 1)];
            key[f] = valueOf(f, text);
            if (k == 0) bounds.push_back(text);
        }
        return key;
    }

    TSQLMemLocalCursor::RangeBound boundOf(const Row& key, std::size_t columns, bool exclusive) {
        TSQLMemLocalCursor::RangeBound b;
        b.Record = image(key);
        b.Columns = static_cast<std::int32_t>(columns);
        b.Exclusive = exclusive;
        return b;
    }

    // The rows a search puts into the cursor's visible set, in its order.
    std::vector<int> visible(Table& t, TSQLMemSearchTrace* trace = nullptr) {
        TSQLMemRecordBitmap set;
        TSQLMemSearchRequest request;
        request.Set = &set;
        request.Trace = trace;
        t.cursor.table()->search(t.cursor, request);
        std::vector<int> ids;
        for (const TSQLMemRecordID& id : set.ids())
            ids.push_back(t.rowAt(id));
        return ids;
    }

    // The first (or last) visible row in the cursor's order, 0 for none.
    int nearest(Table& t, bool forward) {
        TSQLMemRecordID found;
        TSQLMemSearchRequest request;
        request.Found = &found;
        request.Forward = forward;
        return t.cursor.table()->search(t.cursor, request) ? t.rowAt(found) : 0;
    }

    // The first (or last) visible row whose key compares with `key` on the
    // cursor's index as `mode` asks, 0 for none: a key search.
    int firstWithKey(const Row& key, std::size_t columns, TSQLMemIndexMode mode, bool forward) {
        const TSQLMemLocalCursor::RangeBound b = boundOf(key, columns, false);
        const TSQLMemScanSearchCondition condition{mode, indexed.cursor.IndexId,
                                                   static_cast<std::int32_t>(columns),
                                                   b.Record.data(), nullptr};
        TSQLMemRecordID found;
        TSQLMemSearchRequest request;
        request.Extra = &condition;
        request.Found = &found;
        request.Forward = forward;
        return indexed.cursor.table()->search(indexed.cursor, request) ? indexed.rowAt(found) : 0;
    }

    TSQLMemMemoryDatabaseData db;
    Table indexed{db}, plain{db};
    std::vector<Row> rows;  // by id; empty for a deleted row
    std::mt19937 rng{1};
    std::map<std::string, bool> usableAtoms;
    // What the case at hand is about: the field most of its atoms test, and
    // the texts of the range's first column.
    int focus = -1;
    std::vector<std::string> bounds;
    int refusedAtoms = 0;
};

TEST_F(SearchDifferentialTest, IndexesShowWhatAScanShows) {
    const int kCases = 6000;
    int throughIndex = 0, contradictions = 0, ranged = 0, failures = 0;
    for (int n = 0; n < kCases && failures < 5; ++n) {
        const bool partial = pick(0, 3) == 0, caseInsensitive = pick(0, 2) == 0;
        const IndexSpec* order = pick(0, 2) ? randomIndex() : nullptr;
        Range range;
        bounds.clear();
        if (order && pick(0, 1)) {
            range.start = pick(0, 2) != 0;
            range.end = !range.start || pick(0, 1);
            range.startColumns = pick(1, order->columns.size());
            range.endColumns = pick(1, order->columns.size());
            range.startExclusive = pick(0, 1);
            range.endExclusive = pick(0, 1);
            range.startKey = randomKey(*order, range.startColumns);
            range.endKey = randomKey(*order, range.endColumns);
            ++ranged;
        }
        focus = -1;
        if (order)
            focus = fieldNo(order->columns[0].field);
        else if (pick(0, 2))
            focus = static_cast<int>(pick(0, kFields.size() - 1));
        const std::string filter = randomFilter(partial, caseInsensitive);
        std::string what = "filter: " + filter + (partial ? " [partial]" : "") +
                           (caseInsensitive ? " [case-insensitive]" : "") +
                           "\norder: " + (order ? order->name : "natural");
        if (range.start)
            what += "\nrange start " + std::string(range.startExclusive ? ">" : ">=") + " " +
                    describe(range.startKey) + " on " + std::to_string(range.startColumns);
        if (range.end)
            what += "\nrange end " + std::string(range.endExclusive ? "<" : "<=") + " " +
                    describe(range.endKey) + " on " + std::to_string(range.endColumns);
        SCOPED_TRACE(what);

        for (Table* t : {&indexed, &plain}) {
            auto e = std::make_unique<TSQLMemExpression>();
            e->Fields = &t->cursor.fieldDefs();
            e->Context.Params = &typedParameters();
            TSQLMemExprParser::ParseFilter(*e, filter, partial, caseInsensitive);
            t->cursor.setFilter(std::move(e));
        }
        indexed.cursor.selectIndex(order ? order->name : "");
        indexed.cursor.RangeStart.reset();
        indexed.cursor.RangeEnd.reset();
        if (range.start)
            indexed.cursor.RangeStart =
                boundOf(range.startKey, range.startColumns, range.startExclusive);
        if (range.end)
            indexed.cursor.RangeEnd = boundOf(range.endKey, range.endColumns, range.endExclusive);
        indexed.cursor.invalidateVisible();

        std::vector<int> expected;
        for (int id : visible(plain))
            if (!order || range.holds(*order, rows[id])) expected.push_back(id);
        TSQLMemSearchTrace trace;
        std::vector<int> got;
        try {
            got = visible(indexed, &trace);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "only with indexes: " << e.what();
            ++failures;
            continue;
        }
        throughIndex += trace.IndexId >= 0;
        contradictions += trace.Contradiction;

        bool agrees = got == expected;
        if (!order) {
            EXPECT_EQ(got, expected);  // both in natural order
        } else {
            std::vector<int> a = got, b = expected, onlyWith, onlyWithout;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            std::set_difference(a.begin(), a.end(), b.begin(), b.end(),
                                std::back_inserter(onlyWith));
            std::set_difference(b.begin(), b.end(), a.begin(), a.end(),
                                std::back_inserter(onlyWithout));
            agrees = onlyWith.empty() && onlyWithout.empty();
            if (!agrees)
                ADD_FAILURE() << onlyWith.size() << " only with indexes, e.g. "
                              << describe(rows[onlyWith.empty() ? 0 : onlyWith[0]]) << "\n"
                              << onlyWithout.size() << " only without, e.g. "
                              << describe(rows[onlyWithout.empty() ? 0 : onlyWithout[0]]);
            for (std::size_t k = 1; agrees && k < got.size(); ++k)
                if (compareOn(*order, order->columns.size(), rows[got[k - 1]], rows[got[k]]) > 0) {
                    ADD_FAILURE() << "out of order: " << describe(rows[got[k - 1]]) << " before "
                                  << describe(rows[got[k]]);
                    agrees = false;
                }
        }
        // A search for one record answers the first or last of the same set.
        EXPECT_EQ(nearest(indexed, true), got.empty() ? 0 : got.front());
        EXPECT_EQ(nearest(indexed, false), got.empty() ? 0 : got.back());
        // A key search on the cursor's index finds the first (or last)
        // visible record whose key compares as asked.
        if (order) {
            const std::size_t columns = pick(1, order->columns.size());
            const Row key = randomKey(*order, columns);
            constexpr TSQLMemIndexMode kModes[] = {
                TSQLMemIndexMode::Equal, TSQLMemIndexMode::Less, TSQLMemIndexMode::Greater,
                TSQLMemIndexMode::LessEqual, TSQLMemIndexMode::GreaterEqual};
            const TSQLMemIndexMode mode = kModes[pick(0, std::size(kModes) - 1)];
            auto holds = [&](int id) {
                const int r = compareOn(*order, columns, rows[id], key);
                return mode == TSQLMemIndexMode::Equal       ? r == 0
                       : mode == TSQLMemIndexMode::Less      ? r < 0
                       : mode == TSQLMemIndexMode::Greater   ? r > 0
                       : mode == TSQLMemIndexMode::LessEqual ? r <= 0
                                                             : r >= 0;
            };
            const auto first = std::find_if(got.begin(), got.end(), holds);
            const auto last = std::find_if(got.rbegin(), got.rend(), holds);
            SCOPED_TRACE("key search, mode " + std::to_string(static_cast<int>(mode)) + " on " +
                         std::to_string(columns) + ": " + describe(key));
            EXPECT_EQ(firstWithKey(key, columns, mode, true), first == got.end() ? 0 : *first);
            EXPECT_EQ(firstWithKey(key, columns, mode, false), last == got.rend() ? 0 : *last);
        }
        if (!agrees) ++failures;
    }
    // The comparison means something only while indexes answer many cases.
    EXPECT_GT(throughIndex, kCases / 4);
    EXPECT_GT(contradictions, kCases / 20);
    EXPECT_GT(ranged, kCases / 5);
    std::printf("%d cases: %d through an index, %d contradictions, %d ranged; %d atoms refused\n",
                kCases, throughIndex, contradictions, ranged, refusedAtoms);
}

}  // namespace
}  // namespace sqlmem
