#include "data/bw_dictionary.h"

#include "base/bw_stream.h"

namespace bwreport {

int TBwVariables::indexOf(const QString& name) const {
    for (int i = 0; i < count(); ++i)
        if (m_items[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QVariant TBwVariables::value(const QString& name) const {
    const int i = indexOf(name);
    return i < 0 ? QVariant() : m_items[i].value;
}

void TBwVariables::set(const QString& name, const QVariant& value) {
    const int i = indexOf(name);
    if (i >= 0)
        m_items[i].value = value;
    else
        m_items.push_back({name, value});
}

void TBwVariables::rename(int index, const QString& name) {
    Q_ASSERT(indexOf(name) < 0 || indexOf(name) == index);
    m_items[index].name = name;
}

void TBwDataDictionary::clear() {
    Variables.clear();
    FieldAliases.clear();
    BandDatasources.clear();
    DisabledDatasets.clear();
    Cache.clear();
}

bool TBwDataDictionary::isEmpty() const {
    return Variables.count() == 0 && FieldAliases.count() == 0 && BandDatasources.count() == 0;
}

namespace {

std::int32_t readCount(TBwReader& r) {
    const qsizetype at = r.pos();
    const std::int32_t n = r.readInt();
    if (n < 0) r.fail(QStringLiteral("a list of %1 entries").arg(n), at);
    return n;
}

// Pairs are read one by one, so a count larger than the data fails at the
// data's end instead of reserving room for it.
void readPairs(TBwReader& r, TBwVariables& into) {
    const std::int32_t n = readCount(r);
    for (std::int32_t i = 0; i < n; ++i) {
        const QString name = r.readString();
        const QString value = r.readString();
        into.set(name, value);
    }
}

void writePairs(TBwWriter& w, const TBwVariables& list) {
    w.writeInt(list.count());
    for (int i = 0; i < list.count(); ++i) {
        w.writeString(list.name(i));
        w.writeString(list.value(i).toString());
    }
}

}  // namespace

void TBwDataDictionary::load(TBwReader& r,
                             const std::function<bool(const QString&)>& dataSetExists) {
    clear();
    const qsizetype at = r.pos();
    const std::int16_t layout = r.readSmallInt();
    if (layout != -1 && layout != -2) {
        r.seek(at);
        loadOldLayout(r);
        return;
    }
    readPairs(r, Variables);
    readPairs(r, FieldAliases);
    readPairs(r, BandDatasources);
    if (layout == -1) {
        for (int i = FieldAliases.count() - 1; i >= 0; --i) {
            const QString source = FieldAliases.value(i).toString();
            if (!dataSetExists || !dataSetExists(source)) FieldAliases.remove(i);
        }
        for (int i = BandDatasources.count() - 1; i >= 0; --i)
            if (BandDatasources.value(i).toString().isEmpty()) BandDatasources.remove(i);
    }
}

void TBwDataDictionary::loadOldLayout(TBwReader& r) {
    // Each entry's value is the first of its three texts that is not empty;
    // the entries pair with the names in order.
    const std::int32_t n = readCount(r);
    QStringList values;
    for (std::int32_t i = 0; i < n; ++i) {
        r.readByte();
        r.readInt();
        QString value;
        for (int k = 0; k < 3; ++k) {
            const QString s = r.readShortString();
            if (value.isEmpty()) value = s;
        }
        values.append(value);
    }
    const QStringList names = r.readStringList();
    for (qsizetype i = 0; i < names.size(); ++i)
        Variables.set(names[i], values.value(i));
    // Categories were once the names without a leading blank; now they are
    // the ones with it.
    if (Variables.count() > 0 && !Variables.name(0).isEmpty() &&
        !Variables.name(0).startsWith(QLatin1Char(' '))) {
        TBwVariables converted;
        for (int i = 0; i < Variables.count(); ++i) {
            const QString& name = Variables.name(i);
            converted.set(name.startsWith(QLatin1Char(' ')) ? name.mid(1) : QLatin1Char(' ') + name,
                          Variables.value(i));
        }
        Variables = converted;
    }
}

void TBwDataDictionary::save(TBwWriter& w) const {
    w.writeWord(static_cast<std::uint16_t>(-2));
    writePairs(w, Variables);
    writePairs(w, FieldAliases);
    writePairs(w, BandDatasources);
}

}  // namespace bwreport
