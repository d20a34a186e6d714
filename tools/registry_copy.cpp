#include "tools/registry_copy.h"

#include "tools/errors.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/process/process.h"
#include "platform/text.h"

namespace fg {

namespace {

constexpr const char* kErrorSource = "Form1";

Error failure(const std::string& why) { return Error(tools_errors::RegistryCopyFailed, why, kErrorSource); }

// Shows a wrapper's failure in its own box and raises it on.
[[noreturn]] void wrapperFailed(const char* wrapper) {
    Error e = logCurrentError(wrapper);
    messageSink().show("Error: " + std::to_string(e.number()) + ". " + e.description(), msgbox::OKOnly, wrapper);
    throw e;
}

// How often `from` stands in `text`; each replaced by `to`.
std::size_t replaceAll(std::string& text, const std::string& from, const std::string& to) {
    std::size_t count = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

}  // namespace

void modRegistry::RegistryDeleteKey(registry::RegistryStore& store, registry::Root root, const std::string& path) {
    try {
        (void)store.deleteKey(root, path);
    } catch (...) {
        wrapperFailed("RegistryDeleteKey");
    }
}

void modRegistry::RegistryEnumerateSubKeys(registry::RegistryStore& store, registry::Root root, const std::string& path,
                                           std::vector<std::string>& names, long& count) {
    try {
        if (auto found = store.subKeys(root, path)) {
            count = static_cast<long>(found->size());
            names = std::move(*found);
        }
    } catch (...) {
        wrapperFailed("RegistryEnumerateSubKeys");
    }
}

Form1::Form1(RegistryCopyOptions options)
    : options_(std::move(options)),
      folder_(options_.programFolder.empty() ? fs::programFolder() : fs::withSlash(options_.programFolder)),
      store_(options_.storePath.empty() ? registry::RegistryStore::defaultPath() : options_.storePath) {}

bool Form1::Form_Load() {
    try {
        exportRegistryKeys();
        joinExportFiles();
        checkJoinedFile();
        // What the targets hold now, to be put back should the import fail:
        // the run then leaves the registry as it found it.
        std::vector<std::string> targets = exportTargetKeys();
        deleteTargetKeys();
        try {
            importRegistryFile();
        } catch (...) {
            Error failed = currentError();
            restoreTargetKeys(targets);
            throw failed;
        }
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        messageSink().show(kFailed, msgbox::OKOnly | msgbox::Exclamation, kTitle);
        return false;
    }
}

void Form1::exportRegistryKeys() {
    // Files of an earlier run would pass for this run's exports.
    for (const char* name : {kCertificateFile, kSettingsFile}) {
        (void)fs::removeFile(folder_ + name);
        if (fs::fileExists(folder_ + name)) throw failure("前回の書き出しファイルを消せません: " + folder_ + name);
    }
    runRegistryProgram({"/E", folder_ + kCertificateFile, kCertificateSource});
    runRegistryProgram({"/E", folder_ + kSettingsFile, kSettingsSource});
}

void Form1::joinExportFiles() {
    for (const char* name : {kSettingsFile, kCertificateFile}) {
        if (!fs::fileExists(folder_ + name) || fs::readFile(folder_ + name).empty())
            throw failure("書き出しファイルがないか空です: " + folder_ + name);
    }
    std::string partA = joinedPart(kCertificateFile, kCertificateSource, kCertificateTarget);
    std::string partB = joinedPart(kSettingsFile, kSettingsSource, kSettingsTarget);
    fs::writeFileAtomic(folder_ + kSettingsFile, partB + "\r\n" + partA + "\r\n");
    if (!fs::removeFile(folder_ + kCertificateFile))
        throw Error(errnum::PathFileAccessError, "消せません: " + folder_ + kCertificateFile, kErrorSource);
}

// One export's lines joined with CR LF, leading empty lines dropped, and the
// source key's path replaced by the target's wherever it stands.
std::string Form1::joinedPart(const std::string& file, const std::string& from, const std::string& to) {
    std::vector<std::string> lines = text::lines(fs::readFile(folder_ + file));
    auto first = lines.begin();
    while (first != lines.end() && first->empty()) ++first;
    std::string part;
    for (auto line = first; line != lines.end(); ++line) {
        if (line != first) part += "\r\n";
        part += *line;
    }
    if (replaceAll(part, from, to) == 0) throw failure(folder_ + file + " に " + from + " がありません。");
    return part;
}

void Form1::checkJoinedFile() {
    try {
        registry::RegistryStore::checkText(fs::readFile(folder_ + kSettingsFile));
    } catch (const Error& refused) {
        throw failure(folder_ + kSettingsFile + " は取り込めません: " + refused.description());
    }
}

std::vector<std::string> Form1::exportTargetKeys() const {
    std::vector<std::string> targets;
    for (const char* key : {kCertificateTarget, kSettingsTarget})
        if (std::optional<std::string> text = store_.exportKey(key)) targets.push_back(std::move(*text));
    return targets;
}

void Form1::restoreTargetKeys(const std::vector<std::string>& targets) noexcept {
    for (const std::string& text : targets) {
        try {
            store_.importText(text);
        } catch (...) {
            logCurrentError(kErrorSource);
        }
    }
}

void Form1::deleteTargetKeys() {
    deleteKeyTree(registry::Root::LocalMachine, "Software\\Microsoft\\SystemCertificates");
    deleteKeyTree(registry::Root::Users, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
}

void Form1::deleteKeyTree(registry::Root root, const std::string& path) {
    // Depth first: a key with sub-keys cannot be deleted.
    std::vector<std::string> names;
    long count = 0;
    modRegistry::RegistryEnumerateSubKeys(store_, root, path, names, count);
    for (long i = 0; i < count && i < static_cast<long>(names.size()); ++i) deleteKeyTree(root, path + "\\" + names[i]);
    modRegistry::RegistryDeleteKey(store_, root, path);
}

void Form1::importRegistryFile() { runRegistryProgram({folder_ + kSettingsFile}); }

void Form1::runRegistryProgram(const std::vector<std::string>& args) {
    std::string program = options_.regeditPath;
    if (program.empty()) {
        std::optional<std::string> found = findOnPath("regedit");
        if (!found) throw Error(errnum::FileNotFound, "regedit プログラムが見つかりません", kErrorSource);
        program = *found;
    }
    SpawnOptions spawn;
    spawn.workingFolder = folder_;
    // The registry program works on the store this run deletes keys from,
    // wherever each program lies.
    spawn.environment.push_back("FAXGATE_REGISTRY=" + store_.path());
    Process process = Process::start(program, args, spawn);
    if (!process.waitFor(options_.programBound)) {
        (void)process.terminate(std::chrono::milliseconds(2000));
        throw failure("regedit が時間内に終わりませんでした: " + args.front());
    }
    if (int code = process.exitCode().value_or(-1); code != 0)
        throw failure("regedit が終了コード " + std::to_string(code) + " で終わりました: " + args.back());
}

}  // namespace fg
