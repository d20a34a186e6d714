#include "platform/xslt.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/xml_handles.h"

#include <libxml/tree.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/documents.h>
#include <libxslt/xsltutils.h>

#include <cstring>
#include <mutex>

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
    QuietGenericErrors()
        : xml_(xmlGenericError), xmlContext_(xmlGenericErrorContext), xslt_(xsltGenericError),
          xsltContext_(xsltGenericErrorContext) {
        xsltSetGenericErrorFunc(nullptr, silent);
        xmlSetGenericErrorFunc(nullptr, silent);
    }
    ~QuietGenericErrors() {
        xsltSetGenericErrorFunc(xsltContext_, xslt_);
        xmlSetGenericErrorFunc(xmlContext_, xml_);
    }
    QuietGenericErrors(const QuietGenericErrors&) = delete;
    QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

private:
    xmlGenericErrorFunc xml_;
    void* xmlContext_;
    xmlGenericErrorFunc xslt_;
    void* xsltContext_;
};

xsltDocLoaderFunc defaultLoader = nullptr;

// Files that a style sheet includes, imports or reads with document() are
// found without regard to case, as every file the system reads.
xmlDocPtr loadWithoutCase(const xmlChar* uri, xmlDictPtr dict, int options, void* ctxt, xsltLoadType type) {
    std::string path = uri ? reinterpret_cast<const char*>(uri) : "";
    if (path.rfind("file://", 0) == 0) path.erase(0, 7);
    if (!path.empty() && path.front() == '/') {
        if (auto real = fs::resolve(path)) return defaultLoader(BAD_CAST real->c_str(), dict, options, ctxt, type);
    }
    return defaultLoader(uri, dict, options, ctxt, type);
}

// Copies a document, minus the declaration node, which a transform must not see.
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
        xsltSetDefaultSecurityPrefs(prefs);
        defaultLoader = xsltDocDefaultLoader;
        xsltSetLoaderFunc(loadWithoutCase);
    });
    QuietGenericErrors quiet;

    if (source.isNull()) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr src = static_cast<xmlNodePtr>(source.node_);
    OwnedDocument sheetDoc =
        workingCopy(reinterpret_cast<xmlNodePtr>(static_cast<xmlDocPtr>(stylesheet.rawDocument())));
    // A parsed sheet owns its document, even one parsed with errors.
    Stylesheet sheet(xsltParseStylesheetDoc(sheetDoc.get()));
    if (sheet) static_cast<void>(sheetDoc.release());
    if (!sheet || sheet.get()->errors > 0) throw Error(errnum::InvalidProcedureCall, "スタイルシートが不正です。");
    OwnedDocument result;
    {
        OwnedDocument in = workingCopy(src);
        TransformContext tctx(xsltNewTransformContext(sheet.get(), in.get()));
        if (!tctx) throw Error::standard(errnum::OutOfMemory);
        result.reset(xsltApplyStylesheetUser(sheet.get(), in.get(), nullptr, nullptr, nullptr, tctx.get()));
        if (!result || tctx.get()->state != XSLT_STATE_OK)
            throw Error(errnum::InvalidProcedureCall, "変換に失敗しました。");
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
