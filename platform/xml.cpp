#include "platform/xml.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml_handles.h"

#include <libxml/encoding.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/SAX2.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace fg::xml {

namespace {

constexpr long kFileNotFound = static_cast<int32_t>(0x800C0006u);  // the object could not be located

xmlNodePtr X(void* p) { return static_cast<xmlNodePtr>(p); }
const xmlChar* U(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
std::string S(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : std::string(); }

// Takes ownership of a libxml2 string.
std::string take(xmlChar* s) {
    XmlString owned(s);
    return S(s);
}

void closeEncoding(xmlCharEncodingHandlerPtr handler) noexcept { xmlCharEncCloseFunc(handler); }
using EncodingHandler = Owned<xmlCharEncodingHandlerPtr, closeEncoding>;
using ParserContext = Owned<xmlParserCtxtPtr, xmlFreeParserCtxt>;
using XPathContext = Owned<xmlXPathContextPtr, xmlXPathFreeContext>;
using XPathResult = Owned<xmlXPathObjectPtr, xmlXPathFreeObject>;
void closeSave(xmlSaveCtxtPtr ctxt) noexcept { xmlSaveClose(ctxt); }
using SaveContext = Owned<xmlSaveCtxtPtr, closeSave>;

void silentError(void*, xmlErrorPtr) {}

// Keeps the first error of a parse or a save: the later ones (an early end
// of data after a mismatched tag or a bad byte) only follow from it. It also
// takes the errors that libxml2 would print to standard error (encoding
// conversion, output), for the duration of one call on this thread.
class ErrorCapture {
public:
    ErrorCapture() : previous_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(this, record);
    }
    ~ErrorCapture() {
        xmlSetStructuredErrorFunc(previousContext_, previous_);
        xmlFree(first_.message);
    }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    // For a parser context, whose own errors bypass the thread's handler.
    void attach(xmlParserCtxtPtr ctxt) {
        ctxt->_private = this;
        ctxt->sax->serror = fromParser;
    }
    const xmlError* first() const { return first_.code ? &first_ : nullptr; }
    std::string message() const {
        std::string m = first_.message ? first_.message : "";
        while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
        return m;
    }

private:
    static void record(void* data, xmlErrorPtr e) {
        auto* self = static_cast<ErrorCapture*>(data);
        if (self && e && e->level >= XML_ERR_ERROR && self->first_.code == 0) {
            self->first_.code = e->code ? e->code : 1;
            self->first_.line = e->line;
            self->first_.message = e->message ? xmlMemStrdup(e->message) : nullptr;
        }
    }
    static void fromParser(void* data, xmlErrorPtr e) {
        auto* ctxt = static_cast<xmlParserCtxtPtr>(data);
        record(ctxt ? ctxt->_private : nullptr, e);
    }

    xmlError first_{};
    xmlStructuredErrorFunc previous_;
    void* previousContext_;
};

// libxml2 writes non-ASCII characters of attribute values as character
// references when the document has no encoding of its own (a document built
// from nothing). The tree always holds UTF-8, so name that while writing;
// the output encoding is chosen elsewhere.
class Utf8WhileWriting {
public:
    explicit Utf8WhileWriting(xmlDocPtr d) : doc_(d) {
        if (doc_ && !doc_->encoding) {
            doc_->encoding = xmlStrdup(BAD_CAST "UTF-8");
            set_ = true;
        }
    }
    ~Utf8WhileWriting() {
        if (set_) {
            xmlFree(const_cast<xmlChar*>(doc_->encoding));
            doc_->encoding = nullptr;
        }
    }
    Utf8WhileWriting(const Utf8WhileWriting&) = delete;
    Utf8WhileWriting& operator=(const Utf8WhileWriting&) = delete;

private:
    xmlDocPtr doc_;
    bool set_ = false;
};

bool isDeclaration(xmlNodePtr n) {
    return n && n->type == XML_PI_NODE && n->name && std::strcmp(reinterpret_cast<const char*>(n->name), "xml") == 0;
}

// ---- Values the document is given
//
// A character XML 1.0 forbids (a control character other than tab, line
// feed and carriage return, U+FFFE, U+FFFF) or a byte that is no UTF-8 (a
// surrogate's three bytes among them) is written as it stands, or as a
// reference no parser takes: the file would never load again, and every
// record in it with it. Such a value is refused where it is set, naming the
// field it was meant for, so that nothing is written at all.

// The length of the UTF-8 sequence at s[i] and its code point; 0 when the
// bytes there are no well-formed UTF-8.
std::size_t utf8At(std::string_view s, std::size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    char32_t minimum;
    if (c < 0x80) { cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; minimum = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; minimum = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; minimum = 0x10000; }
    else return 0;
    if (s.size() - i < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool xmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           c >= 0x10000;
}

std::string hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

// Raises error 380 naming the field when the value holds what no file may.
void checkValue(const std::string& field, std::string_view value) {
    for (std::size_t i = 0; i < value.size();) {
        char32_t cp = 0;
        const std::size_t n = utf8At(value, i, cp);
        std::string what;
        if (n == 0) what = "UTF-8 でないバイト 0x" + hex(static_cast<unsigned char>(value[i]), 2);
        else if (!xmlCharacter(cp)) what = "XML に書けない文字 U+" + hex(static_cast<unsigned>(cp), 4);
        if (!what.empty())
            throw Error(errnum::InvalidPropertyValue, "「" + field + "」の値に" + what + "があります (" +
                                                          std::to_string(i + 1) + " バイト目)。書き込みません。");
        i += n;
    }
}

// A value whose markup would end early (a comment's "--", a CDATA
// section's "]]>", a processing instruction's "?>") is refused too.
void checkDelimited(const std::string& field, std::string_view value, std::string_view forbidden, bool dashEnd) {
    checkValue(field, value);
    if (value.find(forbidden) != std::string_view::npos || (dashEnd && !value.empty() && value.back() == '-'))
        throw Error(errnum::InvalidPropertyValue,
                    "「" + field + "」の値に「" + std::string(forbidden) + "」があります。書き込みません。");
}

void checkName(const std::string& name) {
    if (xmlValidateQName(U(name), 0) != 0)
        throw Error(errnum::InvalidPropertyValue, "XML の名前にできません: 「" + name + "」");
}

// The field a node's value is for, as an error names it.
std::string fieldOf(xmlNodePtr n) {
    auto name = [](xmlNodePtr m) {
        std::string s = m->name ? S(m->name) : std::string();
        if (m->ns && m->ns->prefix) s = S(m->ns->prefix) + ":" + s;
        return s;
    };
    switch (n->type) {
    case XML_ELEMENT_NODE: return name(n);
    case XML_ATTRIBUTE_NODE: return (n->parent ? name(n->parent) : std::string()) + "/@" + name(n);
    case XML_PI_NODE: return "<?" + name(n) + "?>";
    default:
        if (n->parent && n->parent->type == XML_ELEMENT_NODE) return name(n->parent);
        return n->type == XML_COMMENT_NODE ? "#comment" : n->type == XML_CDATA_SECTION_NODE ? "#cdata-section" : "#text";
    }
}

// Checks a value for a node of its kind.
void checkFor(xmlNodePtr n, std::string_view value) {
    const std::string field = fieldOf(n);
    switch (n->type) {
    case XML_COMMENT_NODE: checkDelimited(field, value, "--", true); break;
    case XML_CDATA_SECTION_NODE: checkDelimited(field, value, "]]>", false); break;
    case XML_PI_NODE: checkDelimited(field, value, "?>", false); break;
    default: checkValue(field, value); break;
    }
}

bool isBlank(const xmlChar* s) {
    if (!s) return true;
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
    return true;
}

bool isXslText(xmlNodePtr n) {
    return n && n->type == XML_ELEMENT_NODE && n->ns && n->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(n->ns->href), "http://www.w3.org/1999/XSL/Transform") == 0 &&
           std::strcmp(reinterpret_cast<const char*>(n->name), "text") == 0;
}

// Whether a load keeps white-space-only text in `element`, given whether it
// keeps it in the element's parent: the element's own xml:space decides
// first, else it keeps what its parent keeps, and xsl:text keeps it too.
bool keepsBlankText(xmlNodePtr element, bool inParent) {
    if (XmlString space{xmlGetNsProp(element, BAD_CAST "space", XML_XML_NAMESPACE)})
        return std::strcmp(reinterpret_cast<char*>(space.get()), "preserve") == 0;
    return inParent || isXslText(element);
}

// The same for an element where it stands in its tree (from the top down).
bool keepsBlankText(xmlNodePtr n) {
    if (!n || n->type != XML_ELEMENT_NODE) return false;
    return keepsBlankText(n, keepsBlankText(n->parent));
}

// Drops white-space-only text nodes, except inside xsl:text and where
// xml:space="preserve" is in force: a style sheet's deliberate blanks survive.
void dropBlankText(xmlNodePtr parent, bool preserve) {
    xmlNodePtr child = parent->children;
    while (child) {
        xmlNodePtr next = child->next;
        if (child->type == XML_TEXT_NODE) {
            if (!preserve && isBlank(child->content)) {
                xmlUnlinkNode(child);
                xmlFreeNode(child);
            }
        } else if (child->type == XML_ELEMENT_NODE) {
            dropBlankText(child, keepsBlankText(child, preserve));
        }
        child = next;
    }
}

// The encoding named in declaration data such as: version="1.0" encoding="Shift_JIS"
std::string encodingOf(const std::string& declData) {
    auto p = declData.find("encoding");
    if (p == std::string::npos) return {};
    p = declData.find_first_of("\"'", p);
    if (p == std::string::npos) return {};
    auto q = declData.find(declData[p], p + 1);
    if (q == std::string::npos) return {};
    return declData.substr(p + 1, q - p - 1);
}

// Two fresh buffers, or error 7.
std::pair<Buffer, Buffer> bufferPair() {
    Buffer in(xmlBufferCreate()), out(xmlBufferCreate());
    if (!in || !out) throw Error::standard(errnum::OutOfMemory);
    return {std::move(in), std::move(out)};
}

std::string contentOf(const Buffer& buffer) {
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

// Whether "<" is one byte of the same value in the encoding, as in UTF-8
// and code page 932 but not in UTF-16.
bool asciiCompatible(const std::string& encoding) {
    EncodingHandler handler(xmlFindCharEncodingHandler(encoding.c_str()));
    if (!handler) return true;  // unknown: the save reports it
    if (!handler.get()->output && !handler.get()->iconv_out) return true;
    auto [in, out] = bufferPair();
    if (xmlBufferCCat(in.get(), "<") != 0) throw Error::standard(errnum::OutOfMemory);
    return xmlCharEncOutFunc(handler.get(), out.get(), in.get()) >= 0 && contentOf(out) == "<";
}

bool isCp932(const std::string& encoding) {
    const char* alias = xmlGetEncodingAlias(encoding.c_str());
    return text::iequals(alias ? alias : encoding.c_str(), "CP932");
}

// ---- Code page 932 and the values that cannot be written in it
//
// A save in code page 932 writes a character the code page lacks, or holds
// only one way (it would read back as a look-alike), as a character
// reference. That reads back as the character in text and attribute values,
// and nowhere else: inside a CDATA section, a comment or a processing
// instruction it would read back as the text "&#12316;". A CDATA section is
// ended before such a character and begun again after it, the reference
// written between; a comment or a processing instruction cannot hold one,
// and is refused where it is set in a document declared so, or saved.

bool declaresCp932(xmlDocPtr d) {
    for (xmlNodePtr c = d ? d->children : nullptr; c; c = c->next)
        if (isDeclaration(c)) return isCp932(encodingOf(S(c->content)));
    return false;
}

// The first character of the UTF-8 text that code page 932 does not hold
// both ways, and where it stands; npos when there is none.
std::size_t firstOneWay(std::string_view utf8, char32_t& cp, std::size_t& length) {
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            ++i;
            continue;
        }
        length = utf8At(utf8, i, cp);
        if (length == 0) length = 1;  // checked where it was set: not met here
        else if (!text::cp932HoldsBothWays(cp)) return i;
        i += length;
    }
    return std::string_view::npos;
}

