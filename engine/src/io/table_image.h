// A whole table as one image on a stream: the head (image_header.h), then
// the body, compressed as one buffer unless the algorithm is 0:
//
//   definitions   sequences, fields, constraints, indexes (definitions_image.h)
//   index pages   the page store as it stands (page_manager.h)
//   records       only when there are any: the record store's state, then
//                 every live record in slot order, each followed by the
//                 images of its non-null BLOB values:
//
//     record      the record's bytes, but each non-null BLOB field holds the
//                 int64 position of its image: in the uncompressed body for a
//                 compressed one, else in the stream itself
//     BLOB image  int32 compressed blocks, int64 data length, int64 stored
//                 length L, then L stored bytes
#pragma once

#include <cstdint>

#include "io/stream.h"
#include "storage/table_data.h"

namespace sqlmem {

class TSQLMemTableImage {
public:
    // Writes the image at the stream's position and leaves the stream after
    // it; the table is unchanged. A table some cursor has open is refused
    // ("Cannot save table '%s'. Table is open by another dataset", 10153).
    // The mode is stored as given, but 0 as 1; a compression that fails
    // raises "Compress buffer failed. ..." (10085).
    static void save(TSQLMemMemoryTableData& table, TSQLMemStream& stream, int algorithm,
                     std::int32_t sizeValue, std::uint8_t mode);

    // Reads an image from the stream's position into `table`, a storage
    // just made and still without fields, which then takes the name stored
    // in the image. All or nothing: any refusal (the stream, signature and
    // version errors, "Decompress buffer failed. ..." (30418), a definition
    // the engine cannot hold (30422), damaged index pages (30419), a stored
    // name another table has (30421)) leaves the storage as it was. A table
    // some cursor has open is refused (10152).
    static void load(TSQLMemMemoryTableData& table, TSQLMemStream& stream);
};

}  // namespace sqlmem
