#include "platform/xslt.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/xml_handles.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/documents.h>
#include <libxslt/xsltutils.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fg::xml {

namespace {

void silent(void*, const char*, ...) {}

using Stylesheet = Owned<xsltStylesheetPtr, xsltFreeStylesheet>;
using TransformContext = Owned<xsltTransformContextPtr, xsltFreeTransformContext>;

// Silences the generic error output of libxml2 and libxslt for one
// transform, and gives the handlers that were in force back afterwards: a
// transform must not change what the rest of the process prints.
class QuietGenericErrors {
public:
    QuietGenericErrors() : xslt_(xsltGenericError), xsltContext_(xsltGenericErrorContext) {
        xsltSetGenericErrorFunc(nullptr, silent);
    }
    ~QuietGenericErrors() { xsltSetGenericErrorFunc(xsltContext_, xslt_); }
    QuietGenericErrors(const QuietGenericErrors&) = delete;
    QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

private:
    QuietXmlGenericErrors xml_;
    xmlGenericErrorFunc xslt_;
    void* xsltContext_;
};

// What one transform on this thread may read: the folders of its style sheet
// and of its source document, and why a read was refused or a file did not
// load, for the transform's error.
struct ReadScope {
    std::vector<std::string> folders;  // real paths, each ending with "/"
    std::string refusal;
};
thread_local ReadScope* tScope = nullptr;

// The real path of a file or folder, symbolic links and "..", "." resolved;
// "" when it cannot be told.
std::string realPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(fs::resolve(path).value_or(path), ec);
    return ec ? std::string() : p.string();
}

void allowFolderOf(ReadScope& scope, const xmlChar* url) {
    if (!url) return;
    std::string path = reinterpret_cast<const char*>(url);
    if (path.rfind("file://", 0) == 0) path.erase(0, 7);
    if (path.empty() || path.front() != '/') return;
    std::string folder = realPath(fs::folderOf(path));
    if (folder.empty()) return;
    if (folder.back() != '/') folder += '/';
    scope.folders.push_back(folder);
}

// A style sheet reads (include, import, document()) only files below its own
// folder or its source document's: a file name that comes from the
// document must not reach the rest of the machine.
int readWithinScope(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
    if (!tScope) return 0;
    if (!value || !*value) return 1;  // document(''): the style sheet itself, read already
    std::string path = value;
    if (path.rfind("file://", 0) == 0) path.erase(0, 7);
    const std::string real = path.empty() || path.front() != '/' ? std::string() : realPath(path);
    for (const std::string& folder : tScope->folders)
        if (!real.empty() && real.compare(0, folder.size(), folder) == 0) return 1;
    if (tScope->refusal.empty()) tScope->refusal = "読めない場所のファイルです: " + path;
    return 0;
}

void expandEntityReferences(xmlDocPtr doc);
OwnedDocument workingCopy(xmlNodePtr node);

// Files that a style sheet includes, imports or reads with document() are
// found without regard to case, as every file the system reads, and loaded
// as the system loads any document: within its bound on entity text, with
// no network and no outside DTD. Their entity references are expanded, as
// the transform's own inputs are.
xmlDocPtr loadBounded(const xmlChar* uri, xmlDictPtr, int, void*, xsltLoadType) {
    std::string path = uri ? reinterpret_cast<const char*>(uri) : "";
    if (path.rfind("file://", 0) == 0) path.erase(0, 7);
    if (!fs::resolve(path) && path.find('%') != std::string::npos) {
        // A name the URI escaped ("%20" for a blank).
        if (XmlString plain{BAD_CAST xmlURIUnescapeString(path.c_str(), 0, nullptr)})
            path = reinterpret_cast<const char*>(plain.get());
    }
    // A file that is not there gives document() no node, as it always has.
    if (!fs::resolve(path)) return nullptr;
    try {
        Document loaded;
        loaded.setPreserveWhiteSpace(true);  // the style sheet decides what is stripped
        if (!loaded.load(path)) {
            if (tScope && tScope->refusal.empty()) tScope->refusal = loaded.parseError().reason;
            return nullptr;
        }
        OwnedDocument copy = workingCopy(static_cast<xmlNodePtr>(loaded.rawDocument()));
        return copy.release();
    } catch (const Error& e) {
        if (tScope && tScope->refusal.empty()) tScope->refusal = e.description();
        return nullptr;
    }
}

