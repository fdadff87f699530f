#pragma once

#include <cstdint>
#include <cstring>

namespace sqlmem {

// Where a record lives. In-memory tables put the slot number in PageNo and 0
// in PageItemNo. -1/-1 means no record. Six bytes in cursor buffers.
struct TSQLMemRecordID {
    std::int32_t PageNo = -1;
    std::int16_t PageItemNo = -1;

    bool isNull() const { return PageNo == -1 && PageItemNo == -1; }
    friend bool operator==(const TSQLMemRecordID&, const TSQLMemRecordID&) = default;

    static constexpr int kStoredSize = 6;
    void store(std::uint8_t* p) const {
        std::memcpy(p, &PageNo, 4);  // little-endian host
        std::memcpy(p + 4, &PageItemNo, 2);
    }
    static TSQLMemRecordID load(const std::uint8_t* p) {
        TSQLMemRecordID id;
        std::memcpy(&id.PageNo, p, 4);
        std::memcpy(&id.PageItemNo, p + 4, 2);
        return id;
    }
};

}  // namespace sqlmem
