#include "core/text/XmlReading.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <tinyxml.h>
#include <vector>

#include "core/threads/StartThread.h"

namespace xmlread {

namespace {

bool StartsWith(const std::string& text, size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// Index just past the terminator searched from `from`, or npos.
size_t SkipPast(const std::string& text, size_t from, const char* terminator) {
    size_t end = text.find(terminator, from);
    return end == std::string::npos ? end : end + std::strlen(terminator);
}

// What TinyXML opens an element for after "<": it takes every byte from 0x7F up
// as a letter, so a count that skipped one would let the parser nest unchecked.
bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x7F;
}

// Whether TinyXML reads a document declaring this encoding as UTF-8: it compares
// only the start of the name, without regard to case ("utf8ISO-8859-1" is UTF-8).
bool NamesUtf8(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name.empty() || name.rfind("UTF-8", 0) == 0 || name.rfind("UTF8", 0) == 0;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(const char* text, size_t size, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
        return 1;
    size_t length;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (t & 0x3F);
    }
    bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF)
        return 0;
    return length;
}

bool CharacterReferencesAreLocal(const std::string& text);
size_t PlainDeclarationEnd(const std::string& text, size_t i);
size_t ValidPrefix(const char* text, size_t size);
bool IsBlank(char c);

bool IsDeclarationAt(const std::string& text, size_t i) {
    if (text.size() - i < 5 || text[i] != '<' || text[i + 1] != '?')
        return false;
    for (size_t k = 0; k < 3; ++k)
        if ((text[i + 2 + k] | 0x20) != "xml"[k])
            return false;
    return true;
}

// Whether TinyXML steps over a byte from 0xC0 up by the length its value
// announces: after a byte-order mark, or unless the text opens with a plain
// declaration of another encoding.
bool StepsByUtf8Lengths(const std::string& text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return true;
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (text.compare(i, 5, "<?xml") != 0)
        return true;
    size_t end = PlainDeclarationEnd(text, i);
    if (end == std::string::npos)
        return true;
    size_t at = text.find("encoding=", i);
    // No room for a quoted name (the text ends at "encoding="): the careful answer.
    if (at == std::string::npos || at > end || at + 10 > text.size())
        return true;
    const char quote = text[at + 9];
    std::string name = text.substr(at + 10, text.find(quote, at + 10) - at - 10);
    return NamesUtf8(name);
}

// How many tags open an element, wherever they stand: at least the depth of any
// tree the parser can build from the text.
int OpeningTags(const std::string& text) {
    int count = 0;
    for (size_t i = text.find('<'); i != std::string::npos && i + 1 < text.size(); i = text.find('<', i + 1))
        if (IsNameStart(static_cast<unsigned char>(text[i + 1])) && count <= kMaxDepth)
            ++count;
    return count;
}

}  // namespace

