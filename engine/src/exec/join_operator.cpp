#include "exec/join_operator.h"

#include <algorithm>

#include "exec/table_operator.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "values/data_types.h"

namespace sqlmem {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return cp1251::equalNoCase(a, b);
}

std::uint64_t idKey(const TSQLMemRecordID& id) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(id.PageNo)) << 16) |
           static_cast<std::uint16_t>(id.PageItemNo);
}

[[noreturn]] void differentLengths(int code, std::size_t l1, std::size_t l2) {
    throw ESQLMemException(code, "Error - different lists length. L1 = %d, L2 = %d",
                           {static_cast<std::int64_t>(l1), static_cast<std::int64_t>(l2)});
}

}  // namespace

TSQLMemAOJoin::TSQLMemAOJoin(std::unique_ptr<TSQLMemAO> left, std::unique_ptr<TSQLMemAO> right,
                             std::uint8_t joinType, bool natural, const TSQLMemFields* leftFields,
                             const TSQLMemFields* rightFields)
    : m_isCross(joinType == jtCross),
      m_isOuter(joinType == jtLeft || joinType == jtRight || joinType == jtFull),
      m_isInner(joinType == jtInner),
      m_joinType(joinType) {
    m_left = std::move(left);
    m_right = std::move(right);
    const std::size_t leftCount = leftFields ? leftFields->size() : 0;
    const std::size_t rightCount = rightFields ? rightFields->size() : 0;
    if (!m_isCross && !natural && leftCount != rightCount)
        differentLengths(10330, leftCount, rightCount);

    // Room for every column at once: a column moved on growth moves its names.
    m_columns.reserve(static_cast<std::size_t>(m_left->ColumnCount() + m_right->ColumnCount()));
    for (TSQLMemAO* child : {m_left.get(), m_right.get()})
        for (int i = 0; i < child->ColumnCount(); ++i) {
            const TSQLMemFieldLink& from = child->Column(i);
            TSQLMemFieldLink c;
            c.Name = from.Name;
            // The field it comes from, also through a join below that renamed it.
            c.SourceFieldName = from.SourceFieldName.empty() ? from.Name : from.SourceFieldName;
            c.TableName = from.TableName;
            c.TableAlias = from.TableAlias;
            c.AdvancedType = from.AdvancedType;
            c.Precision = from.Precision;
            c.Size = from.Size;
            c.BlobCompressionAlgorithm = from.BlobCompressionAlgorithm;
            c.BlobCompressionMode = from.BlobCompressionMode;
            c.BlobBlockSize = from.BlobBlockSize;
            c.Hidden = from.Hidden;
            c.ContainsAggregate = from.ContainsAggregate;
            // Read through the child, which computes it if it must.
            c.SourceOperator = child;
            c.SourceColumnNo = i;
            m_columns.push_back(std::move(c));
        }
    const int leftColumns = m_left->ColumnCount();
    auto fromLeft = [&](int column) { return column < leftColumns; };

    if (natural && !m_isCross) {
        for (int l = 0; l < leftColumns; ++l)
            for (int r = leftColumns; r < ColumnCount(); ++r)
                if (sameName(m_columns[l].Name, m_columns[r].Name)) {
                    m_leftPairs.push_back(l);
                    m_rightPairs.push_back(r);
                    makeVisible(l);
                    makeVisible(r);
                }
    } else if (!m_isCross) {
        std::vector<int> found;
        auto lookUp = [&](const TSQLMemFields& list, int code, std::vector<int>& pairs) {
            for (std::size_t i = 0; i < list.size(); ++i) {
                const TSQLMemColumnName& f = list[i];
                const int n = FindColumns(f.FieldName, f.TableAlias, found, true);
                if (n != 1)
                    throw ESQLMemException(
                        code,
                        "Invalid field for join operation. Table name = '%s', "
                        "FieldName = '%s', i = %d, FieldExists = %d",
                        {f.TableAlias, f.FieldName, static_cast<std::int64_t>(i), std::int64_t{n}});
                pairs.push_back(found.front());
            }
        };
        if (leftFields) lookUp(*leftFields, 10331, m_leftPairs);
        if (rightFields) lookUp(*rightFields, 10332, m_rightPairs);
    }
    if (!m_isCross) {
        if (m_leftPairs.size() != m_rightPairs.size())
            differentLengths(10332, m_leftPairs.size(), m_rightPairs.size());
        if (m_leftPairs.empty())
            throw ESQLMemException(10333, "Empty field list, item count = %d", {std::int64_t{0}});
        for (std::size_t i = 0; i < m_leftPairs.size(); ++i) {
            int& a = m_leftPairs[i];
            int& b = m_rightPairs[i];
            if (fromLeft(a) == fromLeft(b))
                throw ESQLMemException(
                    10334,
                    "Both join fields are from the same table. Field1 = '%s', "
                    "Field2 = '%s', No1 = %d, No2 = %d.",
                    {m_columns[a].Name, m_columns[b].Name, std::int64_t{a}, std::int64_t{b}});
            if (!fromLeft(a)) std::swap(a, b);
        }
    }
    MakeColumnNamesUnique();
}

