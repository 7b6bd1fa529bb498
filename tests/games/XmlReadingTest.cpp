#include <gtest/gtest.h>

#include <atomic>

#include <tinyxml.h>

#include "core/text/XmlReading.h"
#include "fuzz/FuzzTargets.h"
#include "games/catalogue/Manifest.h"
#include "games/patching/PatchCatalog.h"

namespace {

TEST(XmlReading, NestingDepthFollowsTheTagRules) {
    struct Case {
        std::string text;
        int depth;
    } cases[] = {
        {"<a><b><c/></b></a>", 2},
        {"<a x='<b>' y=\"</a><c>\"><b/></a>", 1},
        {"<a><!-- <b><c><d> --><![CDATA[<e><f>]]><?pi <g>?><!DOCTYPE <h>></a>", 1},
        {"<a>text < and > <b>", 2},
        {"<a><b></b><b></b></a>", 2},
        {"</a></a><a>", 1},
        {"", 0},
        {"<unclosed attr='", 1},
        {"<a><\x7F/></a>", 1},
        {"<a><\x7F><_><\xFF>", 4},
        {"<a><<!--><b></b></a>", 2},
        {"<a><<![CDATA[><b><c/>", 2},
        {"<a x='&#1'/><!-- ; --><b/><c>", 3},
        {"<?xml version=\"1><!-- \"?><a><b>-->", 2},
        {"<?XML x?><a><b/></a>", 2},
        {"<?xml version=\"1.0\"?><a x='\xF0'><!--'><b/>-->", 2},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a x='\xF0'><!--'><b/>-->", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlread::NestingDepth(c.text), c.depth) << c.text;
}

TEST(XmlReading, NestingCountCoversEveryTreeTinyXmlBuilds) {
    const std::string cases[] = {
        "<a><\x7F><b/></\x7F></a>",
        "<a><\x7F><\x80><_/></\x80></\x7F></a>",
        "<manifest><download name=\"a\"><\x7F x='1'/></download></manifest>",
        "<a><1/><-/><.></a>",
        // Found by fuzzing: what TinyXML reads as a node of its own, and a
        // reference it takes up to a ";" far on.
        "<catalog><\x7F><<![CDATA[alog><\x7F><\x7F><b/><\x7F></log>",
        "<<!--?xml version=\"1.0\"?>\n<config>\n  <homeUrl>http<?x:/ml",
        "<?xml version=\"1.0\" encoding=\"ISO&#239-1\"?>\n<!-- c )->\n<manifest a=\"1\">\n <download "
        "name=\"&#233;\"/><k>x</k>=date/>\n</manifest >\n",
    };
    for (const std::string& text : cases)
        EXPECT_TRUE(fuzztargets::DepthCoversTree(text)) << text;
}

// A hundred thousand levels of an element named by the byte 0x7F, which
// TinyXML opens recursively: refused before parsing, not a stack overflow.
TEST(XmlReading, DeepManifestAndCatalogueAreRefusedWithoutACrash) {
    std::string levels;
    for (int i = 0; i < 100000; ++i)
        levels += "<\x7F>";
    ManifestDocument manifest =
        ParseManifestDocument("<manifest><download name=\"a\"/>" + levels + "</manifest>", kBannerFolder, "en");
    EXPECT_TRUE(manifest.entries.empty());
    PatchCatalog catalog;
    EXPECT_FALSE(catalog.ParseText("<catalog><shibboleth installkey=\"k\" installpathsubkey=\"s\" file=\"f\"/>" +
                                   levels + "</catalog>"));
    // The levels behind what the count once skipped and TinyXML does not: an
    // unfinished CDATA inside a node of its own, and a comment that a broken
    // reference in the declaration reads past.
    const std::string hidden[] = {
        "<manifest><<![CDATA[>" + levels,
        "<?xml version=\"&#1\"?><!-- ;\"?><manifest>" + levels,
        "<?xml version=\"1><!-- \"?><manifest>" + levels + "-->",
        "\xEF\xBB\xBF<manifest x='\xF0'><!--'>" + levels + "-->",
    };
    for (const std::string& text : hidden) {
        TiXmlDocument document;
        EXPECT_FALSE(xmlread::ParseDocument(text, document));
    }
}

TEST(XmlReading, ValidUtf8KeepsGoodSequencesAndReadsOtherBytesAsLatin1) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
        {"caf\xE9", "caf\xC3\xA9"},
        {"\xC3\xA9\xFF", "\xC3\xA9\xC3\xBF"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // overlong
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // a surrogate
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"\xE2\x82", "\xC3\xA2\xC2\x82"},  // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(xmlread::ValidUtf8(c.in), c.out);
    EXPECT_EQ(xmlread::ValidUtf8(static_cast<const char*>(nullptr)), "");
}

}  // namespace

