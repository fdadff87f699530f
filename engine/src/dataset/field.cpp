#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sqlmem/dataset.h"
#include "sqlmem/exception.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

using F = TFieldType;

bool isIntegerType(F t) {
    return t == F::ftSmallint || t == F::ftInteger || t == F::ftLargeint || t == F::ftWord ||
           t == F::ftAutoInc;
}
bool isFloatType(F t) {
    return t == F::ftFloat || t == F::ftCurrency;
}
bool isDateType(F t) {
    return t == F::ftDate || t == F::ftTime || t == F::ftDateTime || t == F::ftTimeStamp;
}

// The framework's integer text: optional blanks and sign, decimal digits.
bool parseInteger(const std::string& text, std::int64_t& out) {
    const char* begin = text.c_str();
    while (*begin == ' ')
        ++begin;
    if (!*begin) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (*end != 0 || errno || end == begin) return false;
    out = v;
    return true;
}

}  // namespace

TField::TField(std::string fieldName, TFieldType type, int size, bool required)
    : FieldName(std::move(fieldName)), m_type(type), m_size(size), m_required(required) {}

void TField::rangeError(const std::string& shown, double lo, double hi) const {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "%s is not a valid value for field '%s'. The allowed range is %.15g to %.15g",
                  shown.c_str(), displayName().c_str(), lo, hi);
    throw EDatabaseError(buf);
}

Variant TField::coerce(const Variant& v) const {
    if (v.isNull()) return v;
    const bool fromText = v.type() == Variant::Type::String;
    if (isIntegerType(m_type)) {
        std::int64_t n;
        if (fromText) {
            if (v.toString().empty()) return {};
            if (!parseInteger(v.toString(), n))
                throw EDatabaseError("'" + v.toString() +
                                     "' is not a valid integer value for field '" + displayName() +
                                     "'");
        } else {
            n = v.toInt();
        }
        double lo = static_cast<double>(INT64_MIN), hi = static_cast<double>(INT64_MAX);
        if (m_type == F::ftSmallint) lo = -32768, hi = 32767;
        if (m_type == F::ftWord) lo = 0, hi = 65535;
        if (m_type == F::ftInteger || m_type == F::ftAutoInc) lo = INT32_MIN, hi = INT32_MAX;
        if (static_cast<double>(n) < lo || static_cast<double>(n) > hi)
            rangeError(std::to_string(n), lo, hi);
        return Variant(n);
    }
    if (isFloatType(m_type)) {
        if (fromText && v.toString().empty()) return {};
        double x = std::nan("");
        try {
            x = v.toFloat();
        } catch (const EDatabaseError&) {
            // text that is no number: refused below, as NaN is
        }
        // NaN is no value: it has no place in any order, an index's least of all.
        if (std::isnan(x))
            throw EDatabaseError("'" + v.toString() +
                                 "' is not a valid floating point value for field '" +
                                 displayName() + "'");
        return Variant(x);
    }
    if (m_type == F::ftBoolean) {
        if (fromText && v.toString().empty()) return {};
        return Variant(v.toBool());
    }
    if (isDateType(m_type)) {
        if (!fromText) return Variant::dateTime(v.toFloat());
        const std::string text = v.toString();
        if (text.empty()) return {};
        if (m_type == F::ftDate) {
            std::int32_t d;
            if (!parseDate(text, d)) throw EDatabaseError("'" + text + "' is not a valid date");
            return Variant::dateTime(dateNumberToDateTime(d));
        }
        if (m_type == F::ftTime) {
            std::int32_t t;
            if (!parseTime(text, t)) throw EDatabaseError("'" + text + "' is not a valid time");
            return Variant::dateTime(timeNumberToDateTime(t));
        }
        double x;
        if (!parseDateTime(text, x))
            throw EDatabaseError("'" + text + "' is not a valid date and time");
        return Variant::dateTime(x);
    }
    // Text, bytes and memo kinds hold text; an empty text is null.
    std::string text = v.toString();
    if (text.empty()) return {};
    return Variant(std::move(text));
}

bool TField::isNull() const {
    return value().isNull();
}

Variant TField::value() const {
    if (!m_dataSet) throw EDatabaseError("Field '" + FieldName + "' has no dataset");
    return m_dataSet->fieldValue(*this);
}

std::string TField::asString() const {
    Variant v = value();
    if (v.isNull()) return {};
    switch (m_type) {
        case F::ftDate:
            return formatDate(dateTimeToDateNumber(v.toFloat()));
        case F::ftTime:
            return formatTime(dateTimeToTimeNumber(v.toFloat()));
        default:
            return std::move(v).toString();
    }
}

std::int32_t TField::asInteger() const {
    const std::int64_t n = asLargeInt();
    if (n < INT32_MIN || n > INT32_MAX) rangeError(std::to_string(n), INT32_MIN, INT32_MAX);
    return static_cast<std::int32_t>(n);
}

std::int64_t TField::asLargeInt() const {
    const Variant v = value();
    if (v.type() == Variant::Type::String) {
        std::int64_t n;
        if (!parseInteger(v.toString(), n))
            throw EDatabaseError("'" + v.toString() + "' is not a valid integer value for field '" +
                                 displayName() + "'");
        return n;
    }
    return v.toInt();
}

double TField::asFloat() const {
    return value().toFloat();
}
bool TField::asBoolean() const {
    return value().toBool();
}
double TField::asDateTime() const {
    return value().toFloat();
}

void TField::clear() {
    setValue(Variant());
}
void TField::setValue(const Variant& v) {
    m_dataSet->setFieldValue(*this, coerce(v));
}
void TField::setAsString(const std::string& text) {
    setValue(Variant(text));
}
void TField::setAsInteger(std::int64_t v) {
    setValue(Variant(v));
}
void TField::setAsFloat(double v) {
    setValue(Variant(v));
}
void TField::setAsBoolean(bool v) {
    setValue(Variant(v));
}
void TField::setAsDateTime(double v) {
    setValue(Variant::dateTime(v));
}

}  // namespace sqlmem
