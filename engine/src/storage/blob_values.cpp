#include "storage/blob_values.h"

#include <climits>
#include <cstring>

#include "platform/bytes.h"
#include "sqlmem/exception.h"
#include "storage/blob_blocks.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

const EngineBlock& blockOf(const TSQLMemBlobBlocks& blocks, const std::uint8_t* field) {
    const EngineBlock* block = blocks.find(TSQLMemBlobBlocks::handleOf(field));
    if (!block) throw ESQLMemException(10118, "Nil pointer occured");
    return *block;
}

}  // namespace

void TSQLMemBlobValues::read(int fieldNo, const std::uint8_t* record, TSQLMemVariant& out,
                             bool borrow) const {
    const TSQLMemFieldDef& def = m_table->fieldDefs()[fieldNo];
    if (record_layout::isNull(record, fieldNo)) {
        out.Clear(def.BaseType);
        return;
    }
    const EngineBlock& block = blockOf(m_table->blobs(), record + def.MemoryOffset);
    const std::int32_t blockCount = loadLE<std::int32_t>(block.data());
    const std::int64_t dataSize = loadLE<std::int64_t>(block.data() + 4);
    const std::uint8_t* stored = block.data() + TSQLMemBlobBlocks::kHeaderSize;
    const std::size_t storedSize = block.size() - TSQLMemBlobBlocks::kHeaderSize;
    if (blockCount < 0 || dataSize < 0 || dataSize > INT32_MAX ||
        (blockCount == 0 && static_cast<std::uint64_t>(dataSize) != storedSize))
        throw ESQLMemException(
            kErrBlobCorrupt,
            "BLOB value of field '%s' is corrupt. Blocks = %d, Size = %d, "
            "Stored size = %d",
            {def.Name, std::int64_t{blockCount}, dataSize, static_cast<std::int64_t>(storedSize)});
    if (blockCount == 0) {
        out.SetData(stored, static_cast<std::int32_t>(storedSize), !borrow, def.BaseType);
        return;
    }
    if (!m_codec)
        throw ESQLMemException(kErrBlobNoCodec, "Compressed BLOB field '%s' cannot be read here",
                               {def.Name});
    EngineBytes data;
    m_codec->decode(def, blockCount, dataSize, stored, storedSize, data);
    out.SetData(data.data(), static_cast<std::int32_t>(data.size()), true, def.BaseType);
}

void TSQLMemBlobValues::write(int fieldNo, std::uint8_t* record, const std::uint8_t* data,
                              std::size_t size) {
    const TSQLMemFieldDef& def = m_table->fieldDefs()[fieldNo];
    if (size == 0) {
        clear(fieldNo, record);
        return;
    }
    // A value travels as an engine value afterwards, whose size is 32-bit.
    if (size > static_cast<std::size_t>(INT32_MAX))
        throw ESQLMemException(kErrBlobTooLarge, "BLOB value of field '%s' is too large: %d bytes",
                               {def.Name, static_cast<std::int64_t>(size)});
    // Everything that can fail comes before the buffer changes.
    EngineBlock block;
    std::int32_t blockCount = 0;
    if (def.BlobCompressionAlgorithm != 0) {
        if (!m_codec)
            throw ESQLMemException(kErrBlobNoCodec,
                                   "Compressed BLOB field '%s' cannot be written here", {def.Name});
        EngineBytes stored;
        blockCount = m_codec->encode(def, data, size, stored);
        block.resize(TSQLMemBlobBlocks::kHeaderSize + stored.size());
        std::memcpy(block.data() + TSQLMemBlobBlocks::kHeaderSize, stored.data(), stored.size());
    } else {
        block.resize(TSQLMemBlobBlocks::kHeaderSize + size);
        std::memcpy(block.data() + TSQLMemBlobBlocks::kHeaderSize, data, size);
    }
    storeLE<std::int32_t>(block.data(), blockCount);
    storeLE<std::int64_t>(block.data() + 4, static_cast<std::int64_t>(size));
    LockGuard g(*m_table, TSQLMemLockMode::Write);
    const std::int32_t handle = m_table->blobs().add(std::move(block));
    clear(fieldNo, record);
    TSQLMemBlobBlocks::setReference(record + def.MemoryOffset, handle,
                                    TSQLMemBlobBlocks::kMarkPending);
    record_layout::setNull(record, fieldNo, false);
}

void TSQLMemBlobValues::clear(int fieldNo, std::uint8_t* record) {
    const TSQLMemFieldDef& def = m_table->fieldDefs()[fieldNo];
    std::uint8_t* field = record + def.MemoryOffset;
    // A stored mark: the stored record holds the block, and an update frees
    // it once the record no longer refers to it.
    if (!record_layout::isNull(record, fieldNo) &&
        TSQLMemBlobBlocks::markOf(field) == TSQLMemBlobBlocks::kMarkPending) {
        LockGuard g(*m_table, TSQLMemLockMode::Write);
        const std::int32_t handle = TSQLMemBlobBlocks::handleOf(field);
        if (m_table->blobs().find(handle)) m_table->blobs().free(handle);
    }
    std::memset(field, 0, static_cast<std::size_t>(def.MemoryDataSize));
    record_layout::setNull(record, fieldNo, true);
}

void TSQLMemBlobValues::freePending(std::uint8_t* record) noexcept {
    if (!m_table || !m_table->fieldManager().hasBlobs()) return;
    const TSQLMemFieldDefs& defs = m_table->fieldDefs();
    for (int i = 0; i < defs.count(); ++i) {
        if (!isBlobBaseType(defs[i].BaseType) || record_layout::isNull(record, i)) continue;
        if (TSQLMemBlobBlocks::markOf(record + defs[i].MemoryOffset) ==
            TSQLMemBlobBlocks::kMarkPending) {
            try {
                clear(i, record);
            } catch (...) {
                // Only the lock can raise, and it does not on this thread.
            }
        }
    }
}

}  // namespace sqlmem
