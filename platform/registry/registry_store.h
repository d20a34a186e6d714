// A small registry of keys and values kept in one XML file, so that the
// registry tool and the registry program stand-in have a machine registry to
// work on. Keys form a tree under five roots; key names are matched without
// regard to case and keep the spelling they were created with. Every change
// is made under the file's lock and saved atomically.
//
// Its text form (what exportKey writes and importText reads), one item a line:
//
//   FAXGATE REGISTRY 1                       the header, wherever it stands
//   [HKEY_CURRENT_USER\Software\Example]     a key, by its full path
//   "Name"="text"                            a value of the last key named
//   @=dword:0000002a                         the key's default value
//   "Bytes"=hex:01,ff                        bytes; hex(N): for other kinds
//
// A value name escapes "\" and '"' with a "\". A text value runs to the last
// '"' of its line and is written as it is, so a key path in the text stays
// readable (and replaceable) in the export. Empty lines are passed over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::registry {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_CURRENT_USER" and its kind.
const char* rootName(Root root);
// The root of that name, without regard to case; nullopt for any other.
std::optional<Root> rootNamed(std::string_view name);

class RegistryStore {
public:
    static constexpr const char* kFileName = "registry.xml";
    static constexpr const char* kHeader = "FAXGATE REGISTRY 1";

    // The machine's store: FAXGATE_REGISTRY when set, else registry.xml in
    // the program folder.
    static std::string defaultPath();

    // A relative path is taken from the working folder and kept absolute.
    explicit RegistryStore(std::string path = defaultPath());

    // The names of a key's sub-keys in their order; nullopt when the key does
    // not exist. `path` lies under the root ("Software\Example"; "" is the
    // root itself). Raises fg::Error 75 when the store cannot be read.
    std::optional<std::vector<std::string>> subKeys(Root root, const std::string& path) const;

    // Deletes a key with its values. A key that has sub-keys is not deleted,
    // nor is a root; false then, and when the key does not exist. Raises
    // fg::Error 75 when the store cannot be read or written.
    [[nodiscard]] bool deleteKey(Root root, const std::string& path);

    // The text form of a key and its whole subtree, the key named by
    // `fullPath` as given ("HKEY_CURRENT_USER\Software\Example") and each
    // sub-key below it by its own name. nullopt when the key does not exist;
    // raises fg::Error 5 for a path without a known root.
    std::optional<std::string> exportKey(const std::string& fullPath) const;

    // Merges a text form into the store: every key named is created when
    // missing and every value written; nothing else changes. All or nothing:
    // a line that cannot be read raises fg::Error 5 (its number in the
    // description) and the store stays as it was.
    void importText(std::string_view text);
    // Reads a text form as importText would, without any store: raises the
    // same fg::Error 5 for a text that importText would refuse.
    static void checkText(std::string_view text);

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace fg::registry
