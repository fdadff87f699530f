// The framework's variant: what field values, key values and parameters are
// exchanged as outside the engine. Date-times are days since 30.12.1899 with
// the time of day as the fraction.
#pragma once

#include <cstdint>
#include <string>

namespace sqlmem {

class Variant {
public:
    enum class Type { Null, Boolean, Integer, Float, DateTime, String };

    Variant() = default;
    Variant(bool v) : m_type(Type::Boolean), m_int(v) {}
    Variant(int v) : m_type(Type::Integer), m_int(v) {}
    Variant(std::int64_t v) : m_type(Type::Integer), m_int(v) {}
    Variant(double v) : m_type(Type::Float), m_float(v) {}
    Variant(const char* v) : m_type(Type::String), m_string(v) {}
    Variant(std::string v) : m_type(Type::String), m_string(std::move(v)) {}
    static Variant dateTime(double v) {
        Variant r(v);
        r.m_type = Type::DateTime;
        return r;
    }

    Type type() const { return m_type; }
    bool isNull() const { return m_type == Type::Null; }

    // Conversions; text to number follows the fixed Russian profile.
    // Throw EDatabaseError when the value cannot be converted.
    bool toBool() const;
    std::int64_t toInt() const;
    double toFloat() const;
    std::string toString() const&;
    // A text value gives its string away instead of copying it.
    std::string toString() &&;

    friend bool operator==(const Variant& a, const Variant& b);

private:
    Type m_type = Type::Null;
    std::int64_t m_int = 0;
    double m_float = 0;
    std::string m_string;
};

}  // namespace sqlmem