Error oneWayError(const std::string& field, char32_t cp, const char* action) {
    return Error(errnum::InvalidPropertyValue, "「" + field + "」の値に Shift_JIS で書くと元に戻らない文字 U+" +
                                                   hex(static_cast<unsigned>(cp), 4) + " があります。" + action);
}

// Refuses a comment's or a processing instruction's value that a save of
// the node's document, declared code page 932, could not write back.
void checkCp932Markup(xmlNodePtr n, std::string_view value) {
    if (n->type != XML_COMMENT_NODE && n->type != XML_PI_NODE) return;
    if (!declaresCp932(n->doc)) return;
    char32_t cp = 0;
    std::size_t length = 0;
    if (firstOneWay(value, cp, length) != std::string_view::npos) throw oneWayError(fieldOf(n), cp, "書き込みません。");
}

// The serialised document (UTF-8) in code page 932.
std::string toCp932Markup(const std::string& utf8) {
    const std::string_view all(utf8);
    std::string out;
    std::size_t done = 0;  // bytes of utf8 already in out
    auto convertTo = [&](std::size_t to) {
        out += text::toCp932OrReferences(all.substr(done, to - done));
        done = to;
    };
    for (std::size_t pos = all.find('<'); pos != std::string_view::npos; pos = all.find('<', pos + 1)) {
        // Tags and end tags are passed at their first byte: markup of
        // another kind begins "<!" or "<?".
        if (pos + 1 >= all.size() || (all[pos + 1] != '!' && all[pos + 1] != '?')) continue;
        std::string_view open, close;
        std::string field;
        if (all.compare(pos, 9, "<![CDATA[") == 0) {
            open = "<![CDATA[", close = "]]>", field = "#cdata-section";
        } else if (all.compare(pos, 4, "<!--") == 0) {
            open = "<!--", close = "-->", field = "#comment";
        } else if (all[pos + 1] == '?') {
            open = "<?", close = "?>";
            field = "<?" + std::string(all.substr(pos + 2, all.find_first_of(" \t\r\n?", pos + 2) - pos - 2)) + "?>";
        } else {
            continue;  // a document type: what it holds is read as the references stand
        }
        const std::size_t begin = pos + open.size();
        const std::size_t end = all.find(close, begin);
        if (end == std::string_view::npos) break;
        std::string_view content = all.substr(begin, end - begin);
        char32_t cp = 0;
        std::size_t length = 0;
        std::size_t at = firstOneWay(content, cp, length);
        pos = end + close.size() - 1;
        if (at == std::string_view::npos) continue;
        if (open != "<![CDATA[") throw oneWayError(field, cp, "保存しません。");
        convertTo(begin - open.size());
        while (!content.empty()) {
            if (at == std::string_view::npos) at = content.size();
            if (at > 0) {
                out += open;
                out += text::toCp932OrReferences(content.substr(0, at));
                out += close;
            }
            if (at == content.size()) break;
            out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
            content.remove_prefix(at + length);
            at = firstOneWay(content, cp, length);
        }
        done = end + close.size();
    }
    if (done == 0) return text::toCp932OrReferences(all);
    convertTo(all.size());
    return out;
}

