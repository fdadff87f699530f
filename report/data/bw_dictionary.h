// The report's variable dictionary: variables (name to value expression),
// field aliases and band data sources, each an ordered list of unique names.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

namespace sqlmem {
class TDataSet;
}

namespace bwreport {

class TBwReader;
class TBwWriter;
class TBwDataset;

// An ordered list of unique names (any case) with a value each.
class TBwVariables {
public:
    int count() const { return static_cast<int>(m_items.size()); }
    const QString& name(int index) const { return m_items[index].name; }
    const QVariant& value(int index) const { return m_items[index].value; }
    // -1 when absent.
    int indexOf(const QString& name) const;
    bool contains(const QString& name) const { return indexOf(name) >= 0; }
    // The null QVariant when absent.
    QVariant value(const QString& name) const;
    // Replaces the value of a name already there, else appends the name.
    void set(const QString& name, const QVariant& value);
    // REQUIRES: no other entry has `name`.
    void rename(int index, const QString& name);
    void remove(int index) { m_items.erase(m_items.begin() + index); }
    void clear() { m_items.clear(); }

private:
    struct Item {
        QString name;
        QVariant value;
    };
    std::vector<Item> m_items;
};

// A "Component.field" reference once resolved, kept for the rest of a build.
struct TBwResolvedField {
    TBwDataset* dataSet = nullptr;       // the adapter, when one names it
    sqlmem::TDataSet* target = nullptr;  // the application dataset read
    QString fieldName;
};

class TBwDataDictionary {
public:
    TBwVariables Variables;
    TBwVariables FieldAliases;
    TBwVariables BandDatasources;
    QStringList DisabledDatasets;
    QHash<QString, TBwResolvedField> Cache;

    void clear();
    bool isEmpty() const;

    // The record after its 0xFE tag:
    //   2  signed word: -2 current layout, -1 the previous one (same bytes)
    //   .  variables:    int count, then count pairs (string name, string expression)
    //   .  field aliases: int count, then count pairs (string alias, string source)
    //   .  band sources: int count, then count pairs (string name, string value)
    // Any other word starts the oldest layout: int count; per entry a kind
    // byte, an int and three short strings; then a string list of names.
    // `dataSetExists` tells which aliases of a -1 record to keep.
    void load(TBwReader& reader, const std::function<bool(const QString&)>& dataSetExists);
    void save(TBwWriter& writer) const;

private:
    void loadOldLayout(TBwReader& reader);
};

}  // namespace bwreport
