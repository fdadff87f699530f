// The base of everything placed on a template page: properties by name, for
// the expression language and for anything else that enumerates them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace bwreport {

class TBwObject;

enum class TBwPropKind { Integer, Float, Text, Boolean, Color, Enum, Lines };

struct TBwPropRec {
    QString name;  // at most 32 characters
    TBwPropKind kind = TBwPropKind::Integer;
    QStringList enumNames;  // an enumeration's names, for example "psSolid;psDash;..."
    QList<int> enumValues;
    std::function<void(TBwObject&)> editor;  // design-time hook
};

class TBwObject {
public:
    TBwObject() = default;
    virtual ~TBwObject() = default;
    TBwObject(const TBwObject&) = delete;
    TBwObject& operator=(const TBwObject&) = delete;

    // Names are compared upper-cased. Setting an unknown name does nothing.
    virtual void setProperty(const QString& name, const QVariant& value);
    // The null QVariant for an unknown name.
    virtual QVariant getProperty(const QString& name) const;
    // Arguments arrive evaluated; an unknown method yields null.
    virtual QVariant callMethod(const QString& name, const QVariant& arg1, const QVariant& arg2,
                                const QVariant& arg3);

    // The property records, built on first use.
    const std::vector<TBwPropRec>& properties();
    const TBwPropRec* findProperty(const QString& name);

protected:
    virtual void defineProperties() {}
    TBwPropRec& addProperty(const QString& name, TBwPropKind kind);
    TBwPropRec& addEnumProperty(const QString& name, const QString& names, QList<int> values);

private:
    std::vector<TBwPropRec> m_props;
    bool m_propsDefined = false;
};

}  // namespace bwreport
