// The engine's value: a type, a null state and a byte image in exactly the
// form a record buffer stores (field_types.h), so values and fields move by
// plain byte copies. Every value inside the engine is one: field values,
// constants, parameters, expression results, keys and accumulators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sqlmem/variant.h"
#include "values/data_types.h"
// compareStoredImages: the index key order of record-buffer images, the
// order Compare gives for two values of the image's type.
#include "values/stored_compare.h"

namespace sqlmem {

// --- type classes (base types) ----------------------------------------------

inline bool isTextType(int b) {  // 1..4, memo, wide memo
    return isStringBaseType(b) || b == bftClob || b == bftWideClob;
}
inline bool isPlainStringType(int b) {
    return isStringBaseType(b);
}
inline bool isVariableStringType(int b) {
    return b == bftVarchar || b == bftWideVarchar;
}
inline bool isWideType(int b) {
    return b == bftWideChar || b == bftWideVarchar || b == bftWideClob;
}
inline bool isNumericType(int b) {
    return (b >= bftShortInt && b <= bftExtended) || b == bftCurrency;
}
inline bool isIntegerType(int b) {
    return b >= bftShortInt && b <= bftCardinal;
}
inline bool isDateTimeType(int b) {
    return b >= bftDate && b <= bftDateTime;
}
inline bool isBlobType(int b) {
    return isBlobBaseType(b);
}

// --- type classes (declared types) ------------------------------------------

inline bool isWideAdvancedType(int a) {
    return a == aftWideChar || a == aftWideVarchar || a == aftWideMemo;
}
inline bool isPlainStringAdvancedType(int a) {
    return a >= aftChar && a <= aftWideVarchar;
}
inline bool isByteStringAdvancedType(int a) {
    return a == aftBytes || a == aftVarBytes;
}
inline bool isBlobAdvancedType(int a) {
    return a >= aftBlob && a <= aftWideMemo;
}
inline bool isCastableAdvancedType(int a) {
    return a >= aftChar && a <= aftTimeStamp;
}

// First SQL type name of a base type ("SIGNEDINT32"); "Unknown" for none.
const char* baseTypeSqlName(int baseType);

// Bytes of a fixed-width base type's image; 0 for text, BLOB and byte types.
std::int32_t fixedImageSize(int baseType);

// The type two operands are brought to (row = left, column = right); the
// table is deliberately not symmetric. 0 when they cannot meet.
std::uint8_t commonBaseType(int left, int right);
// The same for declared types: a's type when the common base type is a's,
// else b's when it is b's, else the first declared type of that base type.
std::uint8_t commonAdvancedType(int left, int right);

// Decimal text with '.' as the separator whatever the locale (SQL text and
// stored defaults), an optional sign and exponent, blanks around. A number
// too small for the width is 0, as float arithmetic has it; one too large,
// or text that is no number, answers false.
bool parseFloatText(std::string_view text, float& v);
bool parseFloatText(std::string_view text, double& v);
bool parseFloatText(std::string_view text, long double& v);

// Codes of Compare.
enum TSQLMemCompareCode : int {
    ccEqual = 0,
    ccLess = 1,
    ccGreater = 2,
    ccLeftNull = 3,
    ccRightNull = 4,
    ccBothNull = 5,
};
// -1, 0, 1 of a comparison code: nulls first, two nulls equal.
int compareCodeToThreeWay(int code);

// Date and time numbers of a date-time (base 17) image.
struct TSQLMemDateTimeNumbers {
    std::int32_t Date;
    std::int32_t Time;  // -1: the date alone
};

class TSQLMemVariant {
public:
    // A null value of the type (0: no type yet).
    explicit TSQLMemVariant(std::uint8_t type = bftUnknown) : m_type(type) {}
    TSQLMemVariant(const TSQLMemVariant& other);  // deep
    TSQLMemVariant& operator=(const TSQLMemVariant& other);
    TSQLMemVariant(TSQLMemVariant&& other) noexcept;
    TSQLMemVariant& operator=(TSQLMemVariant&& other) noexcept;
    ~TSQLMemVariant();