TSQLMemAOJoin::~TSQLMemAOJoin() {
    dropFilter();
}

// --- building ----------------------------------------------------------------------

void TSQLMemAOJoin::showFieldsOf(const TSQLMemExprNode& node) {
    if (const auto* f = dynamic_cast<const TSQLMemExprNodeField*>(&node)) {
        std::vector<int> found;
        FindColumns(f->FieldName, f->TableAlias, found, true);
    }
    for (const auto& child : node.Children)
        showFieldsOf(*child);
}

void TSQLMemAOJoin::PlaceOnCondition(TSQLMemExpression& on) {
    if (!m_isOuter) {
        MoveConditionsTo(on, false);
        return;
    }
    if (m_joinType == jtLeft) m_right->MoveConditionsTo(on, false);
    if (m_joinType == jtRight) m_left->MoveConditionsTo(on, false);
    if (on.IsEmpty()) return;
    std::unique_ptr<TSQLMemExpression> taken = on.MoveConditionsTo(this);
    if (!taken) return;
    if (taken->Root) showFieldsOf(*taken->Root);
    if (!m_matchCondition || m_matchCondition->IsEmpty()) {
        m_matchCondition = std::move(taken);
        return;
    }
    auto both = std::make_unique<TSQLMemExprNodeBoolean>(eoAnd);
    both->add(std::move(m_matchCondition->Root));
    both->add(std::move(taken->Root));
    m_matchCondition->Root = std::move(both);
}

void TSQLMemAOJoin::AddCondition(std::unique_ptr<TSQLMemExpression> condition) {
    if (condition->Root) showFieldsOf(*condition->Root);
    TSQLMemAO::AddCondition(std::move(condition));
}

bool TSQLMemAOJoin::PassesConditionsTo(bool left) const {
    switch (m_joinType) {
        case jtLeft:
            return left;
        case jtRight:
            return !left;
        case jtFull:
            return false;
        default:
            return true;
    }
}

void TSQLMemAOJoin::SetSelectList(std::vector<TSQLMemSelectListItem>& items, bool allColumns,
                                  bool distinct) {
    for (const TSQLMemSelectListItem& item : items)
        if (item.IsExpression && item.Expression && item.Expression->Root)
            showFieldsOf(*item.Expression->Root);
    TSQLMemAO::SetSelectList(items, allColumns, distinct);
    // A column renamed to be unique is shown under its field's name when no
    // other shown column comes from a field of that name.
    for (int c : m_visible) {
        TSQLMemFieldLink& column = m_columns[c];
        if (column.DisplayName != column.Name || sameName(column.SourceFieldName, column.Name) ||
            column.SourceFieldName.empty())
            continue;
        bool other = false;
        for (int o : m_visible)
            if (o != c && sameName(m_columns[o].SourceFieldName, column.SourceFieldName))
                other = true;
        if (!other) column.DisplayName = column.SourceFieldName;
    }
}

void TSQLMemAOJoin::Open(bool finalResult) {
    m_finalResult = finalResult;
    // Bound before the children open: an open child is materialised and has
    // freed its own children, through which a qualified name is found.
    if (m_condition) m_condition->BindToOperator(this);
    if (m_matchCondition) m_matchCondition->BindToOperator(this);
    m_left->Open(false);
    m_right->Open(false);
    Materialize();
}

