#include "expr/bw_expressions.h"

#include <cmath>
#include <limits>

#include "base/bw_codec.h"
#include "base/bw_strings.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "expr/bw_format.h"
#include "expr/bw_functions.h"
#include "expr/bw_interpreter.h"
#include "expr/bw_value.h"
#include "objects/bw_memo_view.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"

namespace bwreport {

namespace {

// Deep enough for any real template; a text that nests further (brackets
// within brackets, variables naming variables) is refused, not followed
// until the stack runs out.
constexpr int kMaxDepth = 64;

TBwVariables makeConstants() {
    TBwVariables c;
    auto sys = [](int n) { return qint64(static_cast<TColor>(0xFF000000u | unsigned(n))); };
    const struct {
        const char* name;
        qint64 value;
    } kColours[] = {
        {"clWhite", 0xFFFFFF},
        {"clBlack", 0},
        {"clMaroon", 0x000080},
        {"clGreen", 0x008000},
        {"clOlive", 0x008080},
        {"clNavy", 0x800000},
        {"clPurple", 0x800080},
        {"clTeal", 0x808000},
        {"clGray", 0x808080},
        {"clSilver", 0xC0C0C0},
        {"clRed", 0x0000FF},
        {"clLime", 0x00FF00},
        {"clYellow", 0x00FFFF},
        {"clBlue", 0xFF0000},
        {"clFuchsia", 0xFF00FF},
        {"clAqua", 0xFFFF00},
        {"clTransparent", clNone},
        {"clScrollBar", sys(0)},
        {"clBackground", sys(1)},
        {"clActiveCaption", sys(2)},
        {"clInactiveCaption", sys(3)},
        {"clMenu", sys(4)},
        {"clWindow", sys(5)},
        {"clWindowFrame", sys(6)},
        {"clMenuText", sys(7)},
        {"clWindowText", sys(8)},
        {"clCaptionText", sys(9)},
        {"clActiveBorder", sys(10)},
        {"clInactiveBorder", sys(11)},
        {"clAppWorkSpace", sys(12)},
        {"clHighlight", sys(13)},
        {"clHighlightText", sys(14)},
        {"clBtnFace", sys(15)},
        {"clBtnShadow", sys(16)},
        {"clGrayText", sys(17)},
        {"clBtnText", sys(18)},
        {"clInactiveCaptionText", sys(19)},
        {"clBtnHighlight", sys(20)},
        {"cl3DDkShadow", sys(21)},
        {"cl3DLight", sys(22)},
        {"clInfoText", sys(23)},
        {"clInfoBk", sys(24)},
    };
    for (const auto& k : kColours)
        c.set(QString::fromLatin1(k.name), k.value);
    const struct {
        const char* name;
        qint64 value;
    } kInts[] = {
        {"mrNone", 0},
        {"mrOk", 1},
        {"mrCancel", 2},
        {"mrYes", 6},
        {"mrNo", 7},
        {"fsBold", 2},
        {"fsItalic", 1},
        {"fsUnderline", 4},
        {"fsStrikeOut", 8},
        {"frftNone", 0},
        {"frftRight", 1},
        {"frftBottom", 2},
        {"frftLeft", 4},
        {"frftTop", 8},
        {"frtaLeft", 0},
        {"frtaRight", 1},
        {"frtaCenter", 2},
        {"frtaVertical", 4},
        {"frtaMiddle", 8},
        {"frtaDown", 16},
        {"baNone", 0},
        {"baLeft", 1},
        {"baRight", 2},
        {"baCenter", 3},
        {"baWidth", 4},
        {"baBottom", 5},
        {"baTop", 6},
        {"baRest", 7},
        {"psSolid", 0},
        {"psDash", 1},
        {"psDot", 2},
        {"psDashDot", 3},
        {"psDashDotDot", 4},
        {"psDouble", 5},
        {"mb_Ok", 0},
        {"mb_OkCancel", 1},
        {"mb_YesNo", 4},
        {"mb_YesNoCancel", 3},
        {"mb_IconError", 16},
        {"mb_IconQuestion", 32},
        {"mb_IconInformation", 64},
        {"mb_IconWarning", 48},
        {"btBMP", 0},
        {"btJPG", 1},
        {"btICO", 2},
        {"btWMF", 3},
    };
    for (const auto& k : kInts)
        c.set(QString::fromLatin1(k.name), k.value);
    c.set(QStringLiteral("CRLF"), QStringLiteral("\r\n"));
    c.set(QStringLiteral("Null"), nullValue());
    return c;
}

QString quoted(const QString& s) {
    QString q = s;
    q.replace(u'\'', QStringLiteral("''"));
    return u'\'' + q + u'\'';
}

bool sameEngineName(const std::string& engineName, const QString& name) {
    std::string bytes;
    if (!toCp1251(name, bytes)) return false;
    return sqlmem::cp1251::upper(engineName) == sqlmem::cp1251::upper(bytes);
}

// "Query."field"" or "Query.field" to its two parts; false without a dot
// outside double quotes.
bool splitQualified(const QString& name, QString& left, QString& right) {
    bool inDouble = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == u'"') inDouble = !inDouble;
        if (name[i] == u'.' && !inDouble) {
            left = name.left(i).trimmed();
            right = name.mid(i + 1).trimmed();
            return !left.isEmpty() && !right.isEmpty();
        }
    }
    return false;
}

