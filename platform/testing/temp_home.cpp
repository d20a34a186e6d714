#include "platform/testing/temp_home.h"

#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/xml.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fg::testing {

namespace {

std::string makeTemp() {
    const char* root = std::getenv("FAXGATE_TEST_TMP");
    std::string base = root && *root ? root : "/tmp";
    fs::makeFolders(base);
    std::string tmpl = fs::join(base, "fgtest-XXXXXX");
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed in " + base);
    return tmpl + "/";
}

// The demo's settings name the demo's EDI server at its fixed port; a test
// that ran a schedule on them would use up the documents of a demo running
// on the same machine. A test that talks to an EDI server starts its own on
// a port the system picks (LocalEdiServer) and writes its address; without
// one, the schedules find no server and idle.
void forgetDemoServer(const std::string& settings) {
    xml::Document doc;
    if (!doc.load(settings)) throw std::runtime_error("the demo settings do not load: " + settings);
    for (const char* name : {"EDIMethodRoot", "EDIAddress"})
        for (xml::Node node : doc.getElementsByTagName(name)) node.setText("");
    doc.save(settings);
}

}  // namespace

std::string sourceDir() {
#ifdef FAXGATE_SOURCE_DIR
    return fs::withSlash(FAXGATE_SOURCE_DIR);
#else
    return "./";
#endif
}

std::string programDir() {
#ifdef FAXGATE_PROGRAM_DIR
    return fs::withSlash(FAXGATE_PROGRAM_DIR);
#else
    return fs::programFolder();
#endif
}

TempHome::TempHome(bool installDemo) : path_(makeTemp()) {
    if (const char* h = std::getenv("FAXGATE_HOME")) {
        hadHome_ = true;
        previousHome_ = h;
    }
    if (installDemo) {
        std::filesystem::copy(sourceDir() + "demo/home", path_,
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
        forgetDemoServer(path_ + "data/SetUpInformation.xml");
    }
    ::setenv("FAXGATE_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (hadHome_) ::setenv("FAXGATE_HOME", previousHome_.c_str(), 1);
    else ::unsetenv("FAXGATE_HOME");
    if (!std::getenv("FAXGATE_KEEP_TEMP")) fs::removeTree(path_);
}

std::string TempHome::folder(const std::string& key) const {
    std::string f = FolderPathInfo().getFolderPath(key);
    fs::makeFolders(f);
    return f;
}

void TempHome::write(const std::string& rel, const std::string& bytes) const {
    std::string p = path_ + rel;
    fs::makeFolders(fs::folderOf(p));
    fs::writeFileAtomic(p, bytes);
}

std::string TempHome::read(const std::string& rel) const { return fs::readFile(path_ + rel); }

std::vector<std::string> everythingIn(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::filesystem::path root(base);
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        out.push_back(it->path().lexically_relative(root).string());
    std::sort(out.begin(), out.end());
    return out;
}

TempDir::TempDir() : path_(makeTemp()) {}
TempDir::~TempDir() {
    if (!std::getenv("FAXGATE_KEEP_TEMP")) fs::removeTree(path_);
}

std::shared_ptr<ErrorLogRecorder> ErrorLogRecorder::install() {
    auto r = std::make_shared<ErrorLogRecorder>();
    setErrorLogSink(r);
    return r;
}

void ErrorLogRecorder::write(const ErrorLogEntry& entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
}

std::vector<ErrorLogEntry> ErrorLogRecorder::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool ErrorLogRecorder::has(long number) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e.number == number) return true;
    return false;
}

void ErrorLogRecorder::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::vector<std::pair<std::string, std::string>> folderEntries(const std::string& path) {
    xml::Document doc;
    if (!doc.load(path)) throw std::runtime_error("the folder map does not load: " + path);
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& n : doc.selectNodes("Folders/Folder")) out.emplace_back(n.getAttribute("class"), n.text());
    return out;
}

}  // namespace fg::testing
