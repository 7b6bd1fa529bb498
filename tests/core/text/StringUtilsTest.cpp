#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <string>
#include <vector>

#include "core/text/StringUtils.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool valid;
    std::u16string wide;  // expected when valid
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

std::vector<Utf8Case> Utf8Cases() {
    return {
        {"empty", "", true, u""},
        {"ascii", "Quor 1.0", true, u"Quor 1.0"},
        {"two-byte", Bytes({0xC3, 0xBC}), true, u"\u00FC"},
        {"lowest two-byte", Bytes({0xC2, 0x80}), true, u"\u0080"},
        {"three-byte", Bytes({0xE2, 0x82, 0xAC}), true, u"\u20AC"},
        {"lowest three-byte", Bytes({0xE0, 0xA0, 0x80}), true, u"\u0800"},
        {"last before surrogates", Bytes({0xED, 0x9F, 0xBF}), true, u"\uD7FF"},
        {"first after surrogates", Bytes({0xEE, 0x80, 0x80}), true, u"\uE000"},
        {"four-byte", Bytes({0xF0, 0x9F, 0x98, 0x80}), true, std::u16string{0xD83D, 0xDE00}},
        {"highest code point", Bytes({0xF4, 0x8F, 0xBF, 0xBF}), true, std::u16string{0xDBFF, 0xDFFF}},
        {"embedded zero cuts", std::string("ab\0cd", 5), true, u"ab"},
        {"leading zero gives empty", std::string("\0x", 2), true, u""},
        {"overlong zero", Bytes({0xC0, 0x80}), false, u""},
        {"overlong C1", Bytes({0xC1, 0xBF}), false, u""},
        {"overlong three-byte", Bytes({0xE0, 0x9F, 0xBF}), false, u""},
        {"overlong four-byte", Bytes({0xF0, 0x8F, 0xBF, 0xBF}), false, u""},
        {"high surrogate in UTF-8", Bytes({0xED, 0xA0, 0x80}), false, u""},
        {"low surrogate in UTF-8", Bytes({0xED, 0xBF, 0xBF}), false, u""},
        {"above U+10FFFF", Bytes({0xF4, 0x90, 0x80, 0x80}), false, u""},
        {"F5 lead byte", Bytes({0xF5, 0x80, 0x80, 0x80}), false, u""},
        {"FF byte", Bytes({0xFF}), false, u""},
        {"lone continuation", Bytes({0x80}), false, u""},
        {"truncated three-byte", Bytes({0xE2, 0x82}), false, u""},
        {"truncated four-byte", Bytes({0xF0, 0x9F, 0x98}), false, u""},
        {"lead byte then ASCII", Bytes({0xC3, 0x41}), false, u""},
        {"bad third byte", Bytes({0xE2, 0x82, 0x41}), false, u""},
        {"malformed after embedded zero", std::string("a\0", 2) + Bytes({0xC0, 0x80}), false, u""},
    };
}

TEST(StringUtils, Utf8ToWideTableOfSequences) {
    for (const Utf8Case& c : Utf8Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
        if (c.valid) {
            EXPECT_EQ(Utf8ToWide(c.bytes), c.wide);
        } else {
            try {
                Utf8ToWide(c.bytes);
                ADD_FAILURE() << "no exception";
            } catch (const ConversionError& e) {
                EXPECT_STREQ(e.what(), "La falla!");
            }
            EXPECT_THROW(Utf8ToUtf16LeBytes(c.bytes), ConversionError);
        }
    }
}

TEST(StringUtils, WellFormedTextRoundTrips) {
    for (const Utf8Case& c : Utf8Cases()) {
        if (!c.valid || c.bytes.find('\0') != std::string::npos)
            continue;
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WideToUtf8(Utf8ToWide(c.bytes)), c.bytes);
    }
}