QString unquoted(const QString& s) {
    if (s.size() >= 2 && s.startsWith(u'"') && s.endsWith(u'"')) return s.mid(1, s.size() - 2);
    return s;
}

QVariant fieldValue(sqlmem::TField& f) {
    using FT = sqlmem::TFieldType;
    const bool null = f.isNull();
    switch (f.dataType()) {
        case FT::ftLargeint:  // shown as its display text, like a field with a text handler
            return null ? QVariant(qint64(0)) : QVariant(fromCp1251(f.asString()));
        case FT::ftSmallint:
        case FT::ftInteger:
        case FT::ftWord:
        case FT::ftAutoInc:
            return qint64(null ? 0 : f.asInteger());
        case FT::ftFloat:
        case FT::ftCurrency:
            return null ? QVariant(qint64(0)) : QVariant(f.asFloat());
        case FT::ftBoolean:
            return null ? false : f.asBoolean();
        case FT::ftDate:
        case FT::ftTime:
        case FT::ftDateTime:
        case FT::ftTimeStamp:
            return null ? QVariant(qint64(0)) : dateTimeValue(f.asDateTime());
        case FT::ftFixedChar:
        case FT::ftString:
        case FT::ftWideString:
        case FT::ftMemo:
        case FT::ftFmtMemo:
            return null ? QString() : fromCp1251(f.asString());
        default:
            return null ? QVariant(qint64(0)) : QVariant(fromCp1251(f.asString()));
    }
}

// A suffix after " #": a number ("N" or a digit), boolean ("B") or
// date-time ("D", "T") format for this bracket alone.
bool parseFormatSuffix(const QString& suffix, std::int32_t& format, QString& text) {
    if (suffix.isEmpty()) return false;
    const QChar first = suffix[0].toUpper();
    if (first == u'N' || first.isDigit()) {
        const QString rest = first.isDigit() ? suffix : suffix.mid(1);
        qsizetype sepAt = -1;
        for (qsizetype i = rest.size() - 1; i >= 0; --i)
            if (rest[i] == u',' || rest[i] == u'-' || rest[i] == u'.') {
                sepAt = i;
                break;
            }
        const char sep = sepAt >= 0 ? char(rest[sepAt].unicode()) : ',';
        if (!rest.isEmpty() && rest[0].isDigit()) {
            int decimals = 0;
            if (sepAt >= 0)
                for (qsizetype i = sepAt + 1; i < rest.size() && rest[i].isDigit(); ++i)
                    ++decimals;
            format = packFormat(1, 1, std::min(decimals, 255), sep);
            text.clear();
        } else {
            text = rest;
            if (sepAt >= 0) text[sepAt] = u'.';
            format = packFormat(1, 4, 0, sep);
        }
        return true;
    }
    if (first == u'B') {
        format = packFormat(4, 4, 0, ',');
        text = suffix.mid(1);
        return true;
    }
    if (first == u'D' || first == u'T') {
        format = packFormat(first == u'D' ? 2 : 3, 4, 0, ',');
        text = suffix.mid(1);
        return true;
    }
    return false;
}

}  // namespace

TBwVariables& globalVariables() {
    static TBwVariables variables;
    return variables;
}