int NestingDepth(const std::string& text) {
    // TinyXML takes a broken "&#" reference up to the next ";" anywhere further
    // on, past quotes, comments and tags, so no reading of the text's structure
    // is sure to be its own; the count of opening tags is.
    // Nor is any where TinyXML may step over a delimiter inside a broken UTF-8
    // sequence.
    if (!CharacterReferencesAreLocal(text) ||
        (StepsByUtf8Lengths(text) && ValidPrefix(text.data(), text.size()) != text.size()))
        return OpeningTags(text);
    int depth = 0;
    int deepest = 0;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        i = text.find('<', i);
        if (i == std::string::npos || i + 1 >= n)
            break;
        if (StartsWith(text, i, "<!--")) {
            i = SkipPast(text, i + 4, "-->");
        } else if (StartsWith(text, i, "<![CDATA[")) {
            i = SkipPast(text, i + 9, "]]>");
        } else if (text[i + 1] == '/') {
            if (depth > 0)
                --depth;
            i = SkipPast(text, i + 2, ">");
        } else if (IsDeclarationAt(text, i)) {
            // TinyXML reads a declaration's quoted values past any ">"; only the
            // plain form is sure to end where it seems to.
            i = text.compare(i, 5, "<?xml") == 0 ? PlainDeclarationEnd(text, i) : std::string::npos;
            if (i == std::string::npos)
                return OpeningTags(text);
        } else if (text[i + 1] == '?' || text[i + 1] == '!') {
            i = SkipPast(text, i + 2, ">");
        } else if (IsNameStart(static_cast<unsigned char>(text[i + 1]))) {
            size_t j = i + 1;
            while (j < n && text[j] != '>') {
                if (text[j] == '"' || text[j] == '\'') {
                    j = text.find(text[j], j + 1);
                    if (j == std::string::npos)
                        break;
                }
                ++j;
            }
            if (j == std::string::npos || j >= n) {
                // An unfinished tag still opens a level for the parser.
                ++depth;
                deepest = std::max(deepest, depth);
                break;
            }
            if (text[j - 1] != '/') {
                ++depth;
                deepest = std::max(deepest, depth);
            }
            i = j + 1;
        } else {
            // Anything else after "<" is a node of its own for TinyXML, up to
            // the next ">", whatever it holds ("<<!--" hides no comment).
            i = SkipPast(text, i + 1, ">");
        }
        if (i == std::string::npos)
            break;
    }
    return deepest;
}

namespace {

// A large plain document is read on several threads, each taking an equal share
// of the children; a small one on the caller's thread alone.
constexpr size_t kMaxReadingThreads = 8;
constexpr size_t kBytesPerReadingThread = 1 << 20;

// TinyXML steps over a UTF-8 sequence by the length its lead byte announces, so
// on a text that ends in a cut-short sequence it steps past the terminator; the
// zero bytes after the text keep it inside the buffer.
constexpr size_t kPadding = 8;

// Parses buffer, to which the padding is appended. When asked, readToEnd tells
// whether TinyXML's reading ended exactly at the end of the text: after its last
// node it stops without an error at anything that does not open with "<", so a
// part of a document can parse while the same bytes inside the whole do not.
bool ParsePadded(std::string& buffer, TiXmlDocument& document, TiXmlEncoding encoding, bool* readToEnd = nullptr) {
    if (buffer.empty() || NestingDepth(buffer) > kMaxDepth)
        return false;
    const size_t size = buffer.size();
    buffer.append(kPadding, '\0');
    // No row and column tracking: it costs a quarter of the parse and is never read.
    document.SetTabSize(0);
    const char* end = document.Parse(buffer.c_str(), nullptr, encoding);
    if (document.Error())
        return false;
    // TinyXML answers null when the blanks it skips last end at a zero byte.
    if (readToEnd)
        *readToEnd = end == nullptr || end == buffer.c_str() + size;
    return true;
}

bool Parse(const std::string& text, TiXmlDocument& document, TiXmlEncoding encoding, bool* readToEnd = nullptr) {
    std::string buffer;
    buffer.reserve(text.size() + kPadding);
    buffer = text;
    return ParsePadded(buffer, document, encoding, readToEnd);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Past blanks and complete comments; npos for a comment without its end.
size_t SkipBlanksAndComments(const std::string& text, size_t i) {
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
        } else if (StartsWith(text, i, "<!--")) {
            i = SkipPast(text, i + 4, "-->");
            if (i == std::string::npos)
                return i;
        } else {
            break;
        }
    }
    return i;
}

// Past the ">" of the tag that opens at i, quoted attribute values skipped; npos
// when it does not end.
size_t TagEnd(const std::string& text, size_t i) {
    for (size_t j = i + 1; j < text.size(); ++j) {
        if (text[j] == '"' || text[j] == '\'') {
            j = text.find(text[j], j + 1);
            if (j == std::string::npos)
                return j;
        } else if (text[j] == '>') {
            return j + 1;
        }
    }
    return std::string::npos;
}

