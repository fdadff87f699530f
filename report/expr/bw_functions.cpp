#include "expr/bw_functions.h"

#include <cmath>
#include <limits>

#include "expr/bw_aggregates.h"
#include "expr/bw_expressions.h"
#include "expr/bw_format.h"
#include "expr/bw_value.h"
#include "sqlmem/cp1251.h"

namespace bwreport {

std::function<QString(const QString&, const QString&)> TBwStdFunctionLibrary::InputHandler;
std::function<int(const QString&, const QString&, int)> TBwStdFunctionLibrary::MessageBoxHandler;

TBwStdFunctionLibrary::TBwStdFunctionLibrary() {
    m_names = {QStringLiteral("AVG"),
               QStringLiteral("COUNT"),
               QStringLiteral("MAX"),
               QStringLiteral("MIN"),
               QStringLiteral("SUM"),
               QStringLiteral("DAYOF"),
               QStringLiteral("MONTHOF"),
               QStringLiteral("YEAROF"),
               QStringLiteral("FORMATDATETIME"),
               QStringLiteral("FORMATFLOAT"),
               QStringLiteral("FORMATTEXT"),
               QStringLiteral("INPUT"),
               QStringLiteral("LENGTH"),
               QStringLiteral("LOWERCASE"),
               QStringLiteral("UPPERCASE"),
               QStringLiteral("MAXNUM"),
               QStringLiteral("MINNUM"),
               QStringLiteral("MESSAGEBOX"),
               QStringLiteral("NAMECASE"),
               QStringLiteral("POS"),
               QStringLiteral("TRIM")};
}

namespace {

// Case by the code page's own tables, so that a text keeps to the
// characters a report can store (Unicode would make the micro sign a Greek
// capital). Other characters take their simple one-to-one mapping, so the
// length never changes.
QString changeCase(const QString& text, bool upper) {
    QString out = text;
    for (QChar& c : out) {
        unsigned char byte = 0;
        if (sqlmem::cp1251::fromUnicode(c.unicode(), byte))
            c = QChar(static_cast<char16_t>(sqlmem::cp1251::toUnicode(
                upper ? sqlmem::cp1251::toUpper(byte) : sqlmem::cp1251::toLower(byte))));
        else if (!c.isSurrogate())
            c = upper ? c.toUpper() : c.toLower();
    }
    return out;
}

}  // namespace

QVariant TBwStdFunctionLibrary::doFunction(const TBwFunctionCall& call) {
    const QString& n = call.name;
    auto eval = [&](const QString& p) { return p.isEmpty() ? QVariant() : call.evaluate(p); };
    auto text = [&](const QString& p) { return valueText(eval(p)); };

    TBwAggregateKind kind;
    if (TBwAggregates::kindOf(n, kind)) {
        // COUNT(band, flag); the others (expression, band, flag).
        const QString expression = kind == TBwAggregateKind::Count ? QString() : call.p1.trimmed();
        const QString band = (kind == TBwAggregateKind::Count ? call.p1 : call.p2).trimmed();
        const TBwExpressionContext* ctx = call.context;
        if (!ctx || !ctx->aggregates) return qint64(0);
        const void* source = ctx->aggregateSource;
        if (!band.isEmpty())
            source = ctx->findAggregateSource ? ctx->findAggregateSource(band) : nullptr;
        return ctx->aggregates->value(ctx->aggregateUser, source, kind, expression);
    }
    if (n == u"DAYOF" || n == u"MONTHOF" || n == u"YEAROF") {
        int y, m, d, h, mi, s, ms;
        decodeDateTime(valueNumber(eval(call.p1)), y, m, d, h, mi, s, ms);
        return qint64(n == u"DAYOF" ? d : (n == u"MONTHOF" ? m : y));
    }
    if (n == u"FORMATDATETIME") return formatDateTime(text(call.p1), valueNumber(eval(call.p2)));
    if (n == u"FORMATFLOAT") return formatFloat(text(call.p1), valueNumber(eval(call.p2)));
    if (n == u"FORMATTEXT") return formatMaskText(text(call.p1), text(call.p2));
    if (n == u"INPUT") {
        const QString prompt = text(call.p1), def = text(call.p2);
        return InputHandler ? InputHandler(prompt, def) : def;
    }
    if (n == u"LENGTH") return qint64(text(call.p1).size());
    if (n == u"LOWERCASE") return changeCase(text(call.p1), false);
    if (n == u"UPPERCASE") return changeCase(text(call.p1), true);
    if (n == u"MAXNUM" || n == u"MINNUM") {
        const QVariant a = eval(call.p1), b = eval(call.p2);
        const bool aBigger = valueNumber(a) > valueNumber(b);
        return (n == u"MAXNUM") == aBigger ? a : b;
    }
    if (n == u"MESSAGEBOX") {
        const QString t = text(call.p1), caption = text(call.p2);
        const int flags = static_cast<int>(clampedInteger(valueNumber(eval(call.p3)),
                                                          std::numeric_limits<int>::min(),
                                                          std::numeric_limits<int>::max()));
        return qint64(MessageBoxHandler ? MessageBoxHandler(t, caption, flags) : 1);
    }
    if (n == u"NAMECASE") {
        const QString t = changeCase(text(call.p1), false);
        return t.isEmpty() ? t : changeCase(t.left(1), true) + t.mid(1);
    }
    if (n == u"POS") {
        const QString part = text(call.p1);
        return qint64(part.isEmpty() ? 0 : text(call.p2).indexOf(part) + 1);
    }
    if (n == u"TRIM") return text(call.p1).trimmed();
    return QStringLiteral("0");
}

namespace {

std::vector<std::unique_ptr<TBwFunctionLibrary>>& registry() {
    static std::vector<std::unique_ptr<TBwFunctionLibrary>> libs = [] {
        std::vector<std::unique_ptr<TBwFunctionLibrary>> v;
        v.push_back(std::make_unique<TBwStdFunctionLibrary>());
        return v;
    }();
    return libs;
}

std::vector<TBwFunctionLibrary*>& view() {
    static std::vector<TBwFunctionLibrary*> v;
    return v;
}

void refresh() {
    view().clear();
    for (const auto& l : registry())
        view().push_back(l.get());
}

}  // namespace

const std::vector<TBwFunctionLibrary*>& TBwInstalledFunctions::libraries() {
    if (view().size() != registry().size()) refresh();
    return view();
}

void TBwInstalledFunctions::add(std::unique_ptr<TBwFunctionLibrary> library) {
    registry().push_back(std::move(library));
    refresh();
}

void TBwInstalledFunctions::remove(TBwFunctionLibrary* library) {
    auto& r = registry();
    for (auto it = r.begin(); it != r.end(); ++it)
        if (it->get() == library) {
            r.erase(it);
            break;
        }
    refresh();
}

QString formatMaskText(const QString& mask, const QString& text) {
    QString out;
    qsizetype next = 0;
    int caseMode = 0;  // 1 upper, -1 lower
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == u'\\' && i + 1 < mask.size()) {
            out += mask[++i];
        } else if (c == u'<' && i + 1 < mask.size() && mask[i + 1] == u'>') {
            caseMode = 0;
            ++i;
        } else if (c == u'>' || c == u'<') {
            caseMode = c == u'>' ? 1 : -1;
        } else if (QStringView(u"09#LlAaCc").contains(c)) {
            QChar ch = next < text.size() ? text[next++] : QChar(u' ');
            if (caseMode > 0) ch = ch.toUpper();
            if (caseMode < 0) ch = ch.toLower();
            out += ch;
        } else if (c == u'!') {
            continue;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace bwreport
