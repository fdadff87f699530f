// Any bytes as a whole table image, loaded as a dataset's table. A load
// either gives a sound table or raises an engine error and leaves no table;
// a sound table reads every value, walks in every index order, takes a change, and saves an
// image that loads again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "io/memory_stream.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"

using namespace sqlmem;

namespace {

const std::string kName = "fuzzed";

bool anyTable() {
    return !engineDatabase("MEMORY")->tableNames().empty();
}

[[noreturn]] void fail(const char* what, const std::exception* e = nullptr) {
    std::fprintf(stderr, "%s%s%s\n", what, e ? ": " : "", e ? e->what() : "");
    std::abort();
}

void dropAll() {
    for (const std::string& name : engineDatabase("MEMORY")->tableNames()) {
        TSQLMemTable t;
        t.TableName = name;
        t.deleteTable(true);
    }
}

// Walks the table in its natural order and in each index's, both ways.
void walk(TSQLMemTable& t, const std::string& index) {
    t.setIndexName(index);
    t.open();
    const int count = t.recordCount();
    int forward = 0, backward = 0;
    for (t.first(); !t.eof(); t.next()) {
        if (++forward > count) fail("a walk passed the record count");
        // Every value reads, or refuses with an engine error (a damaged
        // BLOB block or compressed chain).
        for (int i = 0; i < t.fieldCount(); ++i) {
            try {
                (void)t.field(i).asString();
            } catch (const ESQLMemException&) {
            } catch (const EDatabaseError&) {
            } catch (const std::exception& e) {
                fail("a value raised what is not an engine error", &e);
            }
        }
    }
    for (t.last(); !t.bof(); t.prior())
        if (++backward > count) fail("a walk back passed the record count");
    if (forward != count || backward != count) fail("a walk missed records");
    if (count > 0) {
        t.setRecNo(count);
        t.setRecNo(1);
    }
    t.close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TSQLMemMemoryStream stream{EngineBytes(data, data + size)};
    TSQLMemTable t;
    t.TableName = kName;
    try {
        t.loadFromStream(stream);
    } catch (const ESQLMemException&) {
        if (anyTable()) fail("a refused image left a table");
        return 0;
    } catch (const std::exception& e) {
        fail("a load raised what is not an engine error", &e);
    }

    try {
        walk(t, "");
        std::vector<std::string> indexes;
        const TSQLMemIndexDefs& defs =
            engineDatabase("MEMORY")->findTableStorage(t.TableName)->indexDefs();
        for (int i = 0; i < defs.count(); ++i)
            indexes.push_back(defs[i].Name);
        for (const std::string& index : indexes)
            walk(t, index);
        // A change through the loaded indexes: constraints may refuse it.
        t.open();
        try {
            t.append();
            t.post();
        } catch (const std::exception&) {
            t.cancel();
        }
        if (!t.isEmpty()) {
            try {
                t.first();
                t.deleteRecord();
            } catch (const ESQLMemException&) {
            } catch (const EDatabaseError&) {
            }
        }
        t.close();
        TSQLMemMemoryStream again;
        t.saveToStream(again, 1, 0, 1);
        again.seek(0, TSQLMemSeekOrigin::Begin);
        TSQLMemTable back;
        back.TableName = t.TableName;
        back.loadFromStream(again);
    } catch (const std::exception& e) {
        fail("a loaded table failed", &e);
    }
    dropAll();
    return 0;
}
