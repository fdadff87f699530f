#include "sqlmem/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sqlmem/exception.h"
#include "values/date_time.h"

namespace sqlmem {
namespace {

[[noreturn]] void cannotConvert(const std::string& text, const char* to) {
    throw EDatabaseError("Could not convert variant '" + text + "' to type (" + to + ")");
}

// Decimal text with either separator, as the fixed profile allows.
bool parseFloat(const std::string& text, double& out) {
    std::string s = text;
    for (char& c : s)
        if (c == ',') c = '.';
    const char* begin = s.c_str();
    while (*begin == ' ')
        ++begin;
    if (!*begin) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(begin, &end);
    while (*end == ' ')
        ++end;
    return *end == 0 && errno == 0;
}

}  // namespace

bool Variant::toBool() const {
    switch (m_type) {
        case Type::Null:
            return false;
        case Type::Boolean:
        case Type::Integer:
            return m_int != 0;
        case Type::Float:
        case Type::DateTime:
            return m_float != 0;
        case Type::String:
            if (m_string == "True" || m_string == "TRUE" || m_string == "true") return true;
            if (m_string == "False" || m_string == "FALSE" || m_string == "false") return false;
            return toInt() != 0;
    }
    return false;
}

std::int64_t Variant::toInt() const {
    switch (m_type) {
        case Type::Null:
            return 0;
        case Type::Boolean:
        case Type::Integer:
            return m_int;
        case Type::Float:
        case Type::DateTime:
            if (!(std::fabs(m_float) < 9.2e18)) cannotConvert(toString(), "Int64");
            return std::llround(m_float);
        case Type::String: {
            const char* begin = m_string.c_str();
            while (*begin == ' ')
                ++begin;
            char* end = nullptr;
            errno = 0;
            const long long v = std::strtoll(begin, &end, 10);
            if (end == begin || *end != 0 || errno) cannotConvert(m_string, "Int64");
            return v;
        }
    }
    return 0;
}

double Variant::toFloat() const {
    switch (m_type) {
        case Type::Null:
            return 0;
        case Type::Boolean:
        case Type::Integer:
            return static_cast<double>(m_int);
        case Type::Float:
        case Type::DateTime:
            return m_float;
        case Type::String: {
            double v;
            if (parseFloat(m_string, v)) return v;
            if (parseDateTime(m_string, v)) return v;
            cannotConvert(m_string, "Double");
        }
    }
    return 0;
}

std::string Variant::toString() && {
    if (m_type == Type::String) return std::move(m_string);
    return static_cast<const Variant&>(*this).toString();
}

std::string Variant::toString() const& {
    switch (m_type) {
        case Type::Null:
            return {};
        case Type::Boolean:
            return m_int ? "True" : "False";
        case Type::Integer:
            return std::to_string(m_int);
        case Type::Float: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.15g", m_float);
            std::string s = buf;
            for (char& c : s)
                if (c == '.') c = ',';
            return s;
        }
        case Type::DateTime:
            return formatDateTime(m_float);
        case Type::String:
            return m_string;
    }
    return {};
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.m_type != b.m_type) return false;
    switch (a.m_type) {
        case Variant::Type::Null:
            return true;
        case Variant::Type::Boolean:
        case Variant::Type::Integer:
            return a.m_int == b.m_int;
        case Variant::Type::Float:
        case Variant::Type::DateTime:
            return a.m_float == b.m_float;
        case Variant::Type::String:
            return a.m_string == b.m_string;
    }
    return false;
}

}  // namespace sqlmem
