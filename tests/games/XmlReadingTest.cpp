#include <gtest/gtest.h>

#include "games/XmlReading.h"

namespace {

TEST(XmlReading, NestingDepthFollowsTheTagRules) {
    struct Case { std::string text; int depth; } cases[] = {
        {"<a><b><c/></b></a>", 2},
        {"<a x='<b>' y=\"</a><c>\"><b/></a>", 1},
        {"<a><!-- <b><c><d> --><![CDATA[<e><f>]]><?pi <g>?><!DOCTYPE <h>></a>", 1},
        {"<a>text < and > <b>", 2},
        {"<a><b></b><b></b></a>", 2},
        {"</a></a><a>", 1},
        {"", 0},
        {"<unclosed attr='", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlread::NestingDepth(c.text), c.depth) << c.text;
}

TEST(XmlReading, ValidUtf8KeepsGoodSequencesAndReadsOtherBytesAsLatin1) {
    struct Case { std::string in, out; } cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"caf\xE9", "caf\xC3\xA9"},
        {"\xC3\xA9\xFF", "\xC3\xA9\xC3\xBF"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},          // overlong
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // a surrogate
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"\xE2\x82", "\xC3\xA2\xC2\x82"},          // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlread::ValidUtf8(c.in), c.out);
    EXPECT_EQ(xmlread::ValidUtf8(static_cast<const char*>(nullptr)), "");
}

}  // namespace
