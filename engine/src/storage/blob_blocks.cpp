#include "storage/blob_blocks.h"

#include <cstring>

#include "platform/bytes.h"
#include "sqlmem/exception.h"

namespace sqlmem {

std::int32_t TSQLMemBlobBlocks::add(EngineBlock block) {
    if (!m_free.empty()) {
        const std::int32_t handle = m_free.back();
        m_blocks[handle - 1] = std::move(block);
        m_free.pop_back();
        return handle;
    }
    if (m_blocks.size() >= static_cast<std::size_t>(INT32_MAX))
        throw ESQLMemException(10118, "Nil pointer occured");
    m_blocks.push_back(std::move(block));
    return static_cast<std::int32_t>(m_blocks.size());
}

const EngineBlock* TSQLMemBlobBlocks::find(std::int32_t handle) const {
    if (handle < 1 || static_cast<std::size_t>(handle) > m_blocks.size()) return nullptr;
    const EngineBlock& b = m_blocks[handle - 1];
    return b.data() ? &b : nullptr;
}

void TSQLMemBlobBlocks::free(std::int32_t handle) {
    if (!find(handle)) throw ESQLMemException(10118, "Nil pointer occured");
    m_free.reserve(m_blocks.size());
    m_blocks[handle - 1].reset();
    m_free.push_back(handle);
}

void TSQLMemBlobBlocks::clear() {
    m_blocks.clear();
    m_free.clear();
}

std::int32_t TSQLMemBlobBlocks::handleOf(const std::uint8_t* field) {
    return loadLE<std::int32_t>(field);
}

std::uint16_t TSQLMemBlobBlocks::markOf(const std::uint8_t* field) {
    return loadLE<std::uint16_t>(field + 6);
}

void TSQLMemBlobBlocks::setReference(std::uint8_t* field, std::int32_t handle, std::uint16_t mark) {
    storeLE<std::int32_t>(field, handle);
    std::memset(field + 4, 0, 2);
    storeLE<std::uint16_t>(field + 6, mark);
}

}  // namespace sqlmem