TEST(StringUtils, WideToUtf8RefusesLoneSurrogates) {
    const std::vector<std::u16string> bad = {
        std::u16string{0xDC00},                  // lone low surrogate
        std::u16string{u'a', 0xD800},            // high surrogate at the end
        std::u16string{0xD800, u'a'},            // high surrogate then a letter
        std::u16string{0xD800, 0xD800, 0xDC00},  // two highs
        std::u16string{0xDE00, 0xD83D},          // pair in the wrong order
    };
    for (const std::u16string& text : bad) {
        try {
            WideToUtf8(text);
            ADD_FAILURE() << "no exception for a text of " << text.size() << " units";
        } catch (const ConversionError& e) {
            EXPECT_STREQ(e.what(), "La falla!");
        }
    }
    EXPECT_EQ(WideToUtf8(std::u16string{0xD83D, 0xDE00}), Bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(WideToUtf8(std::u16string{u'x', 0, u'y'}), "x");
}

TEST(StringUtils, Utf16LeBytesAreLittleEndianUnits) {
    EXPECT_EQ(Utf8ToUtf16LeBytes("A" + Bytes({0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80})),
              Bytes({0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(StringUtils, UrlEncodeOverAllByteValues) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string expected;
    for (int b = 0; b < 256; ++b) {
        // The kept set as the byte range 33 to 122 less 21 marks.
        const bool kept = b >= 33 && b <= 122 && std::strchr("\"`@<>%\\^[]+$,:;/!#?=&", b) == nullptr;
        if (kept) {
            expected.push_back(static_cast<char>(b));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02x", b);
            expected += buf;
        }
    }
    EXPECT_EQ(UrlEncode(all), expected);
    // 69 bytes are kept (the 90 bytes 33 to 122 less 21 marks): 62 letters and
    // digits and ' ( ) * - _ . ; the other 187 take three characters each.
    EXPECT_EQ(UrlEncode(all).size(), 69u + 187u * 3u);
    EXPECT_EQ(UrlEncode("a b&c~d"), "a%20b%26c%7ed");
    EXPECT_EQ(UrlEncode("it's(x)*-_.Ok9"), "it's(x)*-_.Ok9");
    EXPECT_EQ(UrlEncode(Bytes({0xC3, 0xBC})), "%c3%bc");
}

TEST(StringUtils, ReplaceAllEdgeCases) {
    struct Case {
        std::string text, search, replacement, expected;
    };
    const std::vector<Case> cases = {
        {"a-b-c", "-", "+", "a+b+c"},
        {"abc", "", "x", "abc"},  // empty search: unchanged
        {"", "a", "b", ""},
        {"aaa", "aa", "b", "ba"},   // left to right, no overlap
        {"aa", "a", "aa", "aaaa"},  // inserted text is not searched again
        {"x%20y%20", "%20", " ", "x y "},
        {"abab", "ab", "", ""},
        {"abc", "abcd", "x", "abc"},
        {"abc", "abc", "xyz", "xyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " / " + c.search);
        EXPECT_EQ(ReplaceAll(c.text, c.search, c.replacement), c.expected);
    }
}

TEST(StringUtils, SplitStringEdgeCases) {
    struct Case {
        std::string text;
        std::vector<std::string> pieces;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a;;b", {"a", "", "b"}},
        {"a;", {"a"}},
        {";", {""}},
        {";a", {"", "a"}},
        {"a;;", {"a", ""}},
        {"http://x/a.exe;http://x/b.exe", {"http://x/a.exe", "http://x/b.exe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitString(c.text, ';'), c.pieces);
    }
}

TEST(StringUtils, PathAndUrlParts) {
    EXPECT_EQ(GetDirectoryPart("C:\\Games\\x.exe"), "C:\\Games\\");
    EXPECT_EQ(GetDirectoryPart("/home/u/Games/x.exe"), "/home/u/Games/");
    EXPECT_EQ(GetDirectoryPart("a/b\\c"), "a/b\\");
    EXPECT_EQ(GetDirectoryPart("a\\b/c"), "a\\b/");
    EXPECT_EQ(GetDirectoryPart("x.exe"), "");
    EXPECT_EQ(GetDirectoryPart(""), "");
    EXPECT_EQ(GetUrlFileName("a/b/m.xml"), "m.xml");
    EXPECT_EQ(GetUrlFileName("m.xml"), "m.xml");
    EXPECT_EQ(GetUrlFileName("http://host/dir/"), "");
}

TEST(StringUtils, TrimTakesOffOnlyTheGivenBlanksAtBothEnds) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        std::string_view blanks;
        std::string trimmed;
    };
    const std::string_view withNul(" \t\0", 3);
    const Case cases[] = {
        {" \t a b \r\n", " \t\r\n", "a b"},
        {" \t a b \r\n", " \t", "a b \r\n"},
        {"\r\n", " \t\r\n", ""},
        {"", " ", ""},
        {"x", " ", "x"},
        {"SN123\0\0 "s, withNul, "SN123"},
        {"\0 SN\0123\0"s, withNul, "SN\0123"s},
        {"SN123\0"s, " \t", "SN123\0"s},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Trim(c.text, c.blanks), c.trimmed) << "\"" << c.text << "\"";
}

TEST(StringUtils, LowerAsciiChangesOnlyAsciiCapitals) {
    EXPECT_EQ(LowerAscii("Content-Length"), "content-length");
    EXPECT_EQ(LowerAscii("GAME_DISC 1@[Z]"), "game_disc 1@[z]");
    EXPECT_EQ(LowerAscii("\xC3\x84pfel"), "\xC3\x84pfel");  // UTF-8 stays as it is
    EXPECT_EQ(LowerAscii(""), "");
}

TEST(StringUtils, NumberToString) {
    EXPECT_EQ(NumberToString(0), "0");
    EXPECT_EQ(NumberToString(31680), "31680");
    EXPECT_EQ(NumberToString(4294967295u), "4294967295");
}

TEST(StringUtils, StringToDoubleReadsTheLeadingDecimalNumber) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"12.5MB", 12.5}, {"12,5", 12.0}, {"  -3.25", -3.25}, {"+7", 7.0},   {".5", 0.5},
        {"1e3x", 1000.0}, {"1e", 1.0},    {"abc", 0.0},       {"", 0.0},     {"-", 0.0},
        {"inf", 0.0},     {"nan", 0.0},   {"0x10", 0.0},      {"MB12", 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StringToDouble(c.text), c.value);
    }
}

// A locale whose decimal point is ",", as German has it.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(StringUtils, StringToDoubleIgnoresAGermanLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    EXPECT_EQ(StringToDouble("12.5MB"), 12.5);
    EXPECT_EQ(StringToDouble("12,5MB"), 12.0);
    std::locale::global(previous);

    // The C library's own locale, where the system has German installed.
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
        ASSERT_EQ(std::strtod("12,5", nullptr), 12.5);  // the locale really is in force
        EXPECT_EQ(StringToDouble("12.5MB"), 12.5);
        EXPECT_EQ(StringToDouble("12,5MB"), 12.0);
        std::setlocale(LC_ALL, "C");
    } else {
        std::fprintf(stderr, "de_DE.UTF-8 is not installed; the C library's locale was not tried\n");
    }
}

