// The registry tool (Form1, whose load does the whole run): copies the
// current user's certificate key and Internet settings key to the machine's
// key and the default user's key. Each key is exported with the registry
// program, the two exports are joined with their paths moved to the targets,
// the targets are deleted bottom-up and the joined file is imported.
//
// It works on the file-backed registry store (platform/registry) through the
// registry program found on PATH, and on no other registry.
//
// Beyond the bare run:
// - export files of an earlier run are deleted before the exports, so that
//   only this run's output counts;
// - the targets are deleted only when both exports exist, are not empty and
//   name their keys, and the joined file reads as the import will read it
//   (otherwise the import would bring nothing back);
// - the targets are exported before they are deleted, and put back when the
//   import fails;
// - every run of the registry program is waited for within a bound, and one
//   that fails or does not end fails the run, the import included.
#pragma once

#include "platform/registry/registry_store.h"

#include <chrono>
#include <string>
#include <vector>

namespace fg {

// The wrappers of the registry functions. A failure inside one shows a
// message box titled with its name and is raised on, so that the run stops.
namespace modRegistry {
// Deletes a key that has no sub-keys; whether it was deleted is not examined.
void RegistryDeleteKey(registry::RegistryStore& store, registry::Root root, const std::string& path);
// The key's sub-key names and their number; both untouched when the key
// does not exist.
void RegistryEnumerateSubKeys(registry::RegistryStore& store, registry::Root root, const std::string& path,
                              std::vector<std::string>& names, long& count);
}  // namespace modRegistry

struct RegistryCopyOptions {
    std::string programFolder;  // where the export files lie; "" is the program folder
    std::string regeditPath;    // the registry program; "" finds "regedit" on PATH
    std::string storePath;      // the registry store; "" is the machine's
    std::chrono::milliseconds programBound{5 * 60 * 1000};  // one run of the registry program
};

class Form1 {
public:
    static constexpr const char* kTitle = "registry_copy";  // message boxes
    static constexpr const char* kFailed = "処理中にエラーが発生しました。";
    static constexpr const char* kSettingsFile = "RegistryKey.reg";
    static constexpr const char* kCertificateFile = "RegistryKey2.reg";
    static constexpr const char* kCertificateSource = "HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates";
    static constexpr const char* kCertificateTarget = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates";
    static constexpr const char* kSettingsSource =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    static constexpr const char* kSettingsTarget =
        "HKEY_USERS\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

    explicit Form1(RegistryCopyOptions options = {});

    // The whole run. False after a failure, whose message has been shown.
    bool Form_Load();

    void exportRegistryKeys();
    void joinExportFiles();
    // Raises when the joined file is one the import would refuse.
    void checkJoinedFile();
    void deleteTargetKeys();
    void deleteKeyTree(registry::Root root, const std::string& path);
    void importRegistryFile();

private:
    void runRegistryProgram(const std::vector<std::string>& args);
    std::string joinedPart(const std::string& file, const std::string& from, const std::string& to);
    // The text forms of the target keys that exist, and their return.
    std::vector<std::string> exportTargetKeys() const;
    void restoreTargetKeys(const std::vector<std::string>& targets) noexcept;

    RegistryCopyOptions options_;
    std::string folder_;
    registry::RegistryStore store_;
};

}  // namespace fg
