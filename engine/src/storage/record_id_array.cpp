#include <algorithm>

#include "sqlmem/exception.h"
#include "storage/table_search.h"

namespace sqlmem {

const TSQLMemRecordID& TSQLMemRecordIDArray::item(std::int32_t number) const {
    if (number < 1 || number > count())
        throw ESQLMemException(11326, "Invalid item number - ItemNo = %d, ItemCount = %d",
                               {std::int64_t{number}, std::int64_t{count()}});
    return m_ids[static_cast<std::size_t>(number - 1)];
}

void TSQLMemRecordIDArray::add(const TSQLMemRecordID& id) {
    if (m_ascending && !m_ids.empty() && key(id) <= key(m_ids.back())) {
        const auto byKey = [](const TSQLMemRecordID& a, const TSQLMemRecordID& b) {
            return key(a) < key(b);
        };
        if (std::binary_search(m_ids.begin(), m_ids.end(), id, byKey))
            throw ESQLMemException(
                11328, "Error adding record to record map - duplicate record ID = %d %d",
                {std::int64_t{id.PageNo}, std::int64_t{id.PageItemNo}});
        m_ascending = false;  // out of order from here on
    }
    if (m_ids.empty()) m_ids.reserve(100);
    m_ids.push_back(id);
    m_numbered = false;
}

std::int32_t TSQLMemRecordIDArray::numberOf(const TSQLMemRecordID& id) const {
    if (!m_numbered) renumber();
    const auto it = m_numbers.find(key(id));
    return it == m_numbers.end() ? 0 : it->second;
}

void TSQLMemRecordIDArray::sort(
    const std::function<bool(const TSQLMemRecordID&, const TSQLMemRecordID&)>& less) {
    std::sort(m_ids.begin(), m_ids.end(), less);
    renumber();
}

void TSQLMemRecordIDArray::renumber() const {
    m_numbered = true;
    m_numbers.clear();
    m_numbers.reserve(m_ids.size());
    for (std::size_t i = 0; i < m_ids.size(); ++i)
        m_numbers[key(m_ids[i])] = static_cast<std::int32_t>(i + 1);
}

}  // namespace sqlmem
