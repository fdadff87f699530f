// Any bytes as a section of a table image, the first byte choosing which:
// the definition sections, the page store, a record store's state and its
// records, or the image's head. They load or are refused with
// an engine error; what loaded writes bytes that load to the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "io/definitions_image.h"
#include "io/image_header.h"
#include "platform/byte_reader.h"
#include "sqlmem/exception.h"
#include "storage/page_manager.h"
#include "storage/record_manager.h"

using namespace sqlmem;

namespace {

struct Lists {
    TSQLMemSequenceDefs sequences;
    TSQLMemFieldDefs fields;
    TSQLMemConstraintDefs constraints;
    TSQLMemIndexDefs indexes;
    TSQLMemDefinitionLists refs() { return {sequences, fields, constraints, indexes}; }
};

}  // namespace

int pageStore(const std::uint8_t* data, std::size_t size) {
    TSQLMemMemoryPageManager first;
    TByteReader in(data, data + size);
    try {
        first.readImage(in);
    } catch (const ESQLMemException&) {
        return 0;
    }
    std::vector<std::uint8_t> saved;
    first.writeImage(saved);
    if (static_cast<std::size_t>(in.offset()) != saved.size()) std::abort();
    TSQLMemMemoryPageManager second;
    TByteReader again(saved.data(), saved.data() + saved.size());
    second.readImage(again);
    std::vector<std::uint8_t> resaved;
    second.writeImage(resaved);
    if (resaved != saved) std::abort();
    return 0;
}

// Records of 8 bytes; the second byte says how many the header announced.
int recordStore(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::int64_t records = data[0];
    TSQLMemMemoryRecordManager store(nullptr, 8, 16);
    TByteReader in(data + 1, data + size);
    try {
        store.readStateImage(in, records);
    } catch (const ESQLMemException&) {
        return 0;
    }
    for (std::int64_t i = 0; i < records; ++i)
        store.placeLoaded(in.readBytes(8));  // the state promised room for them
    if (store.recordCount() != records) std::abort();
    std::int64_t live = 0;
    for (std::int32_t slot = 0; slot < store.slotCount(); ++slot)
        live += store.exists({slot, 0}) ? 1 : 0;
    if (live != records) std::abort();
    return 0;
}

int head(const std::uint8_t* data, std::size_t size) {
    TByteReader in(data, data + size);
    TSQLMemImageHeader h;
    try {
        h = TSQLMemImageHeader::read(in);
    } catch (const ESQLMemException&) {
        return 0;
    }
    std::vector<std::uint8_t> saved;
    h.write(saved);
    TByteReader again(saved.data(), saved.data() + saved.size());
    const TSQLMemImageHeader back = TSQLMemImageHeader::read(again);
    if (back.TableName != h.TableName || back.RecordCount != h.RecordCount || !again.atEnd())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int section = data[0] % 4;
    ++data;
    --size;
    if (section == 1) return pageStore(data, size);
    if (section == 2) return recordStore(data, size);
    if (section == 3) return head(data, size);
    Lists first;
    TByteReader in(data, data + size);
    try {
        readDefinitionSections(in, first.refs());
    } catch (const ESQLMemException&) {
        return 0;
    }
    std::vector<std::uint8_t> saved;
    try {
        writeDefinitionSections(saved, first.sequences, first.fields, first.constraints,
                                first.indexes);
    } catch (const ESQLMemException&) {
        // An auto-increment field whose sequence the image did not carry.
        return 0;
    }
    Lists second;
    TByteReader again(saved.data(), saved.data() + saved.size());
    readDefinitionSections(again, second.refs());
    if (!again.atEnd()) std::abort();
    std::vector<std::uint8_t> resaved;
    writeDefinitionSections(resaved, second.sequences, second.fields, second.constraints,
                            second.indexes);
    if (resaved != saved) std::abort();
    return 0;
}