// --- rows --------------------------------------------------------------------------

std::int64_t TSQLMemAOJoin::OwnRecordCount() {
    if (m_isCross) return m_left->RecordCount() * m_right->RecordCount();
    return 0;
}

bool TSQLMemAOJoin::usableIndex(TSQLMemAO& child, const std::vector<int>& pairs) const {
    // An index whose first column is one of the side's join columns, able
    // to answer the probe's case-sensitive equality.
    const TSQLMemLocalCursor& cursor = child.ResultCursor();
    const TSQLMemFieldDefs& fields = cursor.fieldDefs();
    const TSQLMemIndexDefs& indexes = cursor.indexDefs();
    for (int i = 0; i < indexes.count(); ++i) {
        const TSQLMemIndexDef& index = indexes[i];
        if (index.Columns.empty() || index.Columns[0].Descending) continue;
        for (int p : pairs) {
            const int field = child.Column(m_columns[p].SourceColumnNo).ResultFieldNo;
            if (field < 0) continue;
            const TSQLMemFieldDef& def = fields[field];
            if (!sameName(index.Columns[0].FieldName, def.Name)) continue;
            if (def.AdvancedType >= aftChar && def.AdvancedType <= aftWideVarchar &&
                index.Columns[0].CaseInsensitive)
                continue;
            return true;
        }
    }
    return false;
}

void TSQLMemAOJoin::chooseDrivingSide() {
    if (m_joinType == jtLeft || m_joinType == jtRight) {
        m_leftDrives = m_joinType == jtLeft;
        return;
    }
    const bool leftIndexed = usableIndex(*m_left, m_leftPairs);
    const bool rightIndexed = usableIndex(*m_right, m_rightPairs);
    if (leftIndexed != rightIndexed) {
        m_leftDrives = rightIndexed;
        return;
    }
    // Records of a stored table of variable-length text cost more to read.
    auto weighted = [](TSQLMemAO& child) {
        const TSQLMemLocalCursor& cursor = child.ResultCursor();
        std::int64_t count = child.RecordCount();
        if (!cursor.InMemory && !cursor.Temporary) {
            const TSQLMemFieldDefs& fields = cursor.fieldDefs();
            for (int i = 0; i < fields.count(); ++i)
                if (fields[i].AdvancedType == aftVarchar ||
                    fields[i].AdvancedType == aftWideVarchar) {
                    count *= 5;
                    break;
                }
        }
        return count;
    };
    m_leftDrives = weighted(*m_right) >= weighted(*m_left);
}

void TSQLMemAOJoin::buildInnerFilter() {
    // (inner field = constant) AND ...: not null-aware, so a null key meets
    // null keys; case-sensitive, as an index compares.
    const std::vector<int>& innerPairs = m_leftDrives ? m_rightPairs : m_leftPairs;
    const TSQLMemFieldDefs& fields = m_innerCursor->fieldDefs();
    auto root = std::make_unique<TSQLMemExprNodeBoolean>(eoAnd);
    m_filterConstants.clear();
    m_innerFieldTypes.clear();
    for (int p : innerPairs) {
        const int field = m_innerChild->Column(m_columns[p].SourceColumnNo).ResultFieldNo;
        m_innerFieldTypes.push_back(fields[field].AdvancedType);
        auto cmp = std::make_unique<TSQLMemExprNodeComparison>(eoEqual);
        cmp->NullAware = false;
        cmp->add(std::make_unique<TSQLMemExprNodeField>(std::string(), fields[field].Name));
        m_filterConstants.push_back(
            static_cast<TSQLMemExprNodeConst*>(cmp->add(std::make_unique<TSQLMemExprNodeConst>())));
        root->add(std::move(cmp));
    }
    m_innerFilter = std::make_unique<TSQLMemExpression>();
    m_innerFilter->NullAware = false;
    m_innerFilter->Fields = &fields;
    m_innerFilter->setRoot(std::move(root));
}

void TSQLMemAOJoin::setInnerNull(bool null) {
    (m_leftDrives ? m_rightSideNull : m_leftSideNull) = null;
}

void TSQLMemAOJoin::setOuterNull(bool null) {
    (m_leftDrives ? m_leftSideNull : m_rightSideNull) = null;
}

