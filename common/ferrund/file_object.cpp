#include "common/ferrund/file_object.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

#include <exception>

namespace fg {

namespace {

constexpr std::string_view kSep = "/";

// Positions are counted in 16-bit units and held in 16-bit integers, as they
// always were: a separator that lies beyond 32767 units is an overflow, not
// a silently wrong split.
std::size_t checked(const std::string& s, std::size_t bytePos) {
    if (bytePos == std::string::npos || bytePos < 32767) return bytePos;  // units never outnumber bytes
    if (text::length16(std::string_view(s).substr(0, bytePos)) + 1 > 32767)
        throw Error::standard(errnum::Overflow, "FileObject");
    return bytePos;
}

std::size_t findFirst(const std::string& s, std::string_view what) { return checked(s, s.find(what)); }
std::size_t findLast(const std::string& s, std::string_view what) { return checked(s, s.rfind(what)); }

// Splits a file name at its last ".".
void splitName(const std::string& name, std::string& thin, std::string& ext) {
    std::size_t dot = findLast(name, ".");
    if (dot == std::string::npos) return;
    thin = name.substr(0, dot);
    ext = name.substr(dot + 1);
}

}  // namespace

void FileObject::clear() {
    name_.clear();
    thinName_.clear();
    path_.clear();
    ext_.clear();
    drive_.clear();
}

void FileObject::setName(const std::string& strNewName) {
    name_.clear();
    thinName_.clear();
    ext_.clear();
    std::size_t slash = findLast(strNewName, kSep);
    std::string n = slash == std::string::npos ? strNewName : strNewName.substr(slash + 1);
    splitName(n, thinName_, ext_);
    name_ = n;
}

void FileObject::setThinName(const std::string& strIn) {
    thinName_ = strIn;
    if (!ext_.empty()) name_ = thinName_ + "." + ext_;
}

void FileObject::setExt(const std::string& strArgv) {
    ext_ = strArgv;
    if (!ext_.empty()) name_ = thinName_ + "." + ext_;
}

void FileObject::setPath(const std::string& strNewPath) {
    path_.clear();
    // No drive to take off a POSIX path; ":" is an ordinary character.
    const std::string& r = strNewPath;
    std::size_t first = findFirst(r, kSep);
    std::size_t lastDot = findLast(r, ".");
    if (first == std::string::npos) return;
    std::string p = lastDot != std::string::npos ? r.substr(first, findLast(r, kSep) - first + 1) : r;
    if (!p.empty()) {
        if (p.back() == '/') p.pop_back();
        if (p.empty() || p.front() != '/') p.insert(p.begin(), '/');
    }
    path_ = p;
}

void FileObject::setDrive(const std::string& /*strNewDrive*/) {
    // A letter and a colon name no drive on POSIX.
    drive_.clear();
}

std::string FileObject::FullPath() const {
    if (drive_.empty() && path_.empty() && name_.empty()) return {};
    return drive_ + path_ + "/" + name_;
}

void FileObject::setFullPath(const std::string& strNewFullPath) {
    clear();
    // Only an absolute path is taken apart; its leading "/" stands where a
    // drive would.
    if (strNewFullPath.empty() || strNewFullPath.front() != '/') return;
    const std::string& r = strNewFullPath;
    std::size_t last = findLast(r, kSep);
    path_ = r.substr(0, last);
    if (findFirst(r, ".") == std::string::npos) return;
    name_ = r.substr(last + 1);
    splitName(name_, thinName_, ext_);
}

bool FileObject::IsExist() {
    std::string f = drive_ + path_ + "/" + name_;
    if (text::length16(f) <= 1) {
        clear();
        return false;
    }
    try {
        // fs::list finds plain files only and never a hidden one (a leading
        // "."): the system's own lock and temporary files are no documents.
        return !fs::list(fs::folderOf(f), fs::nameOf(f), fs::ListKind::Files).empty();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace fg