const TBwVariables& constants() {
    static const TBwVariables c = makeConstants();
    return c;
}

// Makes `ctx` the context of the parser's callbacks for one call, and bounds
// how deep calls may nest.
class TBwContextScope {
public:
    TBwContextScope(TBwExpressions& e, TBwExpressionContext& ctx, const QString& what)
        : m_e(e), m_saved(e.m_ctx) {
        if (e.m_depth >= kMaxDepth)
            throw EBwExpressionError(kBadExpression + QStringLiteral(": ") + what);
        ++e.m_depth;
        e.m_ctx = &ctx;
    }
    ~TBwContextScope() {
        --m_e.m_depth;
        m_e.m_ctx = m_saved;
    }
    TBwContextScope(const TBwContextScope&) = delete;
    TBwContextScope& operator=(const TBwContextScope&) = delete;

private:
    TBwExpressions& m_e;
    TBwExpressionContext* m_saved;
};

namespace {

// Pushes a text on a list for the life of a scope.
class TBwPushed {
public:
    TBwPushed(QStringList& list, const QString& text) : m_list(list) { list.append(text); }
    ~TBwPushed() { m_list.removeLast(); }
    TBwPushed(const TBwPushed&) = delete;
    TBwPushed& operator=(const TBwPushed&) = delete;

private:
    QStringList& m_list;
};

}  // namespace

TBwExpressions::TBwExpressions(TBwReport& report) : m_report(report) {
    // The parser used on its own reads the report's build state.
    m_parser.OnGetValue = [this](const QString& name) {
        return getValue(name, m_ctx ? *m_ctx : m_report.expressionContext());
    };
    m_parser.OnFunction = [this](const QString& name, const QString& p1, const QString& p2,
                                 const QString& p3) {
        return callFunction(name, p1, p2, p3, m_ctx ? *m_ctx : m_report.expressionContext());
    };
}

void TBwExpressions::clearFieldCache() {
    m_report.dictionary().Cache.clear();
}

void TBwExpressions::undefined(const QString& name) const {
    throw EBwExpressionError(TBwLocale::loadStr(sUndefinedVariable) + QStringLiteral(" \"") + name +
                             u'"');
}

// ------------------------------------------------------------------ brackets

QString TBwExpressions::expandText(const QString& text, TBwExpressionContext& ctx,
                                   bool objectFormat) {
    QString out;
    qsizetype i = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u'[', i);
        if (open < 0) break;
        const qsizetype close = matchingBracket(text, open);
        if (close < 0) break;
        out += QStringView(text).mid(i, open - i);
        out += expandBracket(text.mid(open + 1, close - open - 1), ctx, objectFormat);
        i = close + 1;  // an inserted value is never scanned again
    }
    out += QStringView(text).mid(i);
    return out;
}

QString TBwExpressions::expandBracket(const QString& inner, TBwExpressionContext& ctx,
                                      bool objectFormat) {
    const TBwView* view = objectFormat ? ctx.view : nullptr;
    std::int32_t format = view ? view->Format : kDefaultFormat;
    QString formatText = view ? view->FormatStr : QString();
    QString expression = inner;
    if (const qsizetype at = inner.indexOf(QStringLiteral(" #")); at >= 0) {
        expression = inner.left(at);
        std::int32_t f = 0;
        QString t;
        if (parseFormatSuffix(inner.mid(at + 2), f, t)) {
            format = f;
            formatText = t;
        }
    }
    QVariant value = getValue(expression, ctx);
    ctx.value = value;
    const TBwValueKind kind = valueKind(value);
    if (view && (view->Flags & flHideZeros) && isNumeric(kind) && valueNumber(value) == 0)
        return {};
    return formatValue(value, format, formatText);
}

QStringList TBwExpressions::expandMemo(const TBwView& view, const QStringList& lines,
                                       TBwExpressionContext& ctx) {
    if (view.Flags & flTextOnly) return lines;
    QStringList out;
    try {
        for (const QString& line : lines) {
            QString text = expandText(line, ctx);
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            text.replace(u'\r', u'\n');
            out += text.split(u'\n');
        }
    } catch (const std::exception& e) {
        throw EBwExpressionError(objectErrorMessage(view, QString::fromUtf8(e.what())));
    }
    return out;
}