// Replaces every entity reference by what its entity stands for: a transform
// sees no entity reference nodes and would drop their text. The load bounded
// the text all references stand for, so the copy stays within it.
void expandEntityReferences(xmlDocPtr doc) {
    xmlNodePtr top = reinterpret_cast<xmlNodePtr>(doc);
    xmlNodePtr n = top->children;
    while (n) {
        if (n->type == XML_ENTITY_REF_NODE) {
            xmlNodePtr parent = n->parent;
            xmlNodePtr next = n->next;
            xmlNodePtr list = nullptr;
            xmlEntityPtr ent = xmlGetDocEntity(doc, n->name);
            if (ent && ent->content && ent->etype == XML_INTERNAL_GENERAL_ENTITY && parent &&
                parent->type == XML_ELEMENT_NODE) {
                const int len = static_cast<int>(std::strlen(reinterpret_cast<const char*>(ent->content)));
                if (xmlParseInNodeContext(parent, reinterpret_cast<const char*>(ent->content), len,
                                          XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOERROR | XML_PARSE_NOWARNING,
                                          &list) != XML_ERR_OK) {
                    xmlFreeNodeList(list);
                    list = nullptr;
                }
            }
            if (!list) {
                // What the parse could not place, as text.
                XmlString text(xmlNodeGetContent(n));
                list = xmlNewDocText(doc, text ? text.get() : BAD_CAST "");
                if (!list) throw Error::standard(errnum::OutOfMemory);
            }
            // Linked by hand: xmlAddPrevSibling would merge text nodes and free some.
            xmlNodePtr first = list;
            for (xmlNodePtr c = list; c;) {
                xmlNodePtr following = c->next;
                if (c->doc != doc) xmlSetTreeDoc(c, doc);
                c->parent = n->parent;
                c->next = n;
                c->prev = n->prev;
                if (n->prev) n->prev->next = c;
                else if (n->parent) n->parent->children = c;
                n->prev = c;
                c = following;
            }
            xmlUnlinkNode(n);
            xmlFreeNode(n);
            // Nested references in the placed nodes are met again from `first`.
            n = first ? first : next;
            continue;
        }
        if (n->children && (n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE)) {
            n = n->children;
            continue;
        }
        while (n && !n->next && n != top) n = n->parent;
        if (!n || n == top) break;
        n = n->next;
    }
}

// Copies a document, minus the declaration node, which a transform must not
// see, and with its entity references expanded.
OwnedDocument workingCopy(xmlNodePtr node) {
    OwnedDocument copy;
    if (node->type == XML_DOCUMENT_NODE) {
        copy.reset(xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), 1));
        if (!copy) throw Error::standard(errnum::OutOfMemory);
    } else {
        copy.reset(xmlNewDoc(BAD_CAST "1.0"));
        if (!copy) throw Error::standard(errnum::OutOfMemory);
        if (node->doc && node->doc->URL) {
            copy.get()->URL = xmlStrdup(node->doc->URL);
            if (!copy.get()->URL) throw Error::standard(errnum::OutOfMemory);
        }
        OwnedNode n(xmlDocCopyNode(node, copy.get(), 1));
        if (!n || !xmlAddChild(reinterpret_cast<xmlNodePtr>(copy.get()), n.get()))
            throw Error::standard(errnum::OutOfMemory);
        static_cast<void>(n.release());
    }
    for (xmlNodePtr c = copy.get()->children; c;) {
        xmlNodePtr next = c->next;
        if (c->type == XML_PI_NODE && std::strcmp(reinterpret_cast<const char*>(c->name), "xml") == 0) {
            xmlUnlinkNode(c);
            xmlFreeNode(c);
        }
        c = next;
    }
    expandEntityReferences(copy.get());
    return copy;
}

}  // namespace