    // Stream form: type byte, null flag byte (255 null, 0 value), then for a
    // value its size as int32 LE and the image. Loading clears first, never
    // reads at or past `limit`, and returns the position after the value;
    // a short or inconsistent stream raises "Cannot read from stream..."
    // (10179 type, 10180 null flag, 10181 size, 10182 image).
    const std::uint8_t* LoadFromStream(const std::uint8_t* p, const std::uint8_t* limit);
    void SaveToStream(std::vector<std::uint8_t>& out) const;
    // Clears, then takes type, size and null state; a value's image is
    // copied (deep) or shared and marked borrowed (shallow).
    void Assign(const TSQLMemVariant& source, bool deep = true);

    std::uint8_t Type() const { return m_type; }
    std::int32_t Size() const { return m_size; }
    const std::uint8_t* Data() const { return m_data; }
    bool Borrowed() const { return m_borrowed; }
    std::uint8_t NullFlag() const { return m_nullFlag; }

    // Frees an owned image; a null of `type`.
    void Clear(std::uint8_t type = bftUnknown);
    // Null keeping type and image.
    void SetNull() { m_nullFlag = 255; }
    bool IsNull() const { return m_nullFlag != 0 || m_data == nullptr; }

    // Takes an image of `type` as stored in a record (fixed types exactly
    // their width): copied, or borrowed when `copy` is false. Length 0 is null.
    void SetData(const void* bytes, std::int32_t length, bool copy, std::uint8_t type);
    // Adopts a memAlloc'd image of the current type without copying.
    void SetRawBytes(void* bytes, std::int32_t length);
    // Copies the image out; false for a null value. capacity -1 is unchecked;
    // a smaller capacity than the size raises "Buffer size exceeded" (20056).
    bool GetData(void* buffer, std::int32_t capacity) const;

    // Converts to `type`; a null just takes the type. SetType turns a value
    // that does not convert into a null of `type`, ConvertTo raises.
    void SetType(std::uint8_t type);
    void ConvertTo(std::uint8_t type);

    // Characters of a plain string value; -1 for null or another type.
    std::int32_t StringLength() const;

    // Typed setting: a value with a type keeps it (the argument is converted
    // to it); a value without a type takes the argument's. An empty string
    // makes any value null.
    void SetString(const std::string& text) { SetString(text.data(), text.size()); }
    void SetString(const char* text, std::size_t length);
    void SetWideString(const std::u16string& text);
    void SetShortInt(std::int8_t v);
    void SetSmallInt(std::int16_t v);
    void SetInteger(std::int32_t v);
    void SetLargeInt(std::int64_t v);
    void SetByte(std::uint8_t v);
    void SetWord(std::uint16_t v);
    void SetCardinal(std::uint32_t v);
    void SetSingle(float v);
    void SetDouble(double v);
    void SetExtended(long double v);
    void SetDate(std::int32_t dateNumber);
    void SetTime(std::int32_t timeNumber);
    void SetDateTime(std::int32_t dateNumber, std::int32_t timeNumber);
    void SetBoolean(bool v);
    void SetCurrency(double amount);
    // From the floating date-time (days since 30.12.1899, time as fraction).
    void SetDateFromFloat(double dateTime);
    void SetTimeFromFloat(double dateTime);
    void SetDateTimeFromFloat(double dateTime);

    // Typed reading, converting from another type; a null raises "Value is
    // Null" (30016).
    std::string GetString() const;
    std::u16string GetWideString() const;
    std::int8_t GetShortInt() const;
    std::int16_t GetSmallInt() const;
    std::int32_t GetInteger() const;
    std::int64_t GetLargeInt() const;
    std::uint8_t GetByte() const;
    std::uint16_t GetWord() const;
    std::uint32_t GetCardinal() const;
    float GetSingle() const;
    double GetDouble() const;
    long double GetExtended() const;
    std::int32_t GetDate() const;
    std::int32_t GetTime() const;
    TSQLMemDateTimeNumbers GetDateTime() const;
    bool GetBoolean() const;
    double GetCurrency() const;
    double GetDateAsFloat() const;
    double GetTimeAsFloat() const;
    double GetDateTimeAsFloat() const;

