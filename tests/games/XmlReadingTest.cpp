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

// ---- Reading a root's children one at a time gives what the whole parse gives ----

#include <tinyxml.h>

namespace {

std::string Dump(const TiXmlNode& node) {
    std::string out = std::to_string(node.Type()) + ":" + node.ValueStr();
    if (const TiXmlElement* element = node.ToElement())
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
            out += " " + a->NameTStr() + "=" + a->ValueStr();
    out += "{";
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling())
        out += Dump(*child);
    return out + "}";
}

class DumpingReader final : public xmlread::ChildElementReader {
public:
    void Restart() override {
        dumps.clear();
        ++restarts;
    }
    void Visit(const TiXmlElement& element) override { dumps.push_back(Dump(element)); }
    std::vector<std::string> dumps;
    int restarts = 0;
};

// The whole-document reading, as TinyXML alone gives it.
bool Reference(const std::string& text, std::vector<std::string>& dumps) {
    TiXmlDocument document;
    if (!xmlread::ParseDocument(text, document))
        return false;
    const TiXmlElement* root = document.FirstChildElement("manifest");
    if (!root)
        return false;
    for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement())
        dumps.push_back(Dump(*child));
    return true;
}

TEST(XmlReading, ChildByChildAgreesWithTheWholeParse) {
    const std::string children = "<autoupdate version=\"1\"/>\n  <download name=\"a &amp; b\" x='>'>"
                                 "<location k=\"1\"/><!-- <download name='no'/> --><keys><k>v</k></keys>"
                                 "<![CDATA[<raw>]]></download>\n<download name=\"&#233;\xC3\xA9\"/>";
    const std::string cases[] = {
        "<manifest>" + children + "</manifest>",
        "\xEF\xBB\xBF<manifest>" + children + "</manifest>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><manifest a=\"1\">" + children + "</manifest >\n<!-- end -->\n",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><manifest>" + children + "</manifest>",
        "<?xml version=\"1.0\"?><manifest>" + children + "</manifest>",
        "<?xml version=\"1.0\" encoding=\"utf8\"?><manifest><!-- a --> <!-- b -->" + children + "</manifest>",
        "<manifest>text between<download name=\"t\"/></manifest>",  // not plain: whole parse
        "<manifest><download name=\"a\"/></manifest><manifest><download name=\"b\"/></manifest>",
        "<other/><manifest><download name=\"c\"/></manifest>",
        "<manifest><download name=\"a\"/></manifest> trailing words",
        "<manifest><download name=\"a\"/></manifest><broken",
        "<manifest><download name=\"a\"/><download name=\"b\"></manifest>",
        "<manifest><download name=\"a\"/><download a=\"1\" a=\"2\"/></manifest>",
        "<manifest><download name=\"a\"></Download></manifest>",
        "<manifest b=\"1\" b=\"2\"><download name=\"a\"/></manifest>",
        "<manifest/>",
        "<manifest></manifest>",
        "<manifest><download name=\"a\"/>",
        "<manifest><download name=\"a\"/></manifest",
        "<manifest><download name=\"a\"/><!-- open",
        std::string("<manifest><download name=\"a\"/>\0<download name=\"b\"/></manifest>", 62),
        "<manifestx><download name=\"a\"/></manifestx>",
        "",
        "   ",
        // Forms TinyXML reads in ways of its own, found by fuzzing:
        "<?xml version?><manifest><download name=\"a\"/></manifest>",
        "<?xml version=9-1\"?><manifest><download name=\"a\"/></manifest>",
        "<?xml version=\"1.0\" encoding=\"ISO&#239-1\"?><manifest><download name=\"&#233;\" x=date/></manifest>",
        "<manifest><download name=\"&#12\"/><download name=\"x;\"/></manifest>",
        "<manifest><download name=\"&#X41;\"/></manifest>",
        "<manifest><download><?xml version=\"1.0\"?></download></manifest>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest><download name=\"a\"/></manifest>\xC2",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest><download name=\"\xF4",
    };
    for (const std::string& text : cases) {
        DumpingReader reader;
        std::vector<std::string> expected;
        bool expectedOk = Reference(text, expected);
        bool ok = xmlread::ReadRootChildren(text, "manifest", reader);
        EXPECT_EQ(ok, expectedOk) << text;
        if (ok && expectedOk) {
            EXPECT_EQ(reader.dumps, expected) << text;
        }
    }
}

TEST(XmlReading, PlainDocumentIsReadChildByChild) {
    DumpingReader reader;
    ASSERT_TRUE(xmlread::ReadRootChildren("<manifest><a/><b/></manifest>", "manifest", reader));
    EXPECT_EQ(reader.dumps.size(), 2u);
    EXPECT_EQ(reader.restarts, 0);
    // A child that does not parse on its own sends the reader back to the start.
    DumpingReader late;
    EXPECT_FALSE(xmlread::ReadRootChildren("<manifest><a/><b></c></manifest>", "manifest", late));
    EXPECT_EQ(late.restarts, 1);
}

}  // namespace