void TSQLMemAOJoin::dropFilter() {
    if (!m_filterActive || !m_innerCursor) return;
    m_innerCursor->setJoinFilter(nullptr);
    m_filterActive = false;
}

void TSQLMemAOJoin::buildProbeIndex() {
    m_probeIndex.reset();
    const std::vector<int>& innerPairs = m_leftDrives ? m_rightPairs : m_leftPairs;
    if (m_innerEmpty) return;
    const bool indexed = usableIndex(*m_innerChild, innerPairs);
    std::vector<int> columns;
    std::vector<std::uint8_t> types;
    for (std::size_t i = 0; i < innerPairs.size(); ++i) {
        const std::uint8_t type = baseTypeOf(m_innerFieldTypes[i]);
        if (!TSQLMemJoinProbeIndex::Supports(type)) return;
        columns.push_back(m_columns[innerPairs[i]].SourceColumnNo);
        types.push_back(type);
    }
    // Sorting costs about log2(n) comparisons per inner row, each cheaper
    // than testing a row against the filter; every probe would test all n.
    // An index range costs a search per probe instead, which outweighs
    // reading the side once only when the outer rows far outnumber its own.
    const std::int64_t inner = m_innerChild->RecordCount();
    const std::int64_t outer = m_outerChild->RecordCount();
    int log2 = 0;
    for (std::int64_t n = inner; n > 1; n >>= 1)
        ++log2;
    if (indexed ? outer < 8 * inner : outer < 2 + log2 / 2) return;
    m_probeIndex = std::make_unique<TSQLMemJoinProbeIndex>();
    m_probeIndex->Build(*m_innerChild, columns, types);
    m_probeReads += static_cast<std::int64_t>(m_probeIndex->Size());
    m_probeKey.resize(innerPairs.size());
}

bool TSQLMemAOJoin::probeKey() {
    for (std::size_t i = 0; i < m_outerColumns.size(); ++i) {
        TSQLMemVariant& key = m_probeKey[i];
        GetValue(key, m_outerColumns[i], true);
        adaptConstantToField(m_innerFieldTypes[i], key, false);
        // A value the comparison would bring to another type orders unlike
        // the sorted keys.
        if (!key.IsNull() && key.Type() != baseTypeOf(m_innerFieldTypes[i])) return false;
    }
    return true;
}

bool TSQLMemAOJoin::nextIndexedMatch() {
    for (; m_matchAt < m_matchEnd; ++m_matchAt) {
        m_innerChild->SeekRow(m_probeIndex->Row(m_matchAt));
        if (!m_matchCondition || m_matchCondition->IsEmpty() || m_matchCondition->IsTrue())
            return true;
    }
    m_indexActive = false;
    return false;
}

bool TSQLMemAOJoin::probe() {
    m_leftSideNull = m_rightSideNull = false;
    if (!m_innerEmpty && m_probeIndex && probeKey()) {
        const auto [first, last] = m_probeIndex->Find(m_probeKey);
        m_matchAt = first;
        m_matchEnd = last;
        m_indexActive = true;
        if (nextIndexedMatch()) {
            recordInner();
            return true;
        }
    } else if (!m_innerEmpty) {
        for (std::size_t i = 0; i < m_outerColumns.size(); ++i) {
            GetValue(m_value, m_outerColumns[i], true);
            m_filterConstants[i]->Value.Assign(m_value);
        }
        // Lets each constant take its field's type, as a parsed filter's would.
        m_innerFilter->ConstantsChanged();
        m_innerCursor->setJoinFilter(m_innerFilter.get());
        m_filterActive = true;
        m_innerChild->First();
        const TSQLMemSearchTrace& trace = m_innerCursor->LastVisibleSearch;
        if (trace.IndexId >= 0) m_probeIndexId = trace.IndexId;
        m_probeReads += trace.RecordsRead;
        skipRejectedInner();
        if (!m_innerChild->Eof()) {
            recordInner();
            return true;
        }
        dropFilter();
    }
    if (m_isInner) return false;
    setInnerNull(true);
    return true;
}

void TSQLMemAOJoin::skipRejectedInner() {
    if (!m_matchCondition || m_matchCondition->IsEmpty()) return;
    while (!m_innerChild->Eof() && !m_matchCondition->IsTrue())
        m_innerChild->Next();
}