QString TBwExpressions::objectErrorMessage(const TBwView& view, const QString& error) const {
    QString m = TBwLocale::loadStr(sExpressionError);
    for (const QString& line : view.Memo)
        m += u'\r' + line;
    m += QStringLiteral("\r\r") + TBwLocale::loadStr(sDocument) + u' ' + m_report.Name + u'\r' +
         TBwLocale::loadStr(sObject) + u' ' + view.Name + u'\r' + error;
    return m;
}

// -------------------------------------------------------------- resolution

QVariant TBwExpressions::evaluate(const QString& expression, TBwExpressionContext& ctx) {
    TBwContextScope scope(*this, ctx, expression);
    return m_parser.calc(expression);
}

QVariant TBwExpressions::getValue(const QString& name, TBwExpressionContext& ctx) {
    TBwContextScope scope(*this, ctx, name);
    if (m_report.OnGetValue) {
        QVariant v;
        m_report.OnGetValue(name, v);
        if (v.isValid()) return v;
    }

    TBwDataDictionary& dict = m_report.dictionary();
    if (const int vi = dict.Variables.indexOf(name); vi >= 0 && !name.startsWith(u' ')) {
        if (const int gi = globalVariables().indexOf(name); gi >= 0)
            return globalVariables().value(gi);
        const QVariant definition = dict.Variables.value(vi);
        if (valueKind(definition) != TBwValueKind::Text) return definition;
        if (m_variables.contains(name, Qt::CaseInsensitive)) undefined(name);
        TBwPushed pushed(m_variables, name);
        return m_parser.calc(definition.toString());
    }
    QVariant v;
    if (readField(name, v, ctx)) return v;

    if (name.compare(u"VALUE", Qt::CaseInsensitive) == 0) return ctx.value;
    if (readBuiltIn(name, v, ctx)) return v;
    if (const int gi = globalVariables().indexOf(name); gi >= 0) return globalVariables().value(gi);

    const QString upper = name.toUpper();
    if (upper == u"CURY") return ctx.curY;
    if (upper == u"FREESPACE") return ctx.pageBottom - ctx.curY;
    if (upper == u"FINALPASS") return ctx.finalPass;
    if (upper == u"PAGEHEIGHT") return ctx.pageBottom;
    if (upper == u"PAGEWIDTH") return ctx.pageRight;
    if (readObjectProperty(name, v)) return v;
    if (const int ci = constants().indexOf(name); ci >= 0) return constants().value(ci);

    // Last, the text as an expression. A name that comes back here is known
    // nowhere.
    if (m_resolving.contains(name)) undefined(name);
    TBwPushed pushed(m_resolving, name);
    return m_parser.calc(name);
}

bool TBwExpressions::readBuiltIn(const QString& name, QVariant& value,
                                 TBwExpressionContext& ctx) const {
    const QString n = name.toUpper();
    if (n == u"PAGE#")
        value = ctx.pageIndex + 1;
    else if (n == u"DATE")
        value = dateTimeValue(std::trunc(ctx.buildDateTime));
    else if (n == u"TIME")
        value = dateTimeValue(ctx.buildDateTime - std::trunc(ctx.buildDateTime));
    else if (n == u"LINE#")
        value = ctx.lineNo;
    else if (n == u"LINETHROUGH#")
        value = ctx.lineThrough;
    else if (n == u"COLUMN#")
        value = ctx.column;
    else if (n == u"CURRENT#")
        value = ctx.current;
    else if (n == u"TOTALPAGES")
        value = ctx.totalPages;
    else if (n == u"CALCWIDTH")
        value = ctx.calcWidth ? ctx.calcWidth() : (ctx.view ? ctx.view->Width : 0);
    else
        return false;
    return true;
}