void transformNodeToObject(const Node& source, const Document& stylesheet, Document& output) {
    registerEncodings();
    static std::once_flag once;
    std::call_once(once, [] {
        // Style sheets may read files beside them, never write or reach the network.
        xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
        if (!prefs) throw Error::standard(errnum::OutOfMemory);
        for (xsltSecurityOption option : {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                          XSLT_SECPREF_WRITE_NETWORK, XSLT_SECPREF_READ_NETWORK}) {
            if (xsltSetSecurityPrefs(prefs, option, xsltSecurityForbid) != 0) {
                xsltFreeSecurityPrefs(prefs);
                throw Error::standard(errnum::OutOfMemory);
            }
        }
        if (xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_FILE, readWithinScope) != 0) {
            xsltFreeSecurityPrefs(prefs);
            throw Error::standard(errnum::OutOfMemory);
        }
        xsltSetDefaultSecurityPrefs(prefs);
        xsltSetLoaderFunc(loadBounded);
    });
    QuietGenericErrors quiet;

    if (source.isNull()) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr src = static_cast<xmlNodePtr>(source.node_);
    ReadScope scope;
    allowFolderOf(scope, static_cast<xmlDocPtr>(stylesheet.rawDocument())->URL);
    if (src->doc) allowFolderOf(scope, src->doc->URL);
    ReadScope* const outer = tScope;
    tScope = &scope;
    struct Restore {
        ReadScope* outer;
        ~Restore() { tScope = outer; }
    } restore{outer};
    auto failure = [&scope](const std::string& text) {
        return Error(errnum::InvalidProcedureCall, scope.refusal.empty() ? text : text + " " + scope.refusal);
    };
    OwnedDocument sheetDoc =
        workingCopy(reinterpret_cast<xmlNodePtr>(static_cast<xmlDocPtr>(stylesheet.rawDocument())));
    // A parsed sheet owns its document, even one parsed with errors.
    Stylesheet sheet(xsltParseStylesheetDoc(sheetDoc.get()));
    if (sheet) static_cast<void>(sheetDoc.release());
    if (!sheet || sheet.get()->errors > 0) throw failure("スタイルシートが不正です。");
    OwnedDocument result;
    {
        OwnedDocument in = workingCopy(src);
        TransformContext tctx(xsltNewTransformContext(sheet.get(), in.get()));
        if (!tctx) throw Error::standard(errnum::OutOfMemory);
        result.reset(xsltApplyStylesheetUser(sheet.get(), in.get(), nullptr, nullptr, nullptr, tctx.get()));
        if (!result || tctx.get()->state != XSLT_STATE_OK || !scope.refusal.empty())
            throw failure("変換に失敗しました。");
    }

    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, sheet.get(), encoding);
    int omit = 0;
    XSLT_GET_IMPORT_INT(omit, sheet.get(), omitXmlDeclaration);
    std::string enc = encoding ? reinterpret_cast<const char*>(encoding) : "UTF-8";

    // Rebuild the output document from the result, through the DOM's own
    // load so that the output follows the same white-space rule as a load.
    XmlString text;
    int len = 0;
    xmlDocDumpMemoryEnc(result.get(), text.out(), &len, "UTF-8");
    if (!text) throw Error::standard(errnum::OutOfMemory);
    std::string body(reinterpret_cast<char*>(text.get()), static_cast<std::size_t>(len));
    text.reset();
    result.reset();
    sheet.reset();
    // Drop libxml2's own declaration; ours carries the sheet's encoding name.
    if (body.compare(0, 5, "<?xml") == 0) {
        auto end = body.find("?>");
        body.erase(0, end == std::string::npos ? 0 : end + 2);
    }
    std::string decl = omit == 1 ? std::string() : "<?xml version=\"1.0\" encoding=\"" + enc + "\"?>";
    // A result that is no well-formed document (text only, several roots)
    // fails before the output is touched.
    Document probe;
    probe.setPreserveWhiteSpace(output.preserveWhiteSpace());
    if (!probe.loadXML(decl + body))
        throw Error(errnum::InvalidProcedureCall, "変換結果が XML 文書になりません: " + probe.parseError().reason);
    if (!output.loadXML(decl + body))
        throw Error(errnum::InvalidProcedureCall, "変換結果が XML 文書になりません: " + output.parseError().reason);
}

}  // namespace fg::xml
