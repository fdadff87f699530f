#include "sqlmem/exception.h"

#include <cctype>
#include <cstdio>

namespace sqlmem {

bool formatMessage(const std::string& format, const std::vector<FormatArg>& args,
                   std::string& out) {
    out.clear();
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // %[-][width][.precision](d|s)
        size_t j = i + 1;
        std::string directive = "%";
        if (j < format.size() && format[j] == '-') directive += format[j++];
        while (j < format.size() &&
               (isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.'))
            directive += format[j++];
        if (j >= format.size()) return false;
        char conv = format[j];
        if (next >= args.size()) return false;
        const FormatArg& arg = args[next++];
        char buf[64];
        if (conv == 'd' || conv == 'u') {
            auto* n = std::get_if<std::int64_t>(&arg);
            if (!n) return false;
            directive += "lld";
            std::snprintf(buf, sizeof buf, directive.c_str(), static_cast<long long>(*n));
            out += buf;
        } else if (conv == 's') {
            auto* s = std::get_if<std::string>(&arg);
            if (!s) return false;
            if (directive == "%") {
                out += *s;
            } else {
                directive += 's';
                std::vector<char> wide(s->size() + 64);
                std::snprintf(wide.data(), wide.size(), directive.c_str(), s->c_str());
                out += wide.data();
            }
        } else {
            return false;
        }
        i = j;
    }
    return true;
}

namespace {

std::string plainText(int code, const std::string& message) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.5d", code);
    return message + " - Native error: " + buf;
}

std::string formattedText(int code, const std::string& format, const std::vector<FormatArg>& args) {
    std::string text;
    if (!formatMessage(format, args, text)) text = format + " Arguments are invalid!";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5d", code);
    return text + " - Native error: " + buf;
}

std::string withComponent(const std::string& message, const std::string& component) {
    return component.empty() ? message : component + ": " + message;
}

}  // namespace

ESQLMemException::ESQLMemException(int nativeError, const std::string& message)
    : std::runtime_error(plainText(nativeError, message)), m_nativeError(nativeError) {}

ESQLMemException::ESQLMemException(int nativeError, const std::string& format,
                                   std::vector<FormatArg> args)
    : std::runtime_error(formattedText(nativeError, format, args)), m_nativeError(nativeError) {}

EDatabaseError::EDatabaseError(const std::string& message, const std::string& componentName)
    : std::runtime_error(withComponent(message, componentName)), m_raw(message) {}

}  // namespace sqlmem
