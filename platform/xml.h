// The system's one XML document object model, over libxml2.
//
// It keeps the rules the rest of the system relies on:
// - white-space-only text is dropped on load unless preserveWhiteSpace is set first;
// - the XML declaration is the document's first child node (a processing
//   instruction named "xml"), and a new document gets one from
//   createProcessingInstruction("xml", ...);
// - text() is the concatenation of all descendant text; setText replaces the children;
// - node lists are snapshots, so a caller may move nodes while walking them;
// - save writes no indentation, keeps the declaration's encoding, and is atomic.
// Every spelling of Shift_JIS is read and written as code page 932.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fg::xml {

struct DocImpl;
class Document;

enum class NodeType { Element, Attribute, Text, CData, ProcessingInstruction, Comment, Document, Other };

class Node;
using NodeList = std::vector<Node>;

// A handle to a node. A null handle (from a failed lookup) answers isNull().
class Node {
public:
    Node() = default;

    [[nodiscard]] bool isNull() const { return node_ == nullptr; }
    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const Node& other) const { return node_ == other.node_; }

    NodeType type() const;
    // Element or attribute name, "#text", "#comment", "#document", or the
    // target of a processing instruction ("xml" for the declaration).
    std::string nodeName() const;

    // All descendant text (for an attribute, its value; for a processing
    // instruction, its data).
    std::string text() const;
    // Replaces the children by one text node (an attribute: its value).
    void setText(const std::string& value);
    // setText as a save and a load keep it: on an element, a value of white
    // space alone, which a load drops (where the document does not preserve
    // white space), leaves the element empty. The node then reads now as it
    // reads after the document is saved and loaded again, and a save writes
    // what the save of that loaded document writes: a state file changed in
    // place of its bytes stays in that form. Whether the load keeps the blank
    // (xml:space, xsl:text) is told from the element's ancestors, so set the
    // text once the element is where it will be saved, not before it is
    // attached: a detached element drops a blank that its place may keep.
    void setTextAsLoaded(const std::string& value);

    // Attributes, in document order.
    std::string getAttribute(const std::string& name) const;  // "" when absent
    [[nodiscard]] bool hasAttribute(const std::string& name) const;
    void setAttribute(const std::string& name, const std::string& value);
    void removeAttribute(const std::string& name);
    std::vector<std::pair<std::string, std::string>> attributes() const;

    Node parentNode() const;
    Node firstChild() const;
    Node lastChild() const;
    Node nextSibling() const;
    Node previousSibling() const;
    NodeList childNodes() const;

    // appendChild/insertBefore of a node that is already in a tree (this or
    // another document) move it. They return the node in its new place, and
    // the handle passed in then keeps the node's new document alive.
    Node appendChild(const Node& child);
    Node insertBefore(const Node& child, const Node& reference);
    Node removeChild(const Node& child);
    Node replaceChild(const Node& newChild, const Node& oldChild);
    Node cloneNode(bool deep) const;

    // Descendant elements of that name (not the node itself), document order; "*" for all.
    NodeList getElementsByTagName(const std::string& name) const;
    // XPath 1.0, relative to this node. A bad expression raises fg::Error.
    NodeList selectNodes(const std::string& xpath) const;
    Node selectSingleNode(const std::string& xpath) const;

    // The node as XML text (UTF-8).
    std::string xml() const;

    Document ownerDocument() const;

private:
    friend class Document;
    friend struct DocImpl;
    friend void transformNodeToObject(const Node&, const Document&, Document&);
    Node(std::shared_ptr<DocImpl> doc, void* node) : doc_(std::move(doc)), node_(node) {}
    // The document that frees the node; follows the node when it moves.
    mutable std::shared_ptr<DocImpl> doc_;
    void* node_ = nullptr;  // xmlNodePtr
};

struct ParseError {
    long errorCode = 0;  // 0 when the last load succeeded
    std::string reason;
    long line = 0;
    std::string url;

    // The bytes were read and are at fault: they do not parse, or an
    // entity stands for more than a load allows. Not so for a file that
    // could not be read, nor for a parse that ran out of memory.
    bool contentFault() const;
    // The reason with the line and the error number, for a log.
    std::string told() const;
};

// A document. Copies of a Document share one document, like references.
class Document {
public:
    Document();

    // Loads a file (matched without regard to case) or a string. False on any
    // failure; parseError() tells why. The previous content is replaced, also
    // on failure: a failed load leaves the document empty. Node handles into
    // the previous content must not be used after a load.
    [[nodiscard]] bool load(const std::string& path);
    [[nodiscard]] bool loadXML(const std::string& text);
    // Loads the bytes of a file, read already, exactly as load reads them.
    [[nodiscard]] bool loadBytes(const std::string& bytes);
    const ParseError& parseError() const;

    [[nodiscard]] bool preserveWhiteSpace() const;
    void setPreserveWhiteSpace(bool preserve);

    // Writes the whole document atomically (temporary file, fsync, rename).
    // Raises fg::Error when the write fails.
    void save(const std::string& path) const;
    // The serialized document, encoded as its declaration says.
    std::string saveToString() const;

    Node documentElement() const;
    Node asNode() const;  // the document node: parent of the declaration and the root
    NodeList childNodes() const { return asNode().childNodes(); }
    Node appendChild(const Node& child) { return asNode().appendChild(child); }

    Node createElement(const std::string& name) const;
    Node createTextNode(const std::string& text) const;
    Node createComment(const std::string& text) const;
    Node createCDATASection(const std::string& text) const;
    Node createProcessingInstruction(const std::string& target, const std::string& data) const;

    NodeList getElementsByTagName(const std::string& name) const { return asNode().getElementsByTagName(name); }
    NodeList selectNodes(const std::string& xpath) const { return asNode().selectNodes(xpath); }
    Node selectSingleNode(const std::string& xpath) const { return asNode().selectSingleNode(xpath); }

    // UTF-8 text of the whole document, declaration included.
    std::string xml() const;

    // A deep copy that shares nothing with this one.
    Document clone() const;

    // The underlying libxml2 document (for the transform layer only).
    void* rawDocument() const;

private:
    friend class Node;
    explicit Document(std::shared_ptr<DocImpl> impl) : impl_(std::move(impl)) {}
    std::shared_ptr<DocImpl> impl_;
};

// Whether the file loads, without loading it: the file is read and parsed
// exactly as Document::load reads and parses it, and the same error told
// (errorCode 0 when it would load), but no node is made. For a check of a
// file that is not read further, which costs a fraction of a load of a
// large file.
ParseError checkFile(const std::string& path);

// Quotes a string for use as an XPath literal, whatever quotes it holds.
std::string xpathLiteral(const std::string& value);

// Registers code page 932 under every Shift_JIS spelling. Idempotent; the
// document and transform code call it, so callers never need to.
void registerEncodings();

}  // namespace fg::xml
