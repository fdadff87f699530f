// Totals: SUM, AVG, MIN, MAX and COUNT. Each band that shows totals (a
// footer, mostly) has accumulators of its own, fed by the data band whose
// records they count; so restarting one footer's totals leaves another's
// over the same data band alone. The builder registers the calls, feeds
// each printed record, asks for values while a band prints, and restarts
// a band's totals after it.
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

// A band's identity as the totals know it: the band that shows them, or the
// data band that feeds them.
using TBwAggregateKey = const void*;

class TBwAggregates {
public:
    // Aggregate calls in a text (outside quotes), in order.
    static std::vector<TBwAggregateCall> findCalls(const QString& text);
    // The kind named by an upper-cased function name; false for none.
    static bool kindOf(const QString& upperName, TBwAggregateKind& kind);

    // Registers an accumulator that `user` shows of the records of data band
    // `source`; one already there with the same kind and expression is kept.
    void add(TBwAggregateKey user, TBwAggregateKey source, TBwAggregateKind kind,
             const QString& expression, bool countInvisible);
    // `source` has passed a record: visible, or invisible (counted only by
    // accumulators whose flag was "1"). Each expression is evaluated once per
    // run of accumulators that share it; a null value counts as 0.
    void accumulate(TBwAggregateKey source, bool visible,
                    const std::function<QVariant(const QString&)>& evaluate);
    // 0 for an accumulator that was never registered.
    QVariant value(TBwAggregateKey user, TBwAggregateKey source, TBwAggregateKind kind,
                   const QString& expression) const;
    // The user's accumulators and record counters back to none (MIN and MAX
    // then take the next value as it is; with none they give 0).
    void reset(TBwAggregateKey user);
    void clear() { m_items.clear(); }

private:
    struct Item {
        TBwAggregateKey user;
        TBwAggregateKey source;
        TBwAggregateKind kind;
        QString expression;
        bool countInvisible;
        double value;
        int records;  // the source's records since the last restart, for AVG
        bool taken;   // a value was added since the last restart
    };
    std::vector<Item> m_items;
};

}  // namespace bwreport
