// One pass over the bytes of a stored XML file, for the state files that
// grow for years (the send log, the management-number store): a reader that
// needs a few records finds them without making a node of the file, and a
// writer copies the file's bytes with its one change spliced in.
//
// The scan reads the whole file and checks it whole, but it knows only the
// plain form the system's files take: a declaration of version 1.0 in UTF-8
// or Shift_JIS (code page 932), elements without attributes, text with the
// predefined and character references, white space between elements.
// Anything else it does not judge (understood() false): comments, processing
// instructions, CDATA, a document type, attributes, namespaces, another
// encoding, and every fault (a broken tag, a byte the encoding lacks, a
// character XML forbids, an unknown reference, a mismatched end tag). The
// caller then loads the file as a Document, which gives the parser's verdict
// and the parser's reason. A file the scan understands is one a load takes,
// and the scan sees the same elements and texts the load makes.
//
// canonical() tells, besides, that the bytes are exactly those that
// Document::save writes for the document a load makes of them: the
// declaration and the root each on a line ended by CR LF, no white space
// between elements, an empty element written <a/>, text escaped as the save
// escapes it, every character in the form the save gives it. Only then may a
// writer splice: what it writes is what a load, the change and a save would
// have written, byte for byte. Every save of the system writes this form, so
// a file is in it from its first save on.
#pragma once

#include "platform/xml.h"

#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::xml {

// Byte offsets into the scanned file, `end` past the last byte.
struct ByteSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// An element, or a text that a load keeps (white-space-only text is
// dropped), inside an element's content.
struct ScannedNode {
    bool element = true;
    std::string_view name;  // elements only
    ByteSpan whole;         // the start tag to past the end tag; a text: its bytes
    ByteSpan content;       // between the tags; empty for <a/>
    int depth = 0;          // 0 for a child of the element asked about
};

class ScannedFile {
public:
    // Scans the bytes of a file (fs::readFile reads them whole).
    explicit ScannedFile(std::string bytes);
    // Gives its bytes back for the next large read (fs::ReusedReads).
    ~ScannedFile();
    // What it answers points into its bytes: it stays where it was made.
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    [[nodiscard]] bool understood() const { return understood_; }
    [[nodiscard]] bool canonical() const { return understood_ && canonical_; }

    // Only for a file the scan understood:
    const std::string& bytes() const { return bytes_; }
    std::string_view rootName() const { return rootName_; }
    // The root element's child elements, in document order, found as they
    // are walked: a file of a million records keeps no table of them.
    class TopElements {
    public:
        class iterator {
        public:
            using value_type = ScannedNode;
            using difference_type = std::ptrdiff_t;
            const ScannedNode& operator*() const { return node_; }
            const ScannedNode* operator->() const { return &node_; }
            iterator& operator++() {
                more_ = file_->nextTop(pos_, node_);
                return *this;
            }
            void operator++(int) { ++*this; }
            bool operator==(std::default_sentinel_t) const { return !more_; }

        private:
            friend class TopElements;
            explicit iterator(const ScannedFile& file) : file_(&file), pos_(file.rootContent_.begin) { ++*this; }
            const ScannedFile* file_;
            std::size_t pos_;
            ScannedNode node_;
            bool more_ = false;
        };
        iterator begin() const { return iterator(file_); }
        std::default_sentinel_t end() const { return {}; }

    private:
        friend class ScannedFile;
        explicit TopElements(const ScannedFile& file) : file_(file) {}
        const ScannedFile& file_;
    };
    TopElements topElements() const { return TopElements(*this); }
    // How many of the root's child elements bear the name, counted by the scan.
    std::size_t topElementsNamed(std::string_view name) const;
    // The root's content; for a root written <a/> its begin and end are the
    // "/" of the tag, and rootEmptyTag() is true.
    ByteSpan rootContent() const { return rootContent_; }
    [[nodiscard]] bool rootEmptyTag() const { return rootEmptyTag_; }
    // Whether the file was understood, its root is named `root`, and no
    // other element of a name that begins so lies within it: then the
    // root's children of a name are all the elements of that name a walk of
    // the root's children meets.
    [[nodiscard]] bool understoodWithSoleRoot(std::string_view root) const;

