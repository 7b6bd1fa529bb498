#pragma once
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

// The deepest element nesting of the text, by a scan that follows TinyXML's
// tag rules (comments, CDATA, declarations and quoted attribute values skipped).
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
