// Totals kept per data band: SUM, AVG, MIN, MAX and COUNT. The builder
// registers the calls its footers make, feeds each printed record, asks for
// values while a footer prints, and restarts them after it.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

namespace bwreport {

enum class TBwAggregateKind { Sum, Avg, Min, Max, Count };

// One aggregate call found in a text; band and flag as written (may be empty).
struct TBwAggregateCall {
    TBwAggregateKind kind;
    QString expression;  // empty for COUNT
    QString band;
    QString flag;
};

class TBwAggregates {
public:
    // Aggregate calls in a text (outside quotes), in order.
    static std::vector<TBwAggregateCall> findCalls(const QString& text);
    // The kind named by an upper-cased function name; false for none.
    static bool kindOf(const QString& upperName, TBwAggregateKind& kind);

    // Registers an accumulator of `band` (a data band's name); one already
    // there with the same kind and expression is kept.
    void add(const QString& band, TBwAggregateKind kind, const QString& expression,
             bool countInvisible);
    // The band has passed a record: visible, or invisible (counted only by
    // accumulators whose flag was "1"). Each expression is evaluated once per
    // run of accumulators that share it; a null value counts as 0.
    void accumulate(const QString& band, bool visible,
                    const std::function<QVariant(const QString&)>& evaluate);
    // 0 for an accumulator that was never registered.
    QVariant value(const QString& band, TBwAggregateKind kind, const QString& expression) const;
    // MIN back to the large start value, the rest and the record counter to 0.
    void reset(const QString& band);
    void clear() {
        m_items.clear();
        m_counters.clear();
    }

private:
    struct Item {
        QString band;
        TBwAggregateKind kind;
        QString expression;
        bool countInvisible;
        double value;
    };
    static double startValue(TBwAggregateKind kind);
    std::vector<Item> m_items;
    std::vector<std::pair<QString, int>> m_counters;  // records per band, for AVG
    int counter(const QString& band) const;
};

}  // namespace bwreport
