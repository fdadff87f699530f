#include "exec/union_operator.h"

#include <algorithm>
#include <cstring>

#include "exec/field_values.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "storage/record_layout.h"
#include "storage/table_data.h"

namespace sqlmem {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return cp1251::equalNoCase(a, b);
}

int fieldNamed(const std::vector<TSQLMemResultField>& fields, const std::string& name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (sameName(fields[i].Name, name)) return static_cast<int>(i);
    return -1;
}

[[noreturn]] void emptyFieldList(int code) {
    throw ESQLMemException(code, "Empty field list, item count = %d", {std::int64_t{0}});
}

// A probed record equals the iterated row in every paired column: not
// null-aware (two nulls are equal), case-sensitive. The index key narrows
// the search; this decides, so a key cut to the probed field's size or
// converted with loss finds nothing false.
class TPairedValues final : public TSQLMemRecordPredicate {
public:
    TPairedValues(const TSQLMemFieldDefs& defs, const std::vector<int>& fields,
                  const std::vector<TSQLMemVariant>& values)
        : m_defs(defs), m_fields(fields), m_values(values) {}

    bool test(const std::uint8_t* record) override {
        for (std::size_t k = 0; k < m_fields.size(); ++k) {
            readFieldValue(m_defs[m_fields[k]], m_fields[k], record, m_value);
            if (m_value.Compare(m_values[k], false, false, false) != ccEqual) return false;
        }
        return true;
    }

private:
    const TSQLMemFieldDefs& m_defs;
    const std::vector<int>& m_fields;
    const std::vector<TSQLMemVariant>& m_values;
    TSQLMemVariant m_value;
};

}  // namespace

