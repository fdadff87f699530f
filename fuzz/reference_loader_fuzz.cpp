// Any bytes as a reference-data resource: a clear error or a filled table,
// never a crash, a hang or a half-made row.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ReferenceLoader.h"
#include "sqlmem/sqlmem.h"

using namespace sqlmem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TSQLMemTable table("Fuzz");
    table.TableName = "fuzz_reference";
    table.addField("id", TFieldType::ftInteger);
    table.addField("text", TFieldType::ftString, 20);
    table.addField("day", TFieldType::ftDate);
    table.addField("at", TFieldType::ftTime);
    try {
        orvalen::LoadTableFromText(std::string(reinterpret_cast<const char*>(data), size), table);
    } catch (const std::exception&) {
        // a refused row is the expected outcome for most inputs
    }
    // Whatever happened, the table is browsable and every stored row readable.
    if (table.state() != TDataSetState::dsBrowse) std::abort();
    int rows = 0;
    for (table.first(); !table.eof(); table.next()) {
        for (int i = 0; i < table.fieldCount(); ++i)
            (void)table.field(i).asString();
        ++rows;
    }
    if (rows != table.recordCount()) std::abort();
    table.close();
    table.deleteTable();
    return 0;
}