std::string convertWhole(const std::string& utf8, const std::string& encoding) {
    EncodingHandler handler(xmlFindCharEncodingHandler(encoding.c_str()));
    if (!handler) throw Error(errnum::PathFileAccessError, "保存できない文字コードです: " + encoding);
    auto [in, out] = bufferPair();
    if (xmlBufferAdd(in.get(), U(utf8), static_cast<int>(utf8.size())) != 0)
        throw Error::standard(errnum::OutOfMemory);
    // The first call may only write a byte order mark; go on until all is taken.
    int rc = xmlCharEncOutFunc(handler.get(), out.get(), nullptr);
    while (rc >= 0 && xmlBufferLength(in.get()) > 0) {
        int before = xmlBufferLength(in.get());
        rc = xmlCharEncOutFunc(handler.get(), out.get(), in.get());
        if (xmlBufferLength(in.get()) == before) break;
    }
    if (rc < 0 || xmlBufferLength(in.get()) != 0)
        throw Error(errnum::PathFileAccessError, "XML を書き出せませんでした: " + encoding);
    return contentOf(out);
}

}  // namespace

struct DocImpl : std::enable_shared_from_this<DocImpl> {
    xmlDocPtr doc = nullptr;
    bool preserve = false;
    ParseError error;
    // Nodes created or removed that hang in no tree; freed with the document.
    std::unordered_set<xmlNodePtr> orphans;

    DocImpl() { fresh(); }
    ~DocImpl() { release(); }
    DocImpl(const DocImpl&) = delete;
    DocImpl& operator=(const DocImpl&) = delete;

    void fresh() {
        doc = xmlNewDoc(BAD_CAST "1.0");
        if (!doc) throw Error::standard(errnum::OutOfMemory);
        doc->_private = this;
    }

    void release() {
        for (xmlNodePtr n : orphans)
            if (n->parent == nullptr && n->doc == doc) xmlFreeNode(n);
        orphans.clear();
        if (doc) xmlFreeDoc(doc);
        doc = nullptr;
    }

    void replace(xmlDocPtr d) {
        release();
        doc = d;
        doc->_private = this;
    }

    // After a failed load the document is empty, never the previous content:
    // a caller that missed the failure must not save stale data back.
    void clear() {
        xmlDocPtr d = xmlNewDoc(BAD_CAST "1.0");
        if (!d) throw Error::standard(errnum::OutOfMemory);
        replace(d);
    }

    static DocImpl* of(xmlNodePtr n) { return n && n->doc ? static_cast<DocImpl*>(n->doc->_private) : nullptr; }

    // A handle that keeps alive the document the node belongs to now. A node
    // moved to another document must not hang on the one it came from: that
    // one may go away and take the node's new owner's memory rules with it.
    static Node node(xmlNodePtr n, const std::shared_ptr<DocImpl>& fallback) {
        if (!n) return Node();
        DocImpl* owner = of(n);
        if (owner) return Node(owner->shared_from_this(), n);
        return Node(fallback, n);
    }

    void orphan(xmlNodePtr n) { orphans.insert(n); }
    static void adopt(xmlNodePtr n) {
        if (DocImpl* owner = of(n)) owner->orphans.erase(n);
    }
};

void registerEncodings() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // Shift_JIS in every spelling means code page 932: the field's files
        // hold NEC and IBM extensions ("①", "㈱", "髙") that plain Shift_JIS lacks.
        for (const char* alias : {"SHIFT_JIS", "SHIFT-JIS", "SHIFTJIS", "SJIS", "MS_KANJI", "CSSHIFTJIS",
                                  "WINDOWS-31J", "MS932", "X-SJIS", "X-MS-CP932", "CP932"}) {
            xmlAddEncodingAlias("CP932", alias);
        }
    });
}

// ---------------------------------------------------------------- Node