bool TBwExpressions::findField(const QString& name, sqlmem::TDataSet*& dataSet, QString& fieldName,
                               TBwExpressionContext& ctx) {
    TBwDataDictionary& dict = m_report.dictionary();
    QString ref = name;
    if (const int ai = dict.FieldAliases.indexOf(name); ai >= 0)
        ref = dict.FieldAliases.value(ai).toString();

    QString left, right;
    if (!splitQualified(ref, left, right)) {
        // A bare name: a field of the current band's data set.
        auto* adapter = dynamic_cast<TBwDBDataSet*>(ctx.bandDataSet);
        dataSet = adapter ? adapter->target() : nullptr;
        fieldName = unquoted(ref.trimmed());
        return dataSet != nullptr;
    }
    // An alias may also stand for the dataset alone.
    if (const int ai = dict.FieldAliases.indexOf(left); ai >= 0)
        left = dict.FieldAliases.value(ai).toString();
    const QString key = left.toUpper() + u'.' + right.toUpper();
    if (const auto it = dict.Cache.constFind(key); it != dict.Cache.constEnd() && it->target) {
        dataSet = it->target;
        fieldName = it->fieldName;
        return true;
    }
    TBwResolvedField found;
    if (TBwOwner* owner = m_report.owner())
        for (TBwComponent* c : owner->components())
            if (auto* a = dynamic_cast<TBwDBDataSet*>(c);
                a && a->target() && sameEngineName(a->target()->Name, left)) {
                found.dataSet = a;
                found.target = a->target();
                break;
            }
    if (!found.target)
        for (sqlmem::TSQLMemDataSet* ds : sqlmem::TSQLMemDataSet::allDataSets())
            if (sameEngineName(ds->Name, left)) {
                found.target = ds;
                break;
            }
    if (!found.target) return false;
    found.fieldName = unquoted(right);
    dict.Cache.insert(key, found);
    dataSet = found.target;
    fieldName = found.fieldName;
    return true;
}

bool TBwExpressions::readField(const QString& name, QVariant& value, TBwExpressionContext& ctx) {
    sqlmem::TDataSet* ds = nullptr;
    QString fieldName;
    if (!findField(name, ds, fieldName, ctx)) return false;
    std::string bytes;
    if (!toCp1251(fieldName, bytes)) return false;
    if (!ds->active()) ds->open();
    sqlmem::TField* field = ds->findField(bytes);
    if (!field) return false;
    value = fieldValue(*field);
    return true;
}

bool TBwExpressions::readObjectProperty(const QString& name, QVariant& value) const {
    const qsizetype dot = name.indexOf(u'.');
    if (dot <= 0) return false;
    const QString objectName = name.left(dot).trimmed();
    const QString property = name.mid(dot + 1).trimmed();
    const TBwObject* object = nullptr;
    if (objectName.startsWith(u"PAGE", Qt::CaseInsensitive) && objectName.size() > 4) {
        bool ok = false;
        const int n = objectName.mid(4).toInt(&ok);
        if (ok && n >= 1 && n <= m_report.pages().count()) object = m_report.pages().item(n - 1);
    }
    if (!object) object = m_report.findObject(objectName);
    if (!object) return false;
    value = object->getProperty(property);
    return value.isValid();
}

// ---------------------------------------------------------------- functions

QVariant TBwExpressions::callFunction(const QString& name, const QString& p1, const QString& p2,
                                      const QString& p3, TBwExpressionContext& ctx) {
    TBwContextScope scope(*this, ctx, name);
    const QString upper = name.toUpper();
    QVariant result = QStringLiteral("0");
    bool handled = false;
    for (TBwFunctionLibrary* library : TBwInstalledFunctions::libraries())
        if (library->names().contains(upper)) {
            TBwFunctionCall call{
                upper, p1, p2, p3, [this, &ctx](const QString& e) { return evaluate(e, ctx); },
                &ctx};
            result = library->doFunction(call);
            handled = true;
            break;
        }
    if (!handled) {
        const QVariant r = reportFunction(upper, p1, p2, p3, handled, ctx);
        if (handled) result = r;
    }
    if (m_report.OnUserFunction) m_report.OnUserFunction(name, p1, p2, p3, result);
    return result;
}

