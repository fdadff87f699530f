// Byte strings as text, for TOBLOB and HEX: hexadecimal, base 64, UU and XX.
// Each encoding is one stateless object, registered under a fixed number (the
// number TOBLOB names in its errors) and a fixed name:
//
//   0 sfHEX     "Hexadecimal"             two upper-case digits per byte
//   1 sfHEXL    "Hexadecimal lowercase"   two lower-case digits per byte
//   2 sfMIME64  "MIME Base 64"            RFC 4648 standard alphabet, "=" padded
//   3 sfUU      "UU Coding"               uuencode body lines
//   4 sfXX      "XX Coding"               xxencode body lines
//
// Decoding is strict: anything the encoder would not have written, apart
// from the leniencies below, is refused rather than guessed at.
// - Hexadecimal: either case of digit in both formats; an even count.
// - Base 64: written on one line; CR and LF are skipped when read, so
//   MIME-wrapped text decodes. Padding is required and the unused bits of
//   the last group must be zero (one text per byte string).
// - UU and XX: the classic line form without "begin"/"end" lines: each line
//   starts with a length character for up to 45 bytes, then four characters
//   per three bytes; lines are joined by LF (no LF after the last). Reading
//   accepts CRLF, a final LF, a final zero-length line, and for UU a blank as
//   well as "`" for the value 0.
#pragma once

#include <string>
#include <string_view>

namespace sqlmem {

enum TStringFormatNumber : int { sfHEX, sfHEXL, sfMIME64, sfUU, sfXX, sfCount };

constexpr int kErrStringFormatInput = 11348;    // "Input is not an valid %s Format."
constexpr int kErrStringFormatUnknown = 11349;  // "String Format \"%d\" not exists."

class TStringFormat {
public:
    TStringFormat(const TStringFormat&) = delete;
    TStringFormat& operator=(const TStringFormat&) = delete;
    virtual ~TStringFormat() = default;

    // The registered format of that number; kErrStringFormatUnknown otherwise.
    static const TStringFormat& byNumber(int number);
    // The registered format of that name (exact spelling), or nullptr.
    static const TStringFormat* byName(std::string_view name);

    int number() const { return m_number; }
    const char* name() const { return m_name; }

    virtual std::string encode(std::string_view bytes) const = 0;
    // Throws kErrStringFormatInput when `text` is not in this format.
    virtual std::string decode(std::string_view text) const = 0;

protected:
    TStringFormat(int number, const char* name) : m_number(number), m_name(name) {}
    [[noreturn]] void invalidInput() const;

private:
    int m_number;
    const char* m_name;
};

class TStringFormat_HEX : public TStringFormat {
public:
    TStringFormat_HEX() : TStringFormat(sfHEX, "Hexadecimal") {}
    std::string encode(std::string_view bytes) const override;
    std::string decode(std::string_view text) const override;

protected:
    TStringFormat_HEX(int number, const char* name) : TStringFormat(number, name) {}
    std::string encodeWith(std::string_view bytes, const char* digits) const;
};

class TStringFormat_HEXL : public TStringFormat_HEX {
public:
    TStringFormat_HEXL() : TStringFormat_HEX(sfHEXL, "Hexadecimal lowercase") {}
    std::string encode(std::string_view bytes) const override;
};

class TStringFormat_MIME64 : public TStringFormat {
public:
    TStringFormat_MIME64() : TStringFormat(sfMIME64, "MIME Base 64") {}
    std::string encode(std::string_view bytes) const override;
    std::string decode(std::string_view text) const override;
};

// UU and XX share the line form and differ in the 64 characters they use.
class TStringFormat_UU : public TStringFormat {
public:
    TStringFormat_UU() : TStringFormat(sfUU, "UU Coding") {}
    std::string encode(std::string_view bytes) const override;
    std::string decode(std::string_view text) const override;

protected:
    TStringFormat_UU(int number, const char* name) : TStringFormat(number, name) {}
    // The character of a six-bit value, and the value of a character or -1.
    virtual char digit(int value) const;
    virtual int value(char c) const;
};

class TStringFormat_XX : public TStringFormat_UU {
public:
    TStringFormat_XX() : TStringFormat_UU(sfXX, "XX Coding") {}

protected:
    char digit(int value) const override;
    int value(char c) const override;
};

}  // namespace sqlmem
