// The definition sections of a table image, in the order they are stored:
//
//   sequences    int32 count, then one sequence per auto-increment field
//   fields       int32 count, then each field definition in field order
//   constraints  int32 count, then per constraint its kind byte and body
//   indexes      int32 count of the lasting indexes, then each of them
//
// Every definition starts with its name as a short string and its ObjectID
// (int32); all numbers are little-endian. Writing appends to an image held
// in memory, so only reading can run short: each read names its place.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/byte_reader.h"
#include "storage/meta_defs.h"

namespace sqlmem {

struct TSQLMemDefinitionLists {
    TSQLMemSequenceDefs& Sequences;
    TSQLMemFieldDefs& Fields;
    TSQLMemConstraintDefs& Constraints;
    TSQLMemIndexDefs& Indexes;
};

// Appends the four sections. A name longer than 255 characters cannot be
// stored: std::range_error.
void writeDefinitionSections(std::vector<std::uint8_t>& out, const TSQLMemSequenceDefs& sequences,
                             const TSQLMemFieldDefs& fields,
                             const TSQLMemConstraintDefs& constraints,
                             const TSQLMemIndexDefs& indexes);

// Clears the lists and reads the four sections into them. A short read
// raises the stream error with its place's code; a constraint kind above 5
// "Unknown Constraint Type: '%d'" (30316); a count that cannot fit in what
// is left is refused before anything is made for it.
void readDefinitionSections(TByteReader& in, const TSQLMemDefinitionLists& lists);

}  // namespace sqlmem