TSQLMemAOUnion::TSQLMemAOUnion(std::unique_ptr<TSQLMemAO> left, std::unique_ptr<TSQLMemAO> right,
                               TSQLMemSetOperation operation, bool distinct, bool corresponding,
                               const TSQLMemFields& correspondingBy)
    : m_operation(operation) {
    m_left = std::move(left);
    m_right = std::move(right);
    if (operation != soUnion) {
        // A plain table on the left of INTERSECT is walked as it stands.
        m_leftProbed = operation == soIntersect && !m_left->IsTableOperator();
        (m_leftProbed ? m_left : m_right)->SortByAllColumns();
    }
    for (TSQLMemAO* child : {m_left.get(), m_right.get()}) {
        child->LockTables();
        child->Open(false);
    }

    const std::vector<TSQLMemResultField>& lf = m_left->ResultFields();
    const std::vector<TSQLMemResultField>& rf = m_right->ResultFields();
    std::vector<std::pair<int, int>> pairs;
    if (!correspondingBy.empty()) {
        for (const TSQLMemColumnName& name : correspondingBy) {
            const int l = fieldNamed(lf, name.FieldName), r = fieldNamed(rf, name.FieldName);
            if (l >= 0 && r >= 0) pairs.emplace_back(l, r);
        }
        if (pairs.empty()) emptyFieldList(10337);
    } else if (corresponding) {
        for (std::size_t l = 0; l < lf.size(); ++l)
            if (const int r = fieldNamed(rf, lf[l].Name); r >= 0)
                pairs.emplace_back(static_cast<int>(l), r);
    } else {
        for (std::size_t i = 0; i < std::min(lf.size(), rf.size()); ++i)
            pairs.emplace_back(static_cast<int>(i), static_cast<int>(i));
    }

    const TSQLMemFieldDefs& ld = m_left->ResultCursor().fieldDefs();
    const TSQLMemFieldDefs& rd = m_right->ResultCursor().fieldDefs();
    // Only UNION without ALL keeps byte-string and BLOB columns: the others
    // compare rows by a key no such column can be part of.
    const bool keepsBlobs = operation == soUnion && distinct;
    for (const auto& [l, r] : pairs) {
        const TSQLMemFieldDef& a = ld[lf[l].FieldNo];
        const TSQLMemFieldDef& b = rd[rf[r].FieldNo];
        // The promotion table has no BLOB types; two of one kind still meet.
        const std::uint8_t type = a.AdvancedType == b.AdvancedType
                                      ? a.AdvancedType
                                      : commonAdvancedType(a.AdvancedType, b.AdvancedType);
        if (type == aftUnknown) continue;
        if (!keepsBlobs && a.AdvancedType >= aftBytes) continue;
        TSQLMemFieldLink c;
        c.Name = c.DisplayName = c.SourceFieldName = lf[l].Name;
        for (int v : m_left->VisibleColumns())
            if (m_left->Column(v).ResultFieldNo == lf[l].FieldNo) {
                c.TableName = m_left->Column(v).TableName;
                c.TableAlias = m_left->Column(v).TableAlias;
                break;
            }
        c.AdvancedType = type;
        c.Size = std::max(a.Size, b.Size);
        if (c.Size <= 0 && isStringBaseType(baseTypeOf(type))) c.Size = 255;
        c.BlobCompressionAlgorithm = a.BlobCompressionAlgorithm;
        c.BlobCompressionMode = a.BlobCompressionMode;
        c.BlobBlockSize = std::max(a.BlobBlockSize, b.BlobBlockSize);
        c.SourceFromDataset = true;
        c.Hidden = false;
        c.SourceColumnNo = static_cast<std::int32_t>(m_columns.size());
        m_columns.push_back(std::move(c));
        m_leftFields.push_back(lf[l].FieldNo);
        m_rightFields.push_back(rf[r].FieldNo);
    }
    if (m_columns.empty()) emptyFieldList(10339);
    if (distinct) {
        std::vector<int> all(m_columns.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<int>(i);
        SetDistinct(all);
    }
    m_leftRows.attach(&m_left->ResultCursor());
    m_rightRows.attach(&m_right->ResultCursor());
    m_values.resize(m_columns.size());

    if (operation == soUnion) return;
    // The key prefix: the probed index's leading columns as far as each is
    // a paired one.
    TSQLMemLocalCursor& probed = (m_leftProbed ? m_left : m_right)->ResultCursor();
    const std::vector<int>& probedFields = m_leftProbed ? m_leftFields : m_rightFields;
    m_probeIndex = probed.IndexId;
    if (const int i = probed.indexDefs().indexOfId(m_probeIndex); i >= 0) {
        for (const TSQLMemIndexColumn& column : probed.indexDefs()[i].Columns) {
            const int field = probed.fieldDefs().indexOfName(column.FieldName);
            const auto at = std::find(probedFields.begin(), probedFields.end(), field);
            if (at == probedFields.end()) break;
            m_keyColumns.push_back(static_cast<int>(at - probedFields.begin()));
        }
    }
    m_key.assign(static_cast<std::size_t>(probed.recordSize()), 0);
}

TSQLMemAOUnion::~TSQLMemAOUnion() = default;

void TSQLMemAOUnion::Open(bool finalResult) {
    m_finalResult = finalResult;
    if (m_condition) m_condition->BindToOperator(this);
    Materialize();
}

void TSQLMemAOUnion::Materialize() {
    if (m_materialized) return;
    TSQLMemAO::Materialize();
    // The children and their results are gone.
    m_leftRows.attach(nullptr);
    m_rightRows.attach(nullptr);
    m_found = nullptr;
}

// --- rows ------------------------------------------------------------------------

void TSQLMemAOUnion::OwnFirst() {
    if (m_operation == soUnion) {
        m_leftRows.first();
        m_rightRows.first();
        m_onLeft = !m_leftRows.eof();
        return;
    }
    (m_leftProbed ? m_rightRows : m_leftRows).first();
    skipToQualifying();
}

void TSQLMemAOUnion::OwnNext() {
    if (m_operation == soUnion) {
        if (!m_onLeft) {
            m_rightRows.next();
            return;
        }
        m_leftRows.next();
        // From here the columns read the right child, from its first row.
        if (m_leftRows.eof()) m_onLeft = false;
        return;
    }
    (m_leftProbed ? m_rightRows : m_leftRows).next();
    skipToQualifying();
}

bool TSQLMemAOUnion::OwnEof() {
    if (m_operation == soUnion) return !m_onLeft && m_rightRows.eof();
    return (m_leftProbed ? m_rightRows : m_leftRows).eof();
}

std::int64_t TSQLMemAOUnion::OwnRecordCount() {
    // How many rows to make room for: UNION's are known.
    if (m_operation == soUnion) return m_leftRows.recordCount() + m_rightRows.recordCount();
    return 0;
}

void TSQLMemAOUnion::skipToQualifying() {
    TSQLMemRowReader& iterated = m_leftProbed ? m_rightRows : m_leftRows;
    const bool wanted = m_operation == soIntersect;
    for (; !iterated.eof(); iterated.next())
        if (probe() == wanted) return;
}

bool TSQLMemAOUnion::probe() {
    TSQLMemLocalCursor& probed = (m_leftProbed ? m_left : m_right)->ResultCursor();
    TSQLMemRowReader& iterated = m_leftProbed ? m_rightRows : m_leftRows;
    const std::vector<int>& iteratedFields = m_leftProbed ? m_rightFields : m_leftFields;
    const std::vector<int>& probedFields = m_leftProbed ? m_leftFields : m_rightFields;
    for (std::size_t k = 0; k < m_values.size(); ++k)
        iterated.read(iteratedFields[k], m_values[k]);

    // A null value leaves its key field null, which finds the nulls.
    const TSQLMemFieldDefs& defs = probed.fieldDefs();
    std::memset(m_key.data(), 0, m_key.size());
    for (int f = 0; f < defs.count(); ++f)
        record_layout::setNull(m_key.data(), f, true);
    std::int32_t prefix = 0;
    for (int k : m_keyColumns) {
        const int f = probedFields[static_cast<std::size_t>(k)];
        try {
            writeFieldValue(defs[f], f, m_values[static_cast<std::size_t>(k)], m_key.data());
        } catch (const ESQLMemException&) {
            // A value the probed field cannot hold; the comparison decides.
            break;
        }
        ++prefix;
    }
    TSQLMemScanSearchCondition key;
    key.Mode = TSQLMemIndexMode::Equal;
    key.IndexId = m_probeIndex;
    key.Columns = prefix;
    key.Bound = m_key.data();
    TPairedValues paired(defs, probedFields, m_values);
    TSQLMemRecordID found;
    TSQLMemSearchRequest request;
    request.FindAny = true;
    request.Predicate = &paired;
    request.Extra = prefix > 0 ? &key : nullptr;
    request.Found = &found;
    if (!probed.table()->search(probed, request)) return false;
    if (m_leftProbed) {
        const TSQLMemTableData* table = probed.table();
        m_found = table->recordManager()->lend(table->session(), found, m_foundCopy);
    }
    return true;
}

void TSQLMemAOUnion::ReadSourceValue(TSQLMemVariant& out, const TSQLMemFieldLink& column) {
    const auto k = static_cast<std::size_t>(column.SourceColumnNo);
    if (m_operation == soUnion && !m_onLeft) {
        m_rightRows.read(m_rightFields[k], out);
    } else if (m_leftProbed) {
        // The row the key search found, equal to the iterated one.
        const int f = m_leftFields[k];
        const TSQLMemBlobValues blobs = m_left->ResultCursor().blobValues();
        readFieldValue(m_left->ResultCursor().fieldDefs()[f], f, m_found, out, &blobs);
    } else {
        m_leftRows.read(m_leftFields[k], out);
    }
}

}  // namespace sqlmem
