#include "platform/registry/registry_store.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <cstdlib>
#include <optional>

namespace fg::registry {

namespace {

constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                      "HKEY_CURRENT_CONFIG"};

std::vector<std::string> splitPath(std::string_view path) { return text::nonEmptyParts(path, '\\'); }

Error badText(std::size_t lineNumber, const std::string& why) {
    return Error(errnum::InvalidProcedureCall, std::to_string(lineNumber) + " 行目を読めません: " + why, "RegistryStore");
}

Error storeError(const std::string& path, const std::string& why) {
    return Error(errnum::PathFileAccessError, "レジストリファイル " + path + " " + why, "RegistryStore");
}

// The store loaded under its lock. A store that does not exist yet is empty.
class StoreFile {
public:
    StoreFile(const std::string& path, FileLock::Mode mode) : path_(path), lock_(std::in_place, path, mode) {
        if (fs::fileExists(path_)) {
            if (!doc_.load(path_)) throw storeError(path_, "を読めません: " + doc_.parseError().reason);
            if (doc_.documentElement().nodeName() != "Registry") throw storeError(path_, "はレジストリではありません。");
        } else {
            makeEmpty();
        }
    }
    // An empty store of no file, where a text is read as an import reads it.
    StoreFile() { makeEmpty(); }

    // The root's element, created in an empty store.
    xml::Node root(Root which) {
        const char* name = rootName(which);
        if (xml::Node found = child(doc_.documentElement(), name)) return found;
        xml::Node created = doc_.createElement("Key");
        created.setAttribute("name", name);
        return doc_.documentElement().appendChild(created);
    }

    // A key by its path below a node; a null node when it does not exist.
    static xml::Node find(xml::Node from, const std::vector<std::string>& parts) {
        for (const std::string& part : parts) {
            if (!(from = child(from, part))) break;
        }
        return from;
    }

    static xml::Node child(const xml::Node& parent, std::string_view name) {
        for (xml::Node n = parent.firstChild(); n; n = n.nextSibling())
            if (n.nodeName() == "Key" && text::icompare(n.getAttribute("name"), name) == 0) return n;
        return {};
    }

    void save() { doc_.save(path_); }

    xml::Document& document() { return doc_; }

private:
    void makeEmpty() {
        doc_.appendChild(doc_.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
        doc_.appendChild(doc_.createElement("Registry"));
    }

    std::string path_;
    std::optional<FileLock> lock_;
    xml::Document doc_;
};

std::string quotedName(const std::string& name) {
    if (name.empty()) return "@";
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

void exportTree(const xml::Node& key, const std::string& fullPath, std::string& out) {
    out += "[" + fullPath + "]\r\n";
    for (xml::Node n = key.firstChild(); n; n = n.nextSibling())
        if (n.nodeName() == "Value") out += quotedName(n.getAttribute("name")) + "=" + n.text() + "\r\n";
    out += "\r\n";
    for (xml::Node n = key.firstChild(); n; n = n.nextSibling())
        if (n.nodeName() == "Key") exportTree(n, fullPath + "\\" + n.getAttribute("name"), out);
}

bool isHex(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

// Whether the right side of a value line is one of the forms the text knows.
bool validData(std::string_view data) {
    if (data.size() >= 2 && data.front() == '"') return data.back() == '"';
    if (data.substr(0, 6) == "dword:") return data.size() == 14 && isHex(data.substr(6));
    std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view kind = data.substr(0, colon);
    if (kind != "hex" && !(kind.substr(0, 4) == "hex(" && kind.back() == ')' && isHex(kind.substr(4, kind.size() - 5))))
        return false;
    std::string_view bytes = data.substr(colon + 1);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t comma = bytes.find(',', start);
        if (comma == std::string_view::npos) comma = bytes.size();
        if (comma - start != 2 || !isHex(bytes.substr(start, 2))) return false;
        start = comma + 1;
    }
    return bytes.empty() || bytes.back() != ',';
}

// Reads `"name"=` or `@=` from the front of a value line; answers the name
// and where its data begins, or false.
bool readName(std::string_view line, std::string& name, std::size_t& dataAt) {
    name.clear();
    if (line.substr(0, 2) == "@=") {
        dataAt = 2;
        return true;
    }
    if (line.empty() || line.front() != '"') return false;
    for (std::size_t i = 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            name += line[++i];
        } else if (c == '"') {
            if (i + 1 >= line.size() || line[i + 1] != '=') return false;
            dataAt = i + 2;
            return true;
        } else {
            name += c;
        }
    }
    return false;
}

bool hasControlCharacters(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 && c != '\t') return true;
    return false;
}

}  // namespace

const char* rootName(Root root) { return kRootNames[static_cast<int>(root)]; }

std::optional<Root> rootNamed(std::string_view name) {
    for (int i = 0; i < 5; ++i)
        if (text::iequals(name, kRootNames[i])) return static_cast<Root>(i);
    return std::nullopt;
}

std::string RegistryStore::defaultPath() {
    const char* path = std::getenv("FAXGATE_REGISTRY");
    if (path && *path) return path;
    return fs::programFolder() + kFileName;
}

