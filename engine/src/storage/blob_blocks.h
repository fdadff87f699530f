// The BLOB values of a table's records. Each value is one block:
//
//   0  int32  number of compressed blocks (0 for a value kept plainly)
//   4  int64  length of the value's data
//  12  ...    the stored bytes: the data, or its chain of compressed blocks
//
// and a record's 8 bytes of a non-null BLOB field refer to it:
//
//   0  int32  handle of the block in the table's BLOB blocks (never 0)
//   4  2 bytes, 0
//   6  uint16 ownership mark: 0x0F0F while only a record buffer holds the
//             block, 0xF0F0 once a stored record does
//
// A handle rather than an address, since an address takes all 8 bytes here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/memory.h"

namespace sqlmem {

class TSQLMemBlobBlocks {
public:
    static constexpr std::int32_t kHeaderSize = 12;
    static constexpr std::uint16_t kMarkPending = 0x0F0F;
    static constexpr std::uint16_t kMarkStored = 0xF0F0;

    // Takes a block of at least kHeaderSize bytes; answers its handle.
    std::int32_t add(EngineBlock block);
    // Null for a handle that names no block.
    const EngineBlock* find(std::int32_t handle) const;
    // Frees the block; "Nil pointer occured" (10118) for a handle that names none.
    void free(std::int32_t handle);
    void clear();
    std::size_t count() const { return m_blocks.size() - m_free.size(); }

    static std::int32_t handleOf(const std::uint8_t* field);
    static std::uint16_t markOf(const std::uint8_t* field);
    static void setReference(std::uint8_t* field, std::int32_t handle, std::uint16_t mark);

private:
    std::vector<EngineBlock> m_blocks;  // handle h at h - 1; freed ones are empty
    std::vector<std::int32_t> m_free;
};

}  // namespace sqlmem