// ---- Reading a root's children one at a time gives what the whole parse gives ----

#include <tinyxml.h>

#include "fuzz/FuzzTargets.h"

namespace {

class CountingReader final : public xmlread::ChildElementReader {
public:
    void Begin(size_t count) override {
        children = count;
        ++begins;
        visits = 0;
    }
    void Visit(size_t, const TiXmlElement&) override { ++visits; }
    size_t children = 0;
    std::atomic<size_t> visits{0};
    int begins = 0;
};

TEST(XmlReading, ChildByChildAgreesWithTheWholeParse) {
    const std::string children =
        "<autoupdate version=\"1\"/>\n  <download name=\"a &amp; b\" x='>'>"
        "<location k=\"1\"/><!-- <download name='no'/> --><keys><k>v</k></keys>"
        "<![CDATA[<raw>]]></download>\n<download name=\"&#233;\xC3\xA9\"/>";
    const std::string cases[] = {
        "<manifest>" + children + "</manifest>",
        "\xEF\xBB\xBF<manifest>" + children + "</manifest>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><manifest a=\"1\">" + children +
            "</manifest >\n<!-- end -->\n",
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
        // A child that parses on its own with bytes left over, which TinyXML
        // passes by at the end of a document and refuses inside one:
        "<manifest><download><<x></download>></></manifest>",
        "<manifest><download><<x></download></manifest>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest><a>\xE0<b></a>junk</b></manifest>",
        "<manifest x=\"1\"  ><a/></manifest>",
    };
    for (const std::string& text : cases)
        EXPECT_TRUE(fuzztargets::ChildByChildAgrees(text)) << text;
}

TEST(XmlReading, PlainDocumentIsReadChildByChild) {
    CountingReader reader;
    ASSERT_TRUE(xmlread::ReadRootChildren("<manifest><a/><b/></manifest>", "manifest", reader));
    EXPECT_EQ(reader.children, 2u);
    EXPECT_EQ(reader.visits.load(), 2u);
    EXPECT_EQ(reader.begins, 1);
    // A child that does not parse on its own sends the reader back to the start.
    CountingReader late;
    EXPECT_FALSE(xmlread::ReadRootChildren("<manifest><a/><b></c></manifest>", "manifest", late));
    EXPECT_EQ(late.begins, 1);
    // Not the plain shape: the whole parse alone reads it, once.
    CountingReader whole;
    EXPECT_TRUE(xmlread::ReadRootChildren("<manifest><a/>text<c/></manifest>", "manifest", whole));
    EXPECT_EQ(whole.visits.load(), 2u);
    EXPECT_EQ(whole.begins, 1);
}

// A large document is read on several threads; what comes out is in document
// order all the same, and the same as the whole parse gives.
TEST(XmlReading, LargeDocumentReadOnSeveralThreads) {
    std::string text = "<manifest>";
    for (int i = 0; i < 40000; ++i)
        text += "<download name=\"game " + std::to_string(i) + "\" banner=\"b" + std::to_string(i) +
                ".png\"><location installkey=\"k\"/></download>\n";
    text += "</manifest>";
    ASSERT_GT(text.size(), 2u << 20);
    EXPECT_TRUE(fuzztargets::ChildByChildAgrees(text));
    CountingReader reader;
    ASSERT_TRUE(xmlread::ReadRootChildren(text, "manifest", reader));
    EXPECT_EQ(reader.visits.load(), 40000u);
    EXPECT_EQ(reader.begins, 1);
}

}  // namespace
