#include "xslt.h"

#include "error.h"
#include "files.h"

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
xmlDocPtr workingCopy(xmlNodePtr node) {
    xmlDocPtr copy;
    if (node->type == XML_DOCUMENT_NODE) {
        copy = xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), 1);
    } else {
        copy = xmlNewDoc(BAD_CAST "1.0");
        if (copy) {
            if (node->doc && node->doc->URL) copy->URL = xmlStrdup(node->doc->URL);
            xmlNodePtr n = xmlDocCopyNode(node, copy, 1);
            if (n) xmlAddChild(reinterpret_cast<xmlNodePtr>(copy), n);
        }
    }
    if (!copy) throw Error::standard(errnum::OutOfMemory);
    for (xmlNodePtr c = copy->children; c;) {
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
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
        xsltSetDefaultSecurityPrefs(prefs);
        defaultLoader = xsltDocDefaultLoader;
        xsltSetLoaderFunc(loadWithoutCase);
    });
    xsltSetGenericErrorFunc(nullptr, silent);
    xmlSetGenericErrorFunc(nullptr, silent);

    if (source.isNull()) throw Error::standard(errnum::ObjectNotSet);
    xmlNodePtr src = static_cast<xmlNodePtr>(source.node_);
    xmlDocPtr sheetDoc = workingCopy(reinterpret_cast<xmlNodePtr>(static_cast<xmlDocPtr>(stylesheet.rawDocument())));
    // The parsed sheet owns sheetDoc from here on.
    xsltStylesheetPtr sheet = xsltParseStylesheetDoc(sheetDoc);
    if (!sheet || sheet->errors > 0) {
        if (sheet) xsltFreeStylesheet(sheet);
        else xmlFreeDoc(sheetDoc);
        throw Error(errnum::InvalidProcedureCall, "スタイルシートが不正です。");
    }
    xmlDocPtr in = workingCopy(src);
    xsltTransformContextPtr tctx = xsltNewTransformContext(sheet, in);
    xmlDocPtr result = tctx ? xsltApplyStylesheetUser(sheet, in, nullptr, nullptr, nullptr, tctx) : nullptr;
    bool failed = !result || (tctx && tctx->state != XSLT_STATE_OK);
    if (tctx) xsltFreeTransformContext(tctx);
    xmlFreeDoc(in);
    if (failed) {
        if (result) xmlFreeDoc(result);
        xsltFreeStylesheet(sheet);
        throw Error(errnum::InvalidProcedureCall, "変換に失敗しました。");
    }

    const xmlChar* encoding = nullptr;
    XSLT_GET_IMPORT_PTR(encoding, sheet, encoding);
    int omit = 0;
    XSLT_GET_IMPORT_INT(omit, sheet, omitXmlDeclaration);
    std::string enc = encoding ? reinterpret_cast<const char*>(encoding) : "UTF-8";

    // Rebuild the output document from the result, through the DOM's own
    // load so that the output follows the same white-space rule as a load.
    xmlChar* text = nullptr;
    int len = 0;
    xmlDocDumpMemoryEnc(result, &text, &len, "UTF-8");
    xmlFreeDoc(result);
    xsltFreeStylesheet(sheet);
    std::string body = text ? std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(len)) : std::string();
    xmlFree(text);
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
