// Any text as the filter of a small table and as a value expression over
// constants: parsing refuses bad text with an engine error (or the
// platform's arithmetic errors while evaluating), never anything worse.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "expr/expression.h"
#include "sql/expression_parser.h"
#include "sqlmem/exception.h"
#include "sqlmem/sqlmem.h"

using namespace sqlmem;

namespace {

TSQLMemTable& table() {
    static TSQLMemTable* t = [] {
        auto* table = new TSQLMemTable("Fuzz");
        table->TableName = "fuzz_filter";
        table->addField("id", TFieldType::ftInteger);
        table->addField("name", TFieldType::ftString, 20);
        table->addField("d", TFieldType::ftDate);
        table->addField("f", TFieldType::ftFloat);
        table->addField("b", TFieldType::ftBoolean);
        table->IndexDefs.push_back({"ById", "id", ixPrimary | ixUnique});
        table->IndexDefs.push_back({"ByName", "name", ixCaseInsensitive});
        table->open();
        const char* names[] = {"Ivan", "\xC8\xE2\xE0\xED", "", "O'Neil", "50%", "a_b", "z"};
        for (int i = 0; i < 7; ++i) {
            table->append();
            table->fieldByName("id").setAsInteger(i * 3 - 5);
            if (names[i][0]) table->fieldByName("name").setAsString(names[i]);
            if (i % 3) table->fieldByName("d").setAsDateTime(40000 + i * 40);
            table->fieldByName("f").setAsFloat(i / 3.0 - 1);
            if (i != 4) table->fieldByName("b").setAsBoolean(i % 2);
            table->post();
        }
        return table;
    }();
    return *t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TSQLMemTable& t = table();
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        t.setFilterOptions({size % 2 == 1, size % 3 == 1});
        t.setFilter(text);
        t.setFiltered(true);
        for (t.first(); !t.eof(); t.next()) {
        }
        t.recordCount();
    } catch (const ESQLMemException&) {
    } catch (const EDatabaseError&) {
    } catch (const std::overflow_error&) {
    } catch (const std::range_error&) {
    }
    try {
        t.setFiltered(false);
    } catch (const ESQLMemException&) {
    }
    try {
        TSQLMemLexer lexer(text, nullptr);
        if (lexer.NextStatement()) {
            TSQLMemExpression e;
            TSQLMemExprParser::ParseValue(e, lexer);
            e.Evaluate(true);
            e.ResultType();
            e.ResultSize();
        }
    } catch (const ESQLMemException&) {
    } catch (const std::overflow_error&) {
    } catch (const std::range_error&) {
    }
    return 0;
}