NodeType Node::type() const {
    if (!node_) return NodeType::Other;
    switch (X(node_)->type) {
    case XML_ELEMENT_NODE: return NodeType::Element;
    case XML_ATTRIBUTE_NODE: return NodeType::Attribute;
    case XML_TEXT_NODE: return NodeType::Text;
    case XML_CDATA_SECTION_NODE: return NodeType::CData;
    case XML_PI_NODE: return NodeType::ProcessingInstruction;
    case XML_COMMENT_NODE: return NodeType::Comment;
    case XML_DOCUMENT_NODE: return NodeType::Document;
    default: return NodeType::Other;
    }
}

std::string Node::nodeName() const {
    if (!node_) return {};
    xmlNodePtr n = X(node_);
    switch (n->type) {
    case XML_TEXT_NODE: return "#text";
    case XML_CDATA_SECTION_NODE: return "#cdata-section";
    case XML_COMMENT_NODE: return "#comment";
    case XML_DOCUMENT_NODE: return "#document";
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        if (n->ns && n->ns->prefix) return S(n->ns->prefix) + ":" + S(n->name);
        return S(n->name);
    default: return S(n->name);
    }
}

std::string Node::text() const {
    if (!node_) return {};
    xmlNodePtr n = X(node_);
    if (n->type == XML_DOCUMENT_NODE) {
        std::string out;
        for (xmlNodePtr c = n->children; c; c = c->next)
            if (c->type == XML_ELEMENT_NODE) out += take(xmlNodeGetContent(c));
        return out;
    }
    return take(xmlNodeGetContent(n));
}

void Node::setText(const std::string& value) {
    if (!node_) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr n = X(node_);
    checkFor(n, value);
    checkCp932Markup(n, value);
    switch (n->type) {
    case XML_ELEMENT_NODE: {
        xmlNodePtr c = n->children;
        while (c) {
            xmlNodePtr next = c->next;
            xmlUnlinkNode(c);
            xmlFreeNode(c);
            c = next;
        }
        if (!value.empty()) {
            OwnedNode text(xmlNewDocTextLen(n->doc, U(value), static_cast<int>(value.size())));
            if (!text || !xmlAddChild(n, text.get())) throw Error::standard(errnum::OutOfMemory);
            static_cast<void>(text.release());
        }
        break;
    }
    case XML_ATTRIBUTE_NODE:
        if (!xmlSetNsProp(n->parent, n->ns, n->name, U(value))) throw Error::standard(errnum::OutOfMemory);
        break;
    default:
        xmlNodeSetContentLen(n, nullptr, 0);
        xmlNodeAddContentLen(n, U(value), static_cast<int>(value.size()));
        break;
    }
}

void Node::setTextAsLoaded(const std::string& value) {
    if (!node_) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr n = X(node_);
    const DocImpl* impl = DocImpl::of(n);
    const bool kept = (impl && impl->preserve) || keepsBlankText(n);
    const bool blank = value.find_first_not_of(" \t\r\n") == std::string::npos;
    setText(n->type == XML_ELEMENT_NODE && !kept && blank ? std::string() : value);
}

std::string Node::getAttribute(const std::string& name) const {
    if (!node_ || X(node_)->type != XML_ELEMENT_NODE) return {};
    for (xmlAttrPtr a = X(node_)->properties; a; a = a->next) {
        if (Node(doc_, a).nodeName() == name) return take(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a)));
    }
    return {};
}

bool Node::hasAttribute(const std::string& name) const {
    if (!node_ || X(node_)->type != XML_ELEMENT_NODE) return false;
    for (xmlAttrPtr a = X(node_)->properties; a; a = a->next)
        if (Node(doc_, a).nodeName() == name) return true;
    return false;
}

void Node::setAttribute(const std::string& name, const std::string& value) {
    if (!node_ || X(node_)->type != XML_ELEMENT_NODE) throw Error::standard(errnum::ObjectNotSet);
    checkName(name);
    checkValue(fieldOf(X(node_)) + "/@" + name, value);
    for (xmlAttrPtr a = X(node_)->properties; a; a = a->next) {
        if (Node(doc_, a).nodeName() == name) {
            if (!xmlSetNsProp(X(node_), a->ns, a->name, U(value))) throw Error::standard(errnum::OutOfMemory);
            return;
        }
    }
    if (!xmlSetProp(X(node_), U(name), U(value))) throw Error::standard(errnum::OutOfMemory);
}

void Node::removeAttribute(const std::string& name) {
    if (!node_ || X(node_)->type != XML_ELEMENT_NODE) return;
    for (xmlAttrPtr a = X(node_)->properties; a; a = a->next) {
        if (Node(doc_, a).nodeName() == name) {
            xmlRemoveProp(a);
            return;
        }
    }
}

std::vector<std::pair<std::string, std::string>> Node::attributes() const {
    std::vector<std::pair<std::string, std::string>> out;
    if (!node_ || X(node_)->type != XML_ELEMENT_NODE) return out;
    for (xmlAttrPtr a = X(node_)->properties; a; a = a->next)
        out.emplace_back(Node(doc_, a).nodeName(), take(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a))));
    return out;
}

Node Node::parentNode() const {
    if (!node_ || !X(node_)->parent) return {};
    return DocImpl::node(X(node_)->parent, doc_);
}

