#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Thrown by the strict converters on malformed input; what() is "La falla!".
class ConversionError : public std::runtime_error {
public:
    ConversionError() : std::runtime_error("La falla!") {}
};

// Strict UTF-8 <-> UTF-16 (no overlong forms, no surrogates in UTF-8, no lone
// surrogates in UTF-16, nothing above U+10FFFF). The result ends at the first zero.
std::u16string Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::u16string& text);
bool IsValidUtf8(const std::string& text);
// Strict UTF-8 <-> UTF-32 for std::wstring (wchar_t is 32 bits here): the same
// rules, and a wide value that is a surrogate or above U+10FFFF is refused.
std::wstring Utf8ToWString(const std::string& text);
std::string WStringToUtf8(const std::wstring& text);
// UTF-16LE bytes of a UTF-8 text (throws ConversionError like Utf8ToWide).
std::string Utf8ToUtf16LeBytes(const std::string& text);

// Keeps letters, digits and ' ( ) * - _ . ; every other byte becomes "%" and two
// lower-case hexadecimal digits.
std::string UrlEncode(const std::string& bytes);
std::string ReplaceAll(const std::string& text, const std::string& search, const std::string& replacement);
std::vector<std::string> SplitString(const std::string& text, char delimiter);
std::string GetUrlFileName(const std::string& text);    // after the last "/"
std::string GetDirectoryPart(const std::string& path);  // up to and including the last "/" or "\"
std::string NumberToString(uint32_t number);
// Without the leading and trailing bytes found in `blanks` (callers differ in
// what counts as blank; a string_view may hold "\0").
std::string Trim(const std::string& text, std::string_view blanks);
std::string LowerAscii(std::string text);        // A-Z only, no locale
double StringToDouble(const std::string& text);  // C locale; 0.0 when no number

// atoi as the Windows runtime reads it: leading blanks, optional sign, digits up
// to the first other character, saturating at the 32-bit limits; 0 without digits.
int32_t AtoiSaturating(const std::string& text);