    // The nodes of an element's content, in document order: its children
    // only, or with `deep` every descendant (depth counts the levels). With
    // a limit, the walk ends after that many children (and what they hold):
    // a reader that looks at a record's first fields walks no further.
    void nodesIn(ByteSpan content, std::vector<ScannedNode>& out, bool deep,
                 std::size_t limit = static_cast<std::size_t>(-1)) const;
    // The text of the element whose content this is, as Node::text reads it
    // (every descendant text joined, references resolved, line ends as a
    // load makes them), in UTF-8.
    std::string text(ByteSpan content) const;
    // Whether that text is `wanted`, or begins with `prefix`: told from the
    // bytes where they stand when they are plain ASCII (as numbers and codes
    // are written), without making the text.
    [[nodiscard]] bool textIs(ByteSpan content, std::string_view wanted) const;
    // That text where the bytes give it as they stand (plain ASCII, no
    // reference, tag or CR; white space alone gives ""), else nullopt.
    std::optional<std::string_view> plainText(ByteSpan content) const;
    [[nodiscard]] bool textStartsWith(ByteSpan content, std::string_view prefix) const;

    // The bytes of one element of a canonical file after a change: the
    // element is loaded alone as the file's document, changed, and written as
    // the save writes it. `change` gets the document and its root, the element.
    std::string reworked(ByteSpan whole, const std::function<void(Document&, Node&)>& change) const;
    // The bytes of a new element as a save of this file writes it: `build`
    // makes the element in a document that carries the file's declaration
    // and answers it (it may have placed it in that document already, so as
    // to set its values where they stand).
    std::string fragment(const std::function<Node(Document&)>& build) const;
    // A document of the file's declaration and root holding copies of these
    // elements only (spans of elements under the root, in file order), as a
    // load of the file would have made them: a reader hands a few records
    // on as nodes without making nodes of the whole file.
    Document excerpt(const std::vector<ByteSpan>& elements) const;

private:
    void scan();
    // The root's next child element from `pos` on, `pos` moved past it;
    // false when there is none.
    bool nextTop(std::size_t& pos, ScannedNode& out) const;
    // The head of the file up to its root (the declaration line), as a save writes it.
    std::string_view head() const { return std::string_view(bytes_).substr(0, rootStart_); }
    std::string written(const Document& doc) const;

    std::string bytes_;
    bool understood_ = false;
    bool canonical_ = true;
    bool cp932_ = false;
    std::string declarationData_;
    bool hasDeclaration_ = false;
    std::size_t rootStart_ = 0;
    std::string_view rootName_;
    ByteSpan rootContent_;
    bool rootEmptyTag_ = false;
    // The names of the root's child elements and how many bear each.
    std::vector<std::pair<std::string_view, std::size_t>> topNames_;
};

// Whether the file loads, told without a load: in one pass of the scan
// where it understands the file (a few times faster than the parser on the
// large state files), else by checkFile. Raises nothing.
[[nodiscard]] bool fileLoads(const std::string& path);

// A canonical scanned file written again from its own bytes with elements
// replaced or removed and new ones added after the root's last child: the
// untouched bytes are copied as they are, never put together in memory.
// How often a start tag of the name stands in the bytes: where it is more
// often than the root's children of that name, some stand deeper, where a
// walk of every element of the name would meet them too.
std::size_t startTags(std::string_view bytes, std::string_view name);

class SplicedWrite {
public:
    explicit SplicedWrite(const ScannedFile& file) : file_(file) {}

    // Replaces an element's bytes (empty bytes remove it). Spans are given
    // in file order and never overlap.
    void replace(ByteSpan whole, std::string bytes);
    // Adds bytes after the root's last child (the root has an end tag).
    void appendToRoot(std::string bytes);
    // Writes the file atomically (temporary file, fsync, rename); raises
    // fg::Error as fs::writeFileAtomic does.
    void save(const std::string& path) const;

private:
    const ScannedFile& file_;
    std::vector<std::pair<ByteSpan, std::string>> replaced_;
    std::vector<std::string> appended_;
};

}  // namespace fg::xml
