// Any bytes as a stream of engine values: each value either loads or is
// refused with an engine error; what a loaded value saves loads back to the
// same value (a non-zero null flag is saved as 255), and comparing never crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sqlmem/exception.h"
#include "values/sqlmem_variant.h"

using namespace sqlmem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* p = data;
    const std::uint8_t* limit = data + size;
    TSQLMemVariant value;
    while (p < limit) {
        const std::uint8_t* next;
        try {
            next = value.LoadFromStream(p, limit);
        } catch (const ESQLMemException&) {
            return 0;
        }
        if (next <= p || next > limit) std::abort();
        std::vector<std::uint8_t> saved, again;
        value.SaveToStream(saved);
        TSQLMemVariant copy;
        if (copy.LoadFromStream(saved.data(), saved.data() + saved.size()) !=
            saved.data() + saved.size())
            std::abort();
        copy.SaveToStream(again);
        if (again != saved) std::abort();
        if (!value.IsNull() && static_cast<std::size_t>(next - p) != saved.size()) std::abort();
        try {
            (void)value.Compare(value, false, false, false);
            (void)value.Compare(value, true, true, true);
        } catch (const ESQLMemException&) {
            // types without an order (bytes) are refused, never crash
        }
        p = next;
    }
    return 0;
}
