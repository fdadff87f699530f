#include "objects/bw_object.h"

namespace bwreport {

void TBwObject::setProperty(const QString&, const QVariant&) {}

QVariant TBwObject::getProperty(const QString&) const {
    return {};
}

QVariant TBwObject::callMethod(const QString&, const QVariant&, const QVariant&, const QVariant&) {
    return {};
}

const std::vector<TBwPropRec>& TBwObject::properties() {
    if (!m_propsDefined) {
        m_propsDefined = true;
        defineProperties();
    }
    return m_props;
}

const TBwPropRec* TBwObject::findProperty(const QString& name) {
    for (const TBwPropRec& p : properties())
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}

TBwPropRec& TBwObject::addProperty(const QString& name, TBwPropKind kind) {
    Q_ASSERT(name.size() <= 32);
    for (TBwPropRec& p : m_props)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) {
            p.kind = kind;
            return p;
        }
    m_props.push_back({name, kind, {}, {}, {}});
    return m_props.back();
}

TBwPropRec& TBwObject::addEnumProperty(const QString& name, const QString& names,
                                       QList<int> values) {
    TBwPropRec& p = addProperty(name, TBwPropKind::Enum);
    p.enumNames = names.split(QLatin1Char(';'));
    p.enumValues = std::move(values);
    Q_ASSERT(p.enumNames.size() == p.enumValues.size());
    return p;
}

}  // namespace bwreport
