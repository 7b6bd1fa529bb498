#pragma once
#include <cstddef>
#include <optional>
#include <string>

class TiXmlDocument;
class TiXmlElement;

// Reading the launcher's XML documents (manifest, configuration) with TinyXML,
// so that no header needs tinyxml.h and every reader treats bad input alike.
namespace xmlread {

// Elements nested deeper than this are refused before TinyXML sees the text:
// its parser and its destructor recurse once per level.
inline constexpr int kMaxDepth = 256;

// Parses the whole text in TinyXML's default encoding mode. False when the text
// is not well-formed, nests too deeply, or is empty.
bool ParseDocument(const std::string& text, TiXmlDocument& document);

// Receives the child elements of a document's root element.
class ChildElementReader {
public:
    virtual ~ChildElementReader() = default;
    // Before the visits: how many children come. Called again when the reading
    // starts over; what was visited before counts for nothing then.
    virtual void Begin(size_t count) = 0;
    // The index-th child (from 0, in document order), once each. Visits may come
    // on several threads at once, for different indexes.
    virtual void Visit(size_t index, const TiXmlElement& element) = 0;
};

// Reads the child elements of the document's first element named rootName. A
// document of the plain shape (an optional declaration, then comments and
// blanks around that one root, only comments and blanks between its children)
// is parsed one child at a time, a large one on several threads, which keeps
// memory small and the reading fast; any other shape, or a child that does not
// parse on its own, is parsed whole. Either way TinyXML gives the verdict.
// False when the text is not well-formed, nests too deeply or has no such
// element; what was visited then counts for nothing.
bool ReadRootChildren(const std::string& text, const char* rootName, ChildElementReader& reader);

// The deepest element nesting of the text, by a scan that follows TinyXML's
// tag rules (comments, CDATA, declarations and quoted attribute values skipped,
// any other "<" read up to the next ">"). In a text with a broken "&#"
// reference, which TinyXML reads past any structure, the number of opening tags.
int NestingDepth(const std::string& text);

// The text as valid UTF-8: well-formed sequences are kept, any other byte is
// read as Latin-1 (which is how TinyXML's legacy mode writes character
// references). nullptr gives "".
std::string ValidUtf8(const char* text);
std::string ValidUtf8(const std::string& text);

// An attribute's value; nullopt when the element (or the attribute) is missing.
std::optional<std::string> Attribute(const TiXmlElement* element, const char* name);
// An attribute's value; "" when missing.
std::string AttributeText(const TiXmlElement* element, const char* name);
// The element's text: its first child node when that is text (or CDATA); ""
// otherwise, and for a missing element.
std::string ElementText(const TiXmlElement* element);

}  // namespace xmlread