    // Exchange with the framework's variant. A framework null leaves a null
    // of this value's type; other kinds set through the typed setters.
    void FromVariant(const Variant& v);
    Variant ToVariant() const;

    // A TSQLMemCompareCode. Types differing are brought to their common type
    // ("Cannot compare Incompatible DataTypes", 30044); `partial` compares
    // texts over the shorter one's length. Without nullAware the null codes
    // fold into less, greater and equal.
    int Compare(const TSQLMemVariant& other, bool nullAware, bool partial = false,
                bool ignoreCase = false) const;
    // -1, 0, 1 for sorting and keys.
    int CompareThreeWay(const TSQLMemVariant& other, bool partial = false,
                        bool ignoreCase = false) const {
        return compareCodeToThreeWay(Compare(other, true, partial, ignoreCase));
    }

    // Arithmetic in place, the right operand as argument. A null right
    // operand gives a null of this value's type; a null left stays null
    // (Add alone takes a copy of the right then). Checked integer widths
    // (8 and 16 bits) throw std::overflow_error / std::range_error.
    void Negate();
    void Add(const TSQLMemVariant& right);
    void Multiply(const TSQLMemVariant& right);
    void Divide(const TSQLMemVariant& right);
    void Abs();
    void Ceil();
    void Floor();
    void Mod(const TSQLMemVariant& right);
    void Power(const TSQLMemVariant& right);
    // Without a range (or a null one): [0, 1) as Extended; else [0, range)
    // as Integer (0 for a range below 1).
    void Random(const TSQLMemVariant* range = nullptr);
    // Without digits: halves to even, as LargeInt; with digits: Extended.
    void Round(const TSQLMemVariant* digits = nullptr);
    void Trunc(const TSQLMemVariant* digits = nullptr);
    void Sign();
    void BitNot();
    void BitAnd(const TSQLMemVariant& right);
    void BitOr(const TSQLMemVariant& right);
    void BitXor(const TSQLMemVariant& right);
    // Counts outside the width shift everything out; right shifts are logical.
    void ShiftLeft(const TSQLMemVariant& right);
    void ShiftRight(const TSQLMemVariant& right);
    // Hex digits of a plain string's bytes or an integer (width digits);
    // mode 1 prefixes "$", mode 2 "0x" in lower case. The result is a Char.
    void ToHex(int mode = 0);

private:
    void freeImage();
    // Replaces the image with an owned copy of `size` bytes (may alias it).
    void storeOwned(std::uint8_t type, const std::uint8_t* image, std::int32_t size);
    // The typed-setting rule for an image of `type`.
    void setTyped(std::uint8_t type, const void* image, std::int32_t size);
    // Reads a fixed-width image of `type` into `out`, converting when needed.
    void readFixed(std::uint8_t type, void* out) const;
    template <class T>
    T fixedAs(std::uint8_t type) const {
        T v;
        readFixed(type, &v);
        return v;
    }
    void storeLargeInt(std::int64_t v);
    void storeExtended(long double v);
    // Add, Multiply, Divide: `op` names which, errorCode and opText its error.
    void arithmetic(const TSQLMemVariant& right, int op, int errorCode, const char* opText);
    template <class Op>
    void bitwise(const TSQLMemVariant& right, int errorCode, Op op);
    void shift(const TSQLMemVariant& right, int errorCode, bool left);

    std::uint8_t m_type = bftUnknown;
    std::int32_t m_size = 0;
    std::uint8_t* m_data = nullptr;
    bool m_borrowed = false;
    std::uint8_t m_nullFlag = 255;
    std::int32_t m_capacity = 0;  // bytes of an owned image's block
};

}  // namespace sqlmem
