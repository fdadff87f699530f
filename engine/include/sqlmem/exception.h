// Errors raised by the engine and by the dataset framework.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace sqlmem {

// One argument of a formatted message: "%d" takes a number, "%s" text.
using FormatArg = std::variant<std::int64_t, std::string>;

// Formats like the classic "%s"/"%d" printf subset (flags, width, precision
// accepted). Returns false when the arguments do not fit the format: too few,
// or a number given for "%s" or text for "%d".
bool formatMessage(const std::string& format, const std::vector<FormatArg>& args, std::string& out);

// An engine failure. The message always ends in " - Native error: " and the
// code; which of the two code layouts it uses tells how it was built.
class ESQLMemException : public std::runtime_error {
public:
    // Plain message: the code is zero-padded to five digits ("00123").
    ESQLMemException(int nativeError, const std::string& message);
    // Formatted message: the code is right-aligned in five characters ("  123").
    ESQLMemException(int nativeError, const std::string& format, std::vector<FormatArg> args);

    int nativeError() const noexcept { return m_nativeError; }

private:
    int m_nativeError;
};

// The dataset framework's own error: about a dataset's state, with no code.
// The message names the component when it has a name ("Tests: Dataset ...").
class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message, const std::string& componentName = {});
    const std::string& rawMessage() const noexcept { return m_raw; }

private:
    std::string m_raw;
};

}  // namespace sqlmem