Node Node::firstChild() const {
    if (!node_ || X(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return DocImpl::node(X(node_)->children, doc_);
}

Node Node::lastChild() const {
    if (!node_ || X(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return DocImpl::node(X(node_)->last, doc_);
}

Node Node::nextSibling() const {
    if (!node_ || X(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return DocImpl::node(X(node_)->next, doc_);
}

Node Node::previousSibling() const {
    if (!node_ || X(node_)->type == XML_ATTRIBUTE_NODE) return {};
    return DocImpl::node(X(node_)->prev, doc_);
}

NodeList Node::childNodes() const {
    NodeList out;
    if (!node_ || X(node_)->type == XML_ATTRIBUTE_NODE) return out;
    for (xmlNodePtr c = X(node_)->children; c; c = c->next) out.push_back(DocImpl::node(c, doc_));
    return out;
}

namespace {

bool canHoldChildren(xmlNodePtr n) {
    return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE || n->type == XML_DOCUMENT_FRAG_NODE;
}

// Takes a node out of wherever it is and makes it belong to the document of `parent`.
xmlNodePtr detachFor(xmlNodePtr parent, xmlNodePtr child) {
    if (!parent || !child) throw Error::standard(errnum::ObjectNotSet);
    if (child->type == XML_DOCUMENT_NODE || child->type == XML_ATTRIBUTE_NODE || !canHoldChildren(parent))
        throw Error::standard(errnum::InvalidProcedureCall);
    for (xmlNodePtr p = parent; p; p = p->parent)
        if (p == child) throw Error::standard(errnum::InvalidProcedureCall);  // would make a cycle
    if (isDeclaration(child) && parent->type != XML_DOCUMENT_NODE)
        throw Error(errnum::InvalidProcedureCall, "XML 宣言は文書の直下にだけ置けます。");
    if (parent->type == XML_DOCUMENT_NODE) {
        // A document holds one root element and no text: anything else would
        // be saved as a file that no parser takes back.
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
            throw Error(errnum::InvalidProcedureCall, "文書の直下には文字列を置けません。");
        if (child->type == XML_ELEMENT_NODE)
            for (xmlNodePtr c = parent->children; c; c = c->next)
                if (c->type == XML_ELEMENT_NODE && c != child)
                    throw Error(errnum::InvalidProcedureCall, "文書の最上位の要素は一つだけです。");
    }
    if (child->parent) xmlUnlinkNode(child);
    else DocImpl::adopt(child);
    if (child->doc != parent->doc) xmlSetTreeDoc(child, parent->doc);
    return child;
}

// Namespace references of a moved or removed element may point at
// declarations on its old ancestors, which can be freed before it is: bind
// them to declarations in scope at the new place, or declare them on it.
void rebindNamespaces(xmlNodePtr n) {
    if (n->type == XML_ELEMENT_NODE && n->doc) xmlReconciliateNs(n->doc, n);
}

}  // namespace

Node Node::appendChild(const Node& child) {
    xmlNodePtr c = detachFor(X(node_), X(child.node_));
    // Append by hand: xmlAddChild would merge adjacent text nodes and free one.
    xmlNodePtr parent = X(node_);
    c->parent = parent;
    c->prev = parent->last;
    c->next = nullptr;
    if (parent->last) parent->last->next = c;
    else parent->children = c;
    parent->last = c;
    rebindNamespaces(c);
    Node placed = DocImpl::node(c, doc_);
    child.doc_ = placed.doc_;
    return placed;
}

Node Node::insertBefore(const Node& child, const Node& reference) {
    if (reference.isNull()) return appendChild(child);
    xmlNodePtr ref = X(reference.node_);
    if (!node_ || ref->parent != X(node_)) throw Error::standard(errnum::InvalidProcedureCall);
    if (ref == X(child.node_)) return DocImpl::node(ref, doc_);  // already in its place
    xmlNodePtr c = detachFor(X(node_), X(child.node_));
    c->parent = ref->parent;
    c->next = ref;
    c->prev = ref->prev;
    if (ref->prev) ref->prev->next = c;
    else ref->parent->children = c;
    ref->prev = c;
    rebindNamespaces(c);
    Node placed = DocImpl::node(c, doc_);
    child.doc_ = placed.doc_;
    return placed;
}

Node Node::removeChild(const Node& child) {
    xmlNodePtr c = X(child.node_);
    if (!node_ || !c || c->parent != X(node_)) throw Error::standard(errnum::InvalidProcedureCall);
    xmlUnlinkNode(c);
    rebindNamespaces(c);
    if (DocImpl* owner = DocImpl::of(c)) owner->orphan(c);
    return DocImpl::node(c, doc_);
}

Node Node::replaceChild(const Node& newChild, const Node& oldChild) {
    if (newChild == oldChild) return newChild;
    xmlNodePtr old = X(oldChild.node_);
    if (!node_ || !old || old->parent != X(node_)) throw Error::standard(errnum::InvalidProcedureCall);
    // Out first, so that a document's root element can be replaced.
    Node next = DocImpl::node(old->next, doc_);
    Node removed = removeChild(oldChild);
    try {
        return insertBefore(newChild, next);
    } catch (...) {
        insertBefore(removed, next);
        throw;
    }
}

Node Node::cloneNode(bool deep) const {
    if (!node_) return {};
    xmlNodePtr n = X(node_);
    if (n->type == XML_DOCUMENT_NODE) throw Error::standard(errnum::InvalidProcedureCall);
    xmlNodePtr copy = xmlDocCopyNode(n, n->doc, deep ? 1 : 2);
    if (!copy) throw Error::standard(errnum::OutOfMemory);
    if (DocImpl* owner = DocImpl::of(copy)) owner->orphan(copy);
    return DocImpl::node(copy, doc_);
}

NodeList Node::getElementsByTagName(const std::string& name) const {
    NodeList out;
    if (!node_) return out;
    // Iterative pre-order walk over the descendants.
    xmlNodePtr root = X(node_);
    xmlNodePtr n = root->type == XML_ATTRIBUTE_NODE ? nullptr : root->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE && (name == "*" || Node(doc_, n).nodeName() == name))
            out.push_back(DocImpl::node(n, doc_));
        if (n->children && n->type == XML_ELEMENT_NODE) {
            n = n->children;
            continue;
        }
        while (n && !n->next && n != root) n = n->parent;
        if (!n || n == root) break;
        n = n->next;
    }
    return out;
}

NodeList Node::selectNodes(const std::string& xpath) const {
    NodeList out;
    if (!node_) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr n = X(node_);
    xmlDocPtr d = n->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(n) : n->doc;
    XPathContext ctx(xmlXPathNewContext(d));
    if (!ctx) throw Error::standard(errnum::OutOfMemory);
    ctx.get()->node = n;
    ctx.get()->error = silentError;
    XPathResult res(xmlXPathEvalExpression(U(xpath), ctx.get()));
    if (!res) throw Error(errnum::InvalidProcedureCall, "XPath の式が不正です: " + xpath);
    if (res.get()->type == XPATH_NODESET && res.get()->nodesetval) {
        for (int i = 0; i < res.get()->nodesetval->nodeNr; ++i) {
            xmlNodePtr m = res.get()->nodesetval->nodeTab[i];
            if (m->type == XML_NAMESPACE_DECL) continue;
            out.push_back(DocImpl::node(m, doc_));
        }
    }
    return out;
}

Node Node::selectSingleNode(const std::string& xpath) const {
    NodeList all = selectNodes(xpath);
    return all.empty() ? Node() : all.front();
}

std::string Node::xml() const {
    if (!node_) return {};
    xmlNodePtr n = X(node_);
    if (n->type == XML_DOCUMENT_NODE) return Document(doc_).xml();
    if (isDeclaration(n)) return "<?xml " + S(n->content) + "?>";
    Utf8WhileWriting utf8(n->doc);
    Buffer buf(xmlBufferCreate());
    if (!buf) throw Error::standard(errnum::OutOfMemory);
    if (xmlNodeDump(buf.get(), n->doc, n, 0, 0) < 0) throw Error::standard(errnum::OutOfMemory);
    return contentOf(buf);
}

Document Node::ownerDocument() const {
    if (node_)
        if (DocImpl* owner = DocImpl::of(X(node_))) return Document(owner->shared_from_this());
    return Document(doc_);
}

// ---------------------------------------------------------------- Document

Document::Document() : impl_(std::make_shared<DocImpl>()) { registerEncodings(); }

const ParseError& Document::parseError() const { return impl_->error; }

bool ParseError::contentFault() const {
    return errorCode != 0 && errorCode != kFileNotFound && errorCode != XML_ERR_NO_MEMORY;
}

std::string ParseError::told() const {
    std::string out = reason;
    if (line > 0) out += " (行 " + std::to_string(line) + ")";
    return out + " [" + std::to_string(errorCode) + "]";
}
bool Document::preserveWhiteSpace() const { return impl_->preserve; }
void Document::setPreserveWhiteSpace(bool preserve) { impl_->preserve = preserve; }

namespace {

// What the entity references of one document may stand for, all of them
// together. A document from outside that declares one entity and refers to
// it thousands of times would otherwise cost gigabytes at the first text()
// or transform, and where memory is bounded read as empty text; the system's
// own documents use no entities at all.
constexpr std::size_t kMaxEntityText = std::size_t(1) << 20;

// The text the references of the parse in progress stand for, counted as the
// parser looks each reference up: a reference counts its entity's whole
// text, nested references included.
struct EntityBudget {
    xmlParserCtxtPtr parser = nullptr;  // the document's, stopped too when an entity's own parse passes the bound
    getEntitySAXFunc lookup = nullptr;
    std::size_t used = 0;
    bool exceeded = false;
    long line = 0;
    std::unordered_map<const xmlEntity*, std::size_t> sizes;  // kMaxEntityText + 1 while being counted
};
thread_local EntityBudget* tBudget = nullptr;

std::size_t expandedSize(xmlDocPtr doc, xmlEntityPtr ent) {
    if (!ent || ent->etype != XML_INTERNAL_GENERAL_ENTITY || !ent->content) return 0;
    constexpr std::size_t kOver = kMaxEntityText + 1;
    auto [at, fresh] = tBudget->sizes.emplace(ent, kOver);
    if (!fresh) return at->second;  // counted, or a loop (refused as over)
    std::size_t total = static_cast<std::size_t>(std::max(ent->length, 0));
    const char* text = reinterpret_cast<const char*>(ent->content);
    for (const char* amp = std::strchr(text, '&'); amp && total <= kMaxEntityText; amp = std::strchr(amp + 1, '&')) {
        const char* semi = std::strchr(amp, ';');
        if (!semi) break;
        if (amp[1] == '#') continue;
        const std::string name(amp + 1, semi);
        total += expandedSize(doc, xmlGetDocEntity(doc, U(name)));
    }
    total = std::min(total, kOver);
    tBudget->sizes[ent] = total;
    return total;
}

xmlEntityPtr countedEntity(void* ctx, const xmlChar* name) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    EntityBudget& budget = *tBudget;
    xmlEntityPtr ent = budget.lookup(ctx, name);
    if (ent && !budget.exceeded) {
        budget.used += expandedSize(ctxt->myDoc, ent);
        if (budget.used > kMaxEntityText) {
            budget.exceeded = true;
            budget.line = budget.parser->input ? budget.parser->input->line : 0;
            xmlStopParser(ctxt);
            if (budget.parser != ctxt) xmlStopParser(budget.parser);
            return nullptr;
        }
    }
    return budget.exceeded ? nullptr : ent;
}

class BudgetInForce {
public:
    BudgetInForce(EntityBudget& budget, xmlParserCtxtPtr parser) : previous_(tBudget) {
        budget.parser = parser;
        budget.lookup = parser->sax->getEntity ? parser->sax->getEntity : xmlSAX2GetEntity;
        parser->sax->getEntity = countedEntity;
        tBudget = &budget;
    }
    ~BudgetInForce() { tBudget = previous_; }
    BudgetInForce(const BudgetInForce&) = delete;
    BudgetInForce& operator=(const BudgetInForce&) = delete;

private:
    EntityBudget* previous_;
};

// One parse as a load makes it: the parser's own errors captured, the
// entity budget in force. With `nodes` false the parser reads the whole text
// and finds every fault a load would find, but makes no element, text or
// other node: the document it answers holds nothing.
class Parse {
public:
    Parse(xmlParserCtxtPtr parser, bool nodes) : ctxt_(made(parser)), counting_(budget_, parser) {
        capture_.attach(parser);
        parser->vctxt.error = nullptr;
        parser->vctxt.warning = nullptr;
        if (!nodes) {
            // The declarations of a DTD stay: the entities a text refers to
            // must be known to read it as a load reads it.
            xmlSAXHandler& sax = *parser->sax;
            sax.startElementNs = nullptr;
            sax.endElementNs = nullptr;
            sax.startElement = nullptr;
            sax.endElement = nullptr;
            sax.characters = nullptr;
            sax.ignorableWhitespace = nullptr;
            sax.cdataBlock = nullptr;
            sax.comment = nullptr;
            sax.processingInstruction = nullptr;
            sax.reference = nullptr;
        }
    }
    Parse(const Parse&) = delete;
    Parse& operator=(const Parse&) = delete;

    static constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

    xmlParserCtxtPtr get() const { return ctxt_.get(); }
    // Whether the parse has met a fault that decides it.
    [[nodiscard]] bool failed() const { return budget_.exceeded || !ctxt_.get()->wellFormed; }

    // The document the parse made, or null with the first error in `error`.
    OwnedDocument verdict(OwnedDocument d, const std::string& url, ParseError& error) const {
        error = {};
        error.url = url;
        if (budget_.exceeded) {
            error.errorCode = XML_ERR_ENTITY_LOOP;
            error.reason = "実体参照が表す文字列が上限 (" + std::to_string(kMaxEntityText) +
                           " バイト) を超えるため読み込みません: " +
                           (url.empty() ? std::string("(文字列から読み込む文書)") : url);
            error.line = budget_.line;
            return OwnedDocument(nullptr);
        }
        if (!d || !ctxt_.get()->wellFormed) {
            const xmlError* e = capture_.first() ? capture_.first() : xmlCtxtGetLastError(ctxt_.get());
            error.errorCode = e && e->code ? e->code : 1;
            error.reason = e && e->message ? e->message : "XML の解析に失敗しました。";
            while (!error.reason.empty() && error.reason.back() == '\n') error.reason.pop_back();
            error.line = e ? e->line : 0;
            return OwnedDocument(nullptr);
        }
        return d;
    }

private:
    static xmlParserCtxtPtr made(xmlParserCtxtPtr parser) {
        if (!parser) throw Error::standard(errnum::OutOfMemory);
        return parser;
    }

    ParserContext ctxt_;
    ErrorCapture capture_;
    EntityBudget budget_;
    BudgetInForce counting_;
};

// Parses the bytes as a load does: the document, or null with the first
// error in `error`; with `nodes` false no node is made (see Parse).
OwnedDocument parseBytes(const std::string& bytes, const std::string& url, bool nodes, ParseError& error) {
    Parse parse(xmlNewParserCtxt(), nodes);
    OwnedDocument d(xmlCtxtReadMemory(parse.get(), bytes.data(), static_cast<int>(bytes.size()),
                                      url.empty() ? nullptr : url.c_str(), nullptr, Parse::kOptions));
    return parse.verdict(std::move(d), url, error);
}

bool parseInto(DocImpl& impl, const std::string& bytes, const std::string& url) {
    // The declaration is kept as a node of its own, as the field's files expect.
    std::size_t start = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    std::string declData;
    bool hasDecl = false;
    if (bytes.compare(start, 5, "<?xml") == 0 && bytes.size() > start + 5 &&
        std::strchr(" \t\r\n", bytes[start + 5])) {
        auto end = bytes.find("?>", start);
        if (end != std::string::npos) {
            hasDecl = true;
            declData = bytes.substr(start + 6, end - start - 6);
            while (!declData.empty() && std::strchr(" \t\r\n", declData.back())) declData.pop_back();
            while (!declData.empty() && std::strchr(" \t\r\n", declData.front())) declData.erase(0, 1);
        }
    }
    OwnedDocument d = parseBytes(bytes, url, true, impl.error);
    if (!d) {
        impl.clear();
        return false;
    }
    xmlNodePtr top = reinterpret_cast<xmlNodePtr>(d.get());
    if (!impl.preserve) dropBlankText(top, false);
    if (hasDecl) {
        OwnedNode pi(xmlNewDocPI(d.get(), BAD_CAST "xml", U(declData)));
        if (!pi) throw Error::standard(errnum::OutOfMemory);
        xmlNodePtr placed = top->children ? xmlAddPrevSibling(top->children, pi.get()) : xmlAddChild(top, pi.get());
        if (!placed) throw Error::standard(errnum::OutOfMemory);
        static_cast<void>(pi.release());
    }
    impl.replace(d.release());
    return true;
}

ParseError unreadable(const std::string& path, const Error& why) {
    ParseError error;
    error.errorCode = kFileNotFound;
    error.reason = why.description() + " " + path;
    error.url = path;
    return error;
}

// The file's bytes and its real spelling, read as a load reads them; false
// with the error when it cannot be read.
bool readForLoad(const std::string& path, std::string& bytes, std::string& url, ParseError& error) {
    // The real spelling becomes the document's URL: style sheets find the
    // files they include relative to it.
    url = fs::resolve(path).value_or(path);
    try {
        bytes = fs::readFile(url);
        return true;
    } catch (const Error& e) {
        error = unreadable(path, e);
        return false;
    }
}

}  // namespace

bool Document::load(const std::string& path) {
    std::string bytes, url;
    if (!readForLoad(path, bytes, url, impl_->error)) {
        impl_->clear();
        return false;
    }
    return parseInto(*impl_, bytes, url);
}

bool Document::loadBytes(const std::string& bytes) { return parseInto(*impl_, bytes, {}); }

ParseError checkFile(const std::string& path) {
    registerEncodings();
    const std::string url = fs::resolve(path).value_or(path);
    // Parsed as it is read: the check of a store that has grown for years
    // holds neither its bytes nor its text whole.
    Parse parse(xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, url.c_str()), false);
    (void)xmlCtxtUseOptions(parse.get(), Parse::kOptions);
    // A byte the encoding lacks is told on the generic channel only.
    const QuietXmlGenericErrors quiet;
    bool fault = false;
    try {
        fs::readInPieces(url, std::size_t(1) << 16, [&](std::string_view piece) {
            fault = xmlParseChunk(parse.get(), piece.data(), static_cast<int>(piece.size()), 0) != 0 || parse.failed();
            return !fault;
        });
    } catch (const Error& e) {
        return unreadable(path, e);
    }
    if (!fault) fault = xmlParseChunk(parse.get(), nullptr, 0, 1) != 0;
    OwnedDocument d(std::exchange(parse.get()->myDoc, nullptr));
    ParseError error;
    if (parse.verdict(std::move(d), url, error) && !fault) return error;
    // A parse in pieces tells some faults in other words than a load: a
    // file that fails is read again whole for the load's own.
    std::string bytes, again;
    if (readForLoad(path, bytes, again, error)) parseBytes(bytes, again, false, error);
    return error;
}

bool Document::loadXML(const std::string& text) {
    // A string is already Unicode: an encoding in its declaration is ignored.
    std::string bytes = text;
    std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (bytes.compare(start, 5, "<?xml") == 0) {
        auto end = bytes.find("?>", start);
        if (end != std::string::npos) {
            std::string decl = bytes.substr(start, end - start);
            std::string enc = encodingOf(decl);
            if (!enc.empty()) {
                // Parse as UTF-8 but keep the declared name in the declaration node.
                DocImpl& impl = *impl_;
                std::string patched = bytes;
                auto p = patched.find(enc, start);
                patched.replace(p, enc.size(), "UTF-8");
                if (!parseInto(impl, patched, {})) return false;
                xmlNodePtr first = impl.doc->children;
                if (isDeclaration(first)) {
                    std::string data = S(first->content);
                    auto q = data.find("UTF-8");
                    if (q != std::string::npos) data.replace(q, 5, enc);
                    xmlNodeSetContent(first, U(data));
                }
                return true;
            }
        }
    }
    return parseInto(*impl_, bytes, {});
}

std::string Document::saveToString() const {
    xmlDocPtr d = impl_->doc;
    xmlNodePtr decl = nullptr;
    for (xmlNodePtr c = d->children; c; c = c->next)
        if (isDeclaration(c)) { decl = c; break; }
    std::string declData = decl ? S(decl->content) : std::string();
    std::string encoding = encodingOf(declData);
    if (encoding.empty()) encoding = "UTF-8";

    // An encoding in which "<" is no single byte (UTF-16 and its kin) cannot
    // be written node by node between ASCII line ends: write UTF-8, then
    // convert the whole text. Every character has a form there.
    std::string wholeEncoding;
    if (!asciiCompatible(encoding)) {
        wholeEncoding = encoding;
        encoding = "UTF-8";
    }
    // Code page 932 is written from UTF-8 by our own converter: the
    // library's would write a look-alike for some characters (U+301C as the
    // bytes of U+FF5E), where ours writes a character reference, so that the
    // file reads back as it was written.
    const bool cp932 = isCp932(encoding);
    if (cp932) encoding = "UTF-8";

    // Each top-level node is written on its own line, the declaration first,
    // exactly as it reads; lines end in CR LF as the field's files do.
    Utf8WhileWriting utf8(d);
    ErrorCapture capture;
    std::string out;
    if (decl) out = "<?xml " + declData + "?>\r\n";
    for (xmlNodePtr c = d->children; c; c = c->next) {
        // A second declaration (one added to a loaded document that had one)
        // would make a file no parser takes back.
        if (isDeclaration(c)) continue;
        Buffer buf(xmlBufferCreate());
        // Grown by doubling: grown exactly, a large store is copied once per write.
        if (buf) xmlBufferSetAllocationScheme(buf.get(), XML_BUFFER_ALLOC_DOUBLEIT);
        SaveContext ctxt(buf ? xmlSaveToBuffer(buf.get(), encoding.c_str(), XML_SAVE_NO_DECL) : nullptr);
        if (!ctxt)
            throw Error(errnum::PathFileAccessError, "保存できない文字コードです: " + encoding + " " + capture.message());
        long rc = xmlSaveTree(ctxt.get(), c);
        // The close writes what is still held back: its answer counts.
        int closeRc = xmlSaveClose(ctxt.release());
        if (rc < 0 || closeRc < 0)
            throw Error(errnum::PathFileAccessError, "XML を書き出せませんでした。" + capture.message());
        out += contentOf(buf);
        out += "\r\n";
    }
    if (cp932) out = toCp932Markup(out);
    if (!wholeEncoding.empty()) out = convertWhole(out, wholeEncoding);
    return out;
}

void Document::save(const std::string& path) const {
    fs::writeFileAtomic(path, saveToString());
}

Node Document::documentElement() const {
    xmlNodePtr root = xmlDocGetRootElement(impl_->doc);
    return root ? Node(impl_, root) : Node();
}

void* Document::rawDocument() const { return impl_->doc; }

Node Document::asNode() const { return Node(impl_, reinterpret_cast<xmlNodePtr>(impl_->doc)); }

Node Document::createElement(const std::string& name) const {
    checkName(name);
    xmlNodePtr n = xmlNewDocNode(impl_->doc, nullptr, U(name), nullptr);
    if (!n) throw Error::standard(errnum::OutOfMemory);
    impl_->orphan(n);
    return Node(impl_, n);
}

Node Document::createTextNode(const std::string& text) const {
    checkValue("#text", text);
    xmlNodePtr n = xmlNewDocTextLen(impl_->doc, U(text), static_cast<int>(text.size()));
    if (!n) throw Error::standard(errnum::OutOfMemory);
    impl_->orphan(n);
    return Node(impl_, n);
}

Node Document::createComment(const std::string& text) const {
    checkDelimited("#comment", text, "--", true);
    xmlNodePtr n = xmlNewDocComment(impl_->doc, U(text));
    if (!n) throw Error::standard(errnum::OutOfMemory);
    impl_->orphan(n);  // freed with the document, also when refused here
    checkCp932Markup(n, text);
    return Node(impl_, n);
}

Node Document::createCDATASection(const std::string& text) const {
    checkDelimited("#cdata-section", text, "]]>", false);
    xmlNodePtr n = xmlNewCDataBlock(impl_->doc, U(text), static_cast<int>(text.size()));
    if (!n) throw Error::standard(errnum::OutOfMemory);
    impl_->orphan(n);
    return Node(impl_, n);
}

Node Document::createProcessingInstruction(const std::string& target, const std::string& data) const {
    checkName(target);
    checkDelimited("<?" + target + "?>", data, "?>", false);
    xmlNodePtr n = xmlNewDocPI(impl_->doc, U(target), U(data));
    if (!n) throw Error::standard(errnum::OutOfMemory);
    impl_->orphan(n);  // freed with the document, also when refused here
    checkCp932Markup(n, data);
    return Node(impl_, n);
}

std::string Document::xml() const {
    std::string out;
    bool declared = false;
    for (xmlNodePtr c = impl_->doc->children; c; c = c->next) {
        if (isDeclaration(c)) {
            if (declared) continue;
            declared = true;
        }
        out += Node(impl_, c).xml();
        out += "\r\n";
    }
    return out;
}

Document Document::clone() const {
    Document copy;
    xmlDocPtr d = xmlCopyDoc(impl_->doc, 1);
    if (!d) throw Error::standard(errnum::OutOfMemory);
    copy.impl_->replace(d);
    copy.impl_->preserve = impl_->preserve;
    return copy;
}

std::string xpathLiteral(const std::string& value) {
    if (value.find('\'') == std::string::npos) return "'" + value + "'";
    if (value.find('"') == std::string::npos) return "\"" + value + "\"";
    // Both quote kinds: concat('a', "'", 'b').
    std::string out = "concat(";
    std::size_t start = 0;
    bool first = true;
    while (start <= value.size()) {
        std::size_t q = value.find('\'', start);
        std::string part = value.substr(start, q == std::string::npos ? std::string::npos : q - start);
        if (!first) out += ", ";
        out += "'" + part + "'";
        first = false;
        if (q == std::string::npos) break;
        out += ", \"'\"";
        start = q + 1;
    }
    return out + ")";
}

}  // namespace fg::xml