// Past the end of the element that opens at i; npos when it does not end.
size_t ElementEnd(const std::string& text, size_t i) {
    int depth = 0;
    while (i < text.size()) {
        i = text.find('<', i);
        if (i == std::string::npos || i + 1 >= text.size())
            return std::string::npos;
        size_t next;
        if (StartsWith(text, i, "<!--")) {
            next = SkipPast(text, i + 4, "-->");
        } else if (StartsWith(text, i, "<![CDATA[")) {
            next = SkipPast(text, i + 9, "]]>");
        } else if (text[i + 1] == '/') {
            next = SkipPast(text, i + 2, ">");
            if (next != std::string::npos && --depth == 0)
                return next;
        } else if (text[i + 1] == '?' || text[i + 1] == '!') {
            next = SkipPast(text, i + 2, ">");
        } else if (IsNameStart(static_cast<unsigned char>(text[i + 1]))) {
            next = TagEnd(text, i);
            if (next != std::string::npos && text[next - 2] != '/')
                ++depth;
            else if (next != std::string::npos && depth == 0)
                return next;  // the element closes itself
        } else {
            // Any other "<" opens a node of its own for TinyXML, up to the next ">".
            next = SkipPast(text, i + 1, ">");
        }
        if (next == std::string::npos)
            return next;
        i = next;
    }
    return std::string::npos;
}

bool IsRootTagAt(const std::string& text, size_t i, const std::string& rootName) {
    if (!StartsWith(text, i, ("<" + rootName).c_str()))
        return false;
    size_t after = i + 1 + rootName.size();
    return after < text.size() && (IsBlank(text[after]) || text[after] == '>' || text[after] == '/');
}

// The encoding TinyXML settles on for a document that starts with this prolog.
bool PrologEncoding(const std::string& prolog, TiXmlEncoding& encoding) {
    encoding = TIXML_ENCODING_UNKNOWN;
    if (StartsWith(prolog, 0, "\xEF\xBB\xBF"))
        encoding = TIXML_ENCODING_UTF8;
    if (prolog.find('<') == std::string::npos)
        return true;
    TiXmlDocument document;
    if (!Parse(prolog, document, TIXML_ENCODING_UNKNOWN))
        return false;
    if (encoding == TIXML_ENCODING_UNKNOWN) {
        for (const TiXmlNode* node = document.FirstChild(); node; node = node->NextSibling()) {
            if (const TiXmlDeclaration* declaration = node->ToDeclaration()) {
                encoding = NamesUtf8(declaration->Encoding()) ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY;
                break;
            }
        }
    }
    return true;
}

// Past a declaration of the plain form '<?xml' then blank-separated version,
// encoding and standalone attributes with quoted values, then '?>'; npos for any
// other form (TinyXML reads a broken one in ways of its own).
size_t PlainDeclarationEnd(const std::string& text, size_t i) {
    i += 5;
    while (true) {
        size_t blanks = i;
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (StartsWith(text, i, "?>"))
            return i + 2;
        if (i == blanks)
            return std::string::npos;
        size_t nameEnd = i;
        while (nameEnd < text.size() && text[nameEnd] >= 'a' && text[nameEnd] <= 'z')
            ++nameEnd;
        std::string name = text.substr(i, nameEnd - i);
        if (name != "version" && name != "encoding" && name != "standalone")
            return std::string::npos;
        i = nameEnd;
        if (i + 1 >= text.size() || text[i] != '=' || (text[i + 1] != '"' && text[i + 1] != '\''))
            return std::string::npos;
        char quote = text[i + 1];
        size_t close = text.find(quote, i + 2);
        if (close == std::string::npos)
            return close;
        std::string value = text.substr(i + 2, close - i - 2);
        if (value.find_first_of("<>?") != std::string::npos)
            return std::string::npos;
        i = close + 1;
    }
}