QVariant TBwExpressions::reportFunction(const QString& name, const QString& p1, const QString& p2,
                                        const QString& p3, bool& handled,
                                        TBwExpressionContext& ctx) {
    handled = true;
    if (name == u"STOPREPORT") {
        ctx.stopReport = true;
        return {};
    }
    if (name == u"NEWPAGE") {
        ctx.newPage = true;
        return {};
    }
    if (name == u"NEWCOLUMN") {
        ctx.newColumn = true;
        return {};
    }
    if (name == u"SHOWBAND") {
        const QString band = p1.startsWith(u'\'') ? valueText(evaluate(p1, ctx)) : p1;
        if (ctx.showBand) ctx.showBand(band);
        return {};
    }
    if (name == u"INC" || name == u"DEC") {
        const QVariant v = getValue(p1, ctx);
        const QVariant r = applyOperator(
            name == u"INC" ? TBwOp::Add : TBwOp::Sub,
            valueKind(v) == TBwValueKind::Text ? QVariant(valueNumber(v)) : v, qint64(1));
        assign(p1, r, ctx);
        return r;
    }
    if (name == u"SETARRAY" || name == u"GETARRAY") {
        const QVariant index = evaluate(p2, ctx);
        const bool set = name == u"SETARRAY";
        if (const qsizetype dot = p1.indexOf(u'.'); dot > 0) {
            // An object's text list, line by line.
            TBwView* view = m_report.findObject(p1.left(dot).trimmed());
            const QString list = p1.mid(dot + 1).trimmed().toUpper();
            if (!view || (list != u"MEMO" && list != u"LINES")) return nullValue();
            const qint64 i = clampedInteger(valueNumber(index), -1, view->Memo.size());
            if (set) {
                if (i >= 0 && i < view->Memo.size()) view->Memo[i] = valueText(evaluate(p3, ctx));
                return {};
            }
            return i >= 0 && i < view->Memo.size() ? QVariant(view->Memo[i]) : nullValue();
        }
        // A whole number is written in digits; one too large for them in its
        // plain text, so that no two indexes share an element.
        const TBwValueKind k = valueKind(index);
        const double number =
            k == TBwValueKind::Integer || k == TBwValueKind::Float ? valueNumber(index) : 0.5;
        const bool whole = std::trunc(number) == number && std::fabs(number) < 9e15;
        const QString indexText = whole ? QString::number(qint64(number)) : valueText(index);
        const QString var = QStringLiteral("Arr_") + p1.trimmed() + u'_' + indexText;
        if (set) {
            globalVariables().set(var, evaluate(p3, ctx));
            return {};
        }
        return globalVariables().value(var);
    }
    if (const qsizetype dot = name.indexOf(u'.'); dot > 0) {
        if (TBwView* view = m_report.findObject(name.left(dot))) {
            auto arg = [&](const QString& p) {
                return p.isEmpty() ? QVariant() : evaluate(p, ctx);
            };
            return view->callMethod(name.mid(dot + 1), arg(p1), arg(p2), arg(p3));
        }
    }
    handled = false;
    return {};
}

void TBwExpressions::assign(const QString& name, const QVariant& value, TBwExpressionContext& ctx) {
    TBwVariables& globals = globalVariables();
    if (globals.contains(name)) {
        globals.set(name, value);
        return;
    }
    TBwVariables& variables = m_report.dictionary().Variables;
    if (variables.contains(name)) {
        // A dictionary variable holds an expression.
        variables.set(name, valueKind(value) == TBwValueKind::Text
                                ? QVariant(quoted(value.toString()))
                                : value);
        return;
    }
    const QString upper = name.toUpper();
    if (upper == u"MODALRESULT") {
        ctx.modalResult = value;
        return;
    }
    if (upper == u"CURY") {
        ctx.curY = static_cast<int>(clampedInteger(
            valueNumber(value), std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
        ctx.curYSet = true;
        return;
    }
    if (upper == u"PROGRESS") {
        if (ctx.progress) ctx.progress(valueText(value));
        return;
    }
    if (const qsizetype dot = name.indexOf(u'.'); dot > 0) {
        const QString objectName = name.left(dot).trimmed();
        TBwObject* object = m_report.findObject(objectName);
        if (!object && objectName.startsWith(u"PAGE", Qt::CaseInsensitive)) {
            bool ok = false;
            const int n = objectName.mid(4).toInt(&ok);
            if (ok && n >= 1 && n <= m_report.pages().count())
                object = m_report.pages().item(n - 1);
        }
        if (object) {
            object->setProperty(name.mid(dot + 1).trimmed(), value);
            return;
        }
    }
    globals.set(name, value);
}

void TBwExpressions::runScript(const QStringList& lines, TBwExpressionContext& ctx) {
    TBwContextScope scope(*this, ctx, QString());
    const TBwScript script = TBwInterpretator::compile(lines);
    TBwInterpretator::run(script, *this, ctx);
}

}  // namespace bwreport