TEST(StringUtils, AtoiSaturatingReadsAsTheWindowsRuntimeDoes) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"12abc", 12},
        {"  -5", -5},
        {"+7", 7},
        {"\t\n42", 42},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483648},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"-2147483648", -2147483648},
        {"-2147483649", -2147483648},
        {"000000000000000000000000000012", 12},
        {"99999999999999999999999999999999", 2147483647},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+-3", 0},
        {"- 3", 0},
        {"3 4", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AtoiSaturating(c.text), c.value);
    }
}

}  // namespace

TEST(StringUtils, Utf32WideStringsConvertStrictly) {
    EXPECT_EQ(Utf8ToWString("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE"), L"a\u00e9\u20ac\U0001F3AE");
    EXPECT_EQ(WStringToUtf8(L"a\u00e9\u20ac\U0001F3AE"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE");
    EXPECT_THROW(Utf8ToWString("\xC3\x28"), ConversionError);
    EXPECT_THROW(Utf8ToWString("\xED\xA0\x80"), ConversionError);
    for (uint32_t bad : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0x110000u, 0x7FFFFFFFu}) {
        const std::wstring text(1, static_cast<wchar_t>(bad));
        EXPECT_THROW(WStringToUtf8(text), ConversionError) << bad;
    }
    EXPECT_EQ(WStringToUtf8(std::wstring(1, static_cast<wchar_t>(0x10FFFF))), "\xF4\x8F\xBF\xBF");
}