// True when every "&#" is a whole reference ("&#233;", "&#xE9;"). TinyXML looks
// for the ";" of a reference anywhere further on, so a broken one reads
// differently in a part of the text than in the whole.
bool CharacterReferencesAreLocal(const std::string& text) {
    for (size_t i = text.find("&#"); i != std::string::npos; i = text.find("&#", i + 2)) {
        size_t j = i + 2;
        bool hex = j < text.size() && text[j] == 'x';
        if (hex)
            ++j;
        size_t digits = j;
        while (j < text.size() && (hex ? std::isxdigit(static_cast<unsigned char>(text[j]))
                                       : std::isdigit(static_cast<unsigned char>(text[j]))))
            ++j;
        if (j == digits || j >= text.size() || text[j] != ';')
            return false;
    }
    return true;
}

struct Span {
    size_t begin;
    size_t end;
};

// The children of a plain document's root, as spans of the text, with the
// encoding TinyXML reads them in; false for any other document, which then goes
// to the whole parse.
bool PlainChildren(const std::string& text, const std::string& rootName, std::vector<Span>& children,
                   TiXmlEncoding& encoding) {
    if (text.find('\0') != std::string::npos || !CharacterReferencesAreLocal(text))
        return false;  // TinyXML would read only up to the zero; see above for "&#"
    size_t i = StartsWith(text, 0, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (StartsWith(text, i, "<?xml")) {
        i = PlainDeclarationEnd(text, i);
        if (i == std::string::npos)
            return false;
    }
    i = SkipBlanksAndComments(text, i);
    if (i == std::string::npos || !IsRootTagAt(text, i, rootName))
        return false;
    // A declaration further on is read by TinyXML in a way of its own.
    if (text.find("<?", i) != std::string::npos)
        return false;
    if (!PrologEncoding(text.substr(0, i), encoding))
        return false;

    size_t startTagEnd = TagEnd(text, i);
    if (startTagEnd == std::string::npos || text[startTagEnd - 2] == '/')
        return false;
    {
        TiXmlDocument root;
        bool readToEnd = false;
        if (!Parse(text.substr(i, startTagEnd - i) + "</" + rootName + ">", root, encoding, &readToEnd) || !readToEnd)
            return false;
    }

    i = startTagEnd;
    while (true) {
        i = SkipBlanksAndComments(text, i);
        if (i == std::string::npos || i + 1 >= text.size())
            return false;
        if (text[i] != '<' || !IsNameStart(static_cast<unsigned char>(text[i + 1])))
            break;
        size_t end = ElementEnd(text, i);
        if (end == std::string::npos)
            return false;
        children.push_back({i, end});
        i = end;
    }
    // The root's end tag ("</name", blanks, ">"), then only blanks and comments.
    if (!StartsWith(text, i, ("</" + rootName).c_str()))
        return false;
    i += 2 + rootName.size();
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i >= text.size() || text[i] != '>')
        return false;
    return SkipBlanksAndComments(text, i + 1) == text.size();
}

// Parses children[first, last) one at a time and hands each to the reader;
// false at the first that does not parse on its own as one element ending where
// its span ends (TinyXML then reads the whole document in another way).
bool ReadSpans(const std::string& text, const std::vector<Span>& children, size_t first, size_t last,
               TiXmlEncoding encoding, ChildElementReader& reader, const std::atomic<bool>& failed) {
    std::string chunk;
    for (size_t k = first; k < last && !failed.load(std::memory_order_relaxed); ++k) {
        chunk.assign(text, children[k].begin, children[k].end - children[k].begin);
        TiXmlDocument child;
        bool readToEnd = false;
        if (!ParsePadded(chunk, child, encoding, &readToEnd) || !readToEnd || !child.FirstChild() ||
            child.FirstChild() != child.LastChild() || !child.FirstChild()->ToElement())
            return false;
        reader.Visit(k, *child.FirstChild()->ToElement());
    }
    return true;
}

