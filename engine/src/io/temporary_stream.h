// A stream for data of unknown size: memory while it is small, a temporary
// file once a write would make it larger than the spill threshold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/stream.h"

namespace sqlmem {

constexpr std::int64_t kTemporaryStreamSpillAbove = 104857600;

class TSQLMemTemporaryStream : public TSQLMemStream {
public:
    // `spillAbove`: the largest size kept in memory; tests pass small ones.
    explicit TSQLMemTemporaryStream(std::int64_t spillAbove = kTemporaryStreamSpillAbove);
    ~TSQLMemTemporaryStream() override;

    std::int64_t read(void* dest, std::int64_t count) override;
    // The write that would pass the threshold first moves everything to a
    // new file ("Cannot create file. FileName = %s", 10104, when it cannot).
    std::int64_t write(const void* src, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, TSQLMemSeekOrigin origin) override;
    std::int64_t size() const override;
    void setSize(std::int64_t newSize) override;

    bool onFile() const { return m_onFile; }
    // Empty while in memory.
    std::string fileName() const;

private:
    // REQUIRES: !m_onFile.
    void spill();
    void spillIfLarger(std::int64_t end);

    const std::int64_t m_spillAbove;
    std::unique_ptr<TSQLMemStream> m_stream;
    bool m_onFile = false;
};

}  // namespace sqlmem
