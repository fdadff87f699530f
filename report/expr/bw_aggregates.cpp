#include "expr/bw_aggregates.h"

#include <algorithm>

#include "expr/bw_parser.h"
#include "expr/bw_value.h"

namespace bwreport {

bool TBwAggregates::kindOf(const QString& upperName, TBwAggregateKind& kind) {
    static const struct {
        const char16_t* name;
        TBwAggregateKind kind;
    } kNames[] = {{u"SUM", TBwAggregateKind::Sum},
                  {u"AVG", TBwAggregateKind::Avg},
                  {u"MIN", TBwAggregateKind::Min},
                  {u"MAX", TBwAggregateKind::Max},
                  {u"COUNT", TBwAggregateKind::Count}};
    for (const auto& k : kNames)
        if (upperName == QStringView(k.name)) {
            kind = k.kind;
            return true;
        }
    return false;
}

std::vector<TBwAggregateCall> TBwAggregates::findCalls(const QString& text) {
    std::vector<TBwAggregateCall> calls;
    bool inSingle = false, inDouble = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\'' && !inDouble) inSingle = !inSingle;
        if (c == u'"' && !inSingle) inDouble = !inDouble;
        if (inSingle || inDouble || !c.isLetter() || (i > 0 && text[i - 1].isLetterOrNumber()))
            continue;
        qsizetype k = i;
        while (k < text.size() && text[k].isLetter())
            ++k;
        TBwAggregateKind kind;
        if (k >= text.size() || text[k] != u'(' || !kindOf(text.mid(i, k - i).toUpper(), kind))
            continue;
        qsizetype end = 0;
        QStringList args;
        try {
            args = TBwParser::splitArguments(text, k, end);
        } catch (const EBwExpressionError&) {
            continue;  // the call fails when it is evaluated
        }
        TBwAggregateCall call{kind, {}, {}, {}};
        if (kind == TBwAggregateKind::Count) {
            call.band = args.value(0);
            call.flag = args.value(1);
        } else {
            call.expression = args.value(0);
            call.band = args.value(1);
            call.flag = args.value(2);
        }
        calls.push_back(call);
        i = k;
    }
    return calls;
}

void TBwAggregates::add(TBwAggregateKey user, TBwAggregateKey source, TBwAggregateKind kind,
                        const QString& expression, bool countInvisible) {
    for (Item& it : m_items)
        if (it.user == user && it.source == source && it.kind == kind &&
            it.expression == expression) {
            it.countInvisible = it.countInvisible || countInvisible;
            return;
        }
    m_items.push_back({user, source, kind, expression, countInvisible, 0, 0, false});
}

void TBwAggregates::accumulate(TBwAggregateKey source, bool visible,
                               const std::function<QVariant(const QString&)>& evaluate) {
    QString lastExpression;
    double lastValue = 0;
    bool haveLast = false;
    for (Item& it : m_items) {
        if (it.source != source) continue;
        ++it.records;  // the band's record counter, invisible records included
        if (!visible && !it.countInvisible) continue;
        if (it.kind == TBwAggregateKind::Count) {
            it.value += 1;
            continue;
        }
        if (!haveLast || it.expression != lastExpression) {
            lastValue = valueNumber(evaluate(it.expression));  // null counts as 0
            lastExpression = it.expression;
            haveLast = true;
        }
        // MIN and MAX start from the first value: a fixed start (0, or a
        // large number for MIN) made the MAX of negative values 0 and the
        // MIN of no values that large number.
        switch (it.kind) {
            case TBwAggregateKind::Min:
                it.value = it.taken ? std::min(it.value, lastValue) : lastValue;
                break;
            case TBwAggregateKind::Max:
                it.value = it.taken ? std::max(it.value, lastValue) : lastValue;
                break;
            default:
                it.value += lastValue;
        }
        it.taken = true;
    }
}

QVariant TBwAggregates::value(TBwAggregateKey user, TBwAggregateKey source, TBwAggregateKind kind,
                              const QString& expression) const {
    for (const Item& it : m_items)
        if (it.user == user && it.source == source && it.kind == kind &&
            it.expression == expression) {
            if (kind == TBwAggregateKind::Avg) return it.records == 0 ? 0.0 : it.value / it.records;
            return it.value;
        }
    return qint64(0);
}

void TBwAggregates::reset(TBwAggregateKey user) {
    for (Item& it : m_items)
        if (it.user == user) {
            it.value = 0;
            it.records = 0;
            it.taken = false;
        }
}

}  // namespace bwreport