// Reads the spans, on several threads when the document is large; false when
// one does not parse on its own. An exception of the reader reaches the caller.
bool ReadPlain(const std::string& text, const std::vector<Span>& children, TiXmlEncoding encoding,
               ChildElementReader& reader) {
    reader.Begin(children.size());
    size_t threads = std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), kMaxReadingThreads,
                                       text.size() / kBytesPerReadingThread + 1, children.size()});
    std::atomic<bool> failed{false};
    if (threads <= 1)
        return ReadSpans(text, children, 0, children.size(), encoding, reader, failed);

    std::vector<std::thread> workers;
    std::vector<std::exception_ptr> errors(threads);
    size_t share = (children.size() + threads - 1) / threads;
    auto work = [&](size_t t) {
        try {
            size_t first = t * share;
            size_t last = std::min(children.size(), first + share);
            if (first < last && !ReadSpans(text, children, first, last, encoding, reader, failed))
                failed.store(true);
        } catch (...) {
            errors[t] = std::current_exception();
            failed.store(true);
        }
    };
    workers.reserve(threads - 1);  // no allocation between a thread's start and its keeping
    try {
        for (size_t t = 1; t < threads; ++t)
            workers.push_back(StartThread("xml reader", [&work, t] { work(t); }));
    } catch (const std::system_error&) {
        // No more threads to be had: this one reads what is left over.
    }
    work(0);
    for (size_t t = workers.size() + 1; t < threads; ++t)
        work(t);
    for (std::thread& worker : workers)
        worker.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
    return !failed.load();
}

}  // namespace

bool ParseDocument(const std::string& text, TiXmlDocument& document) {
    return Parse(text, document, TIXML_DEFAULT_ENCODING);
}

bool ReadRootChildren(const std::string& text, const char* rootName, ChildElementReader& reader) {
    std::vector<Span> children;
    TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN;
    if (PlainChildren(text, rootName, children, encoding) && ReadPlain(text, children, encoding, reader))
        return true;
    TiXmlDocument document;
    if (!ParseDocument(text, document))
        return false;
    const TiXmlElement* root = document.FirstChildElement(rootName);
    if (!root)
        return false;
    std::vector<const TiXmlElement*> elements;
    for (const TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement())
        elements.push_back(child);
    reader.Begin(elements.size());
    for (size_t k = 0; k < elements.size(); ++k)
        reader.Visit(k, *elements[k]);
    return true;
}

namespace {

// Index of the first byte that does not begin a well-formed sequence, or size.
size_t ValidPrefix(const char* text, size_t size) {
    size_t i = 0;
    while (i < size) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t length = Utf8SequenceLength(text, size, i);
        if (length == 0)
            break;
        i += length;
    }
    return i;
}

std::string Repair(const char* text, size_t size, size_t validUpTo) {
    std::string repaired(text, validUpTo);
    repaired.reserve(size + 8);
    size_t i = validUpTo;
    while (i < size) {
        size_t length = Utf8SequenceLength(text, size, i);
        if (length > 0) {
            repaired.append(text + i, length);
            i += length;
        } else {
            unsigned char c = static_cast<unsigned char>(text[i++]);
            repaired += static_cast<char>(0xC0 | (c >> 6));
            repaired += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return repaired;
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
    size_t valid = ValidPrefix(text.data(), text.size());
    return valid == text.size() ? text : Repair(text.data(), text.size(), valid);
}

std::string ValidUtf8(const char* text) {
    if (!text)
        return {};
    size_t size = std::strlen(text);
    size_t valid = ValidPrefix(text, size);
    return valid == size ? std::string(text, size) : Repair(text, size, valid);
}

std::optional<std::string> Attribute(const TiXmlElement* element, const char* name) {
    if (!element)
        return std::nullopt;
    const char* value = element->Attribute(name);
    if (!value)
        return std::nullopt;
    return ValidUtf8(value);
}

std::string AttributeText(const TiXmlElement* element, const char* name) {
    return Attribute(element, name).value_or(std::string());
}

std::string ElementText(const TiXmlElement* element) {
    if (!element)
        return {};
    // As TinyXML's GetText: only a text (or CDATA) first child counts.
    return ValidUtf8(element->GetText());
}

}  // namespace xmlread