void TSQLMemAOJoin::recordInner() {
    if (m_joinType != jtFull) return;
    m_matched.push_back(idKey(m_innerCursor->CurrentId));
    m_matchedSorted = false;
}

bool TSQLMemAOJoin::matched(const TSQLMemRecordID& id) const {
    const std::uint64_t key = idKey(id);
    if (m_matchedSorted && m_matched.size() > 10)
        return std::binary_search(m_matched.begin(), m_matched.end(), key);
    return std::find(m_matched.begin(), m_matched.end(), key) != m_matched.end();
}

void TSQLMemAOJoin::enterSecondPhase() {
    dropFilter();
    m_indexActive = false;
    m_secondPhase = true;
    m_leftSideNull = m_rightSideNull = false;
    setOuterNull(true);
    std::sort(m_matched.begin(), m_matched.end());
    m_matched.erase(std::unique(m_matched.begin(), m_matched.end()), m_matched.end());
    m_matchedSorted = true;
    m_innerChild->First();
    // The first inner record is delivered unless it matched.
    if (!m_innerChild->Eof() && matched(m_innerCursor->CurrentId)) OwnNext();
}

void TSQLMemAOJoin::OwnFirst() {
    m_leftSideNull = m_rightSideNull = false;
    if (m_isCross) {
        m_left->First();
        m_right->First();
        return;
    }
    dropFilter();
    chooseDrivingSide();
    m_outerChild = m_leftDrives ? m_left.get() : m_right.get();
    m_innerChild = m_leftDrives ? m_right.get() : m_left.get();
    m_innerCursor = &m_innerChild->ResultCursor();
    m_outerColumns = m_leftDrives ? m_leftPairs : m_rightPairs;
    buildInnerFilter();
    m_matched.clear();
    if (m_joinType == jtFull)
        m_matched.reserve(
            static_cast<std::size_t>(std::max<std::int64_t>(0, m_outerChild->RecordCount())));
    m_secondPhase = false;
    m_innerChild->First();
    m_innerEmpty = m_innerChild->Eof();
    // An inner join with nothing to probe is over before it starts.
    if (m_isInner && m_innerEmpty) return;
    m_indexActive = false;
    buildProbeIndex();
    m_outerChild->First();
    if (m_outerChild->Eof()) {
        if (m_joinType == jtFull) enterSecondPhase();
        return;
    }
    if (!probe()) OwnNext();
}

void TSQLMemAOJoin::OwnNext() {
    if (m_isCross) {
        m_right->Next();
        if (m_right->Eof()) {
            m_left->Next();
            if (!m_left->Eof()) m_right->First();
        }
        return;
    }
    for (;;) {
        if (m_secondPhase) {
            m_innerChild->Next();
            if (m_innerChild->Eof() || !matched(m_innerCursor->CurrentId)) return;
            continue;
        }
        if (m_indexActive) {
            ++m_matchAt;
            if (nextIndexedMatch()) {
                recordInner();
                return;
            }
        }
        if (m_filterActive) {
            m_innerChild->Next();
            skipRejectedInner();
            if (!m_innerChild->Eof()) {
                recordInner();
                return;
            }
            dropFilter();
        }
        m_outerChild->Next();
        if (!m_outerChild->Eof()) {
            if (probe()) return;
            continue;
        }
        if (m_joinType == jtFull) enterSecondPhase();
        return;
    }
}

bool TSQLMemAOJoin::OwnEof() {
    if (m_isCross) return m_left->Eof() || m_right->Eof();
    if (m_secondPhase) return m_innerChild->Eof();
    if (m_isInner && m_innerEmpty) return true;
    return m_outerChild->Eof();
}

void TSQLMemAOJoin::ReleaseInputs() {
    dropFilter();
    m_indexActive = false;
    m_probeIndex.reset();
    if (m_innerChild && (m_probeIndexId >= 0 || m_probeReads > 0))
        if (auto* table = dynamic_cast<TSQLMemAOTable*>(m_innerChild))
            table->NoteJoinProbes(m_probeIndexId, m_probeReads);
    m_innerCursor = nullptr;
    m_innerChild = m_outerChild = nullptr;
}

}  // namespace sqlmem