// Held as an absolute path: the registry program runs in a folder of its own
// and must work on this very file.
RegistryStore::RegistryStore(std::string path)
    : path_(!path.empty() && path.front() != '/' ? fs::currentFolder() + path : std::move(path)) {}

std::optional<std::vector<std::string>> RegistryStore::subKeys(Root root, const std::string& path) const {
    StoreFile store(path_, FileLock::Mode::Shared);
    xml::Node key = StoreFile::find(store.root(root), splitPath(path));
    if (!key) return std::nullopt;
    std::vector<std::string> names;
    for (xml::Node n = key.firstChild(); n; n = n.nextSibling())
        if (n.nodeName() == "Key") names.push_back(n.getAttribute("name"));
    return names;
}

bool RegistryStore::deleteKey(Root root, const std::string& path) {
    std::vector<std::string> parts = splitPath(path);
    if (parts.empty()) return false;
    StoreFile store(path_, FileLock::Mode::Exclusive);
    xml::Node key = StoreFile::find(store.root(root), parts);
    if (!key) return false;
    for (xml::Node n = key.firstChild(); n; n = n.nextSibling())
        if (n.nodeName() == "Key") return false;
    key.parentNode().removeChild(key);
    store.save();
    return true;
}

std::optional<std::string> RegistryStore::exportKey(const std::string& fullPath) const {
    std::vector<std::string> parts = splitPath(fullPath);
    std::optional<Root> root = parts.empty() ? std::nullopt : rootNamed(parts.front());
    if (!root) throw Error(errnum::InvalidProcedureCall, "レジストリのルートがありません: " + fullPath, "RegistryStore");
    StoreFile store(path_, FileLock::Mode::Shared);
    xml::Node key = StoreFile::find(store.root(*root), {parts.begin() + 1, parts.end()});
    if (!key) return std::nullopt;
    // The key as it was asked for, the root in its own spelling.
    std::string named = rootName(*root);
    for (std::size_t i = 1; i < parts.size(); ++i) named += "\\" + parts[i];
    std::string out = std::string(kHeader) + "\r\n\r\n";
    exportTree(key, named, out);
    return out;
}

namespace {

// Merges a text form into the loaded store; raises at the first line that
// cannot be read, the store's file untouched.
void mergeText(StoreFile& store, std::string_view importText) {
    xml::Document& doc = store.document();
    // The whole text is read into the loaded copy first; the file changes
    // only when every line was understood.
    xml::Node current;
    bool header = false;
    std::size_t number = 0;
    for (const std::string& line : text::lines(importText)) {
        ++number;
        if (line.empty()) continue;
        if (line == RegistryStore::kHeader) {
            header = true;
            continue;
        }
        if (!header) throw badText(number, "見出し " + std::string(RegistryStore::kHeader) + " がありません。");
        if (hasControlCharacters(line)) throw badText(number, "制御文字があります。");
        if (line.front() == '[') {
            if (line.back() != ']') throw badText(number, line);
            std::vector<std::string> parts = splitPath(std::string_view(line).substr(1, line.size() - 2));
            std::optional<Root> root = parts.empty() ? std::nullopt : rootNamed(parts.front());
            if (!root) throw badText(number, "レジストリのルートがありません: " + line);
            current = store.root(*root);
            for (std::size_t i = 1; i < parts.size(); ++i) {
                xml::Node next = StoreFile::child(current, parts[i]);
                if (!next) {
                    next = doc.createElement("Key");
                    next.setAttribute("name", parts[i]);
                    next = current.appendChild(next);
                }
                current = next;
            }
            continue;
        }
        std::string name;
        std::size_t dataAt = 0;
        if (!readName(line, name, dataAt)) throw badText(number, line);
        std::string data = line.substr(dataAt);
        if (!validData(data)) throw badText(number, line);
        if (!current) throw badText(number, "値の前にキーがありません。");
        xml::Node value;
        for (xml::Node n = current.firstChild(); n && !value; n = n.nextSibling())
            if (n.nodeName() == "Value" && text::icompare(n.getAttribute("name"), name) == 0) value = n;
        if (!value) {
            value = doc.createElement("Value");
            value.setAttribute("name", name);
            // Values before sub-keys, as the text lists them.
            xml::Node firstKey;
            for (xml::Node n = current.firstChild(); n && !firstKey; n = n.nextSibling())
                if (n.nodeName() == "Key") firstKey = n;
            value = firstKey ? current.insertBefore(value, firstKey) : current.appendChild(value);
        }
        value.setText(data);
    }
    if (!header) throw badText(number, "見出し " + std::string(RegistryStore::kHeader) + " がありません。");
}

}  // namespace

void RegistryStore::importText(std::string_view importText) {
    StoreFile store(path_, FileLock::Mode::Exclusive);
    mergeText(store, importText);
    store.save();
}

void RegistryStore::checkText(std::string_view importText) {
    StoreFile scratch;
    mergeText(scratch, importText);
}

}  // namespace fg::registry
