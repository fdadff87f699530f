#include "values/sql_params.h"

#include "platform/byte_reader.h"
#include "sqlmem/cp1251.h"

namespace sqlmem {

void TSQLMemSQLParam::AssignParam(const TSQLMemSQLParam& other) {
    Value.Assign(other.Value, true);
    Name = other.Name;
}

const std::uint8_t* TSQLMemSQLParam::LoadFromStream(const std::uint8_t* p,
                                                    const std::uint8_t* limit) {
    TByteReader in(p, limit, 10179);
    const std::int32_t length = in.readI32();
    Name = in.readText(length);
    return Value.LoadFromStream(in.position(), limit);
}

void TSQLMemSQLParam::SaveToStream(std::vector<std::uint8_t>& out) const {
    appendLE<std::int32_t>(out, static_cast<std::int32_t>(Name.size()));
    out.insert(out.end(), Name.begin(), Name.end());
    Value.SaveToStream(out);
}

TSQLMemVariant& TSQLMemSQLParams::Add(const std::string& name) {
    return m_items.emplace_back(std::make_unique<TSQLMemSQLParam>(name))->Value;
}

const TSQLMemSQLParam* TSQLMemSQLParams::Find(const std::string& name) const {
    const std::string wanted = cp1251::upper(name);
    for (const auto& item : m_items)
        if (cp1251::upper(item->Name) == wanted) return item.get();
    return nullptr;
}

}  // namespace sqlmem
