#include "archive/grenwald/archive.h"

#include "archive/parvolt/parvolt.h"
#include "platform/archive/archive_file.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>

namespace fg {

namespace {

// The server has no windows: the control gets no owner window.
constexpr Parvolt::Long kNoWindow = 0;

bool folderExists(const std::string& path) { return !path.empty() && fs::folderExists(path); }
bool fileExists(const std::string& path) { return !path.empty() && fs::fileExists(path); }

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return fs::join(fs::currentFolder(), path);
}

// The path of the existing file or folder, found without regard to case.
std::string located(const std::string& path) {
    if (auto found = fs::resolve(path)) return *found;
    return path;
}

// The result the caller gets, with the reason it cannot see.
void logFailure(long result, const std::string& what, const std::string& reason) {
    ErrorLogWriter().writeError("Archive", result, what + ": " + reason);
}

bool splitPath(const std::string& path, std::string& folder, std::string& name) {
    if (path.empty() || path[0] != '/') return false;
    if (path.find('.') == std::string::npos) return false;
    std::size_t cut = path.find_last_of('/');
    folder = cut == 0 ? std::string("/") : path.substr(0, cut);
    name = path.substr(cut + 1);
    return true;
}

}  // namespace

Archive::Archive() = default;
Archive::~Archive() = default;

std::string Archive::getFolderOfPath(const std::string& path) {
    std::string folder, name;
    return splitPath(path, folder, name) ? folder : std::string();
}

std::string Archive::getNameOfPath(const std::string& path) {
    std::string folder, name;
    return splitPath(path, folder, name) ? name : std::string();
}

Parvolt& Archive::control() {
    if (!control_) control_ = std::make_unique<Parvolt>();
    return *control_;
}

void Archive::prepare(long arcMode, bool withWindow) {
    Parvolt& c = control();
    c.setswDialog(parvolt::vbFalse);
    c.setArcMode(static_cast<Parvolt::Long>(arcMode));
    if (withWindow) c.sethwnd(kNoWindow);
}

long Archive::compress(long strArchiveType, const std::vector<std::string>& strFileName) {
    if (strFileName.empty()) {
        logFailure(mstrARCHIVE_ERROR, "書庫に入れるファイルの一覧", Error::standardText(errnum::SubscriptOutOfRange));
        return mstrARCHIVE_ERROR;
    }
    if (strFileName.size() > 32768) {
        logFailure(mstrARCHIVE_ERROR, "書庫に入れるファイルの一覧", Error::standardText(errnum::Overflow));
        return mstrARCHIVE_ERROR;
    }
    std::string folder = getFolderOfPath(strFileName[0]);
    std::vector<std::string> names;
    for (const auto& path : strFileName) names.push_back(getNameOfPath(path));
    if (strArchiveType != ZIP) return mstrNOT_ARCHIVE_TYPE;
    if (file_.empty()) return mstrNOT_ARCHIVE_FILE;
    if (!folderExists(folder)) return mstrNOT_FOLDER;
    return packInto(folder, &names);
}

long Archive::compressOne(long strArchiveType, const std::string& strFileName) {
    std::string folder = getFolderOfPath(strFileName);
    std::vector<std::string> names{getNameOfPath(strFileName)};
    if (strArchiveType != ZIP) return mstrNOT_ARCHIVE_TYPE;
    if (file_.empty()) return mstrNOT_ARCHIVE_FILE;
    if (!folderExists(folder)) return mstrNOT_FOLDER;
    return packInto(folder, &names);
}

long Archive::compressAll(long strArchiveType, const std::string& strFileFolder) {
    if (strArchiveType != ZIP) return mstrNOT_ARCHIVE_TYPE;
    if (file_.empty()) return mstrNOT_ARCHIVE_FILE;
    if (!folderExists(strFileFolder)) return mstrNOT_FOLDER;
    return packInto(strFileFolder, nullptr);
}

long Archive::packInto(const std::string& folder, const std::vector<std::string>* names) {
    const std::string base = fs::withSlash(located(absolute(folder)));
    const std::string target = (!file_.empty() && file_[0] == '/') ? file_ : base + file_;
    try {
        prepare(ZIP, true);
        Parvolt& c = control();
        if (fs::folderOf(target).empty() || !fs::folderExists(fs::folderOf(target))) {
            logFailure(mstrARCHIVE_ERROR, "書庫を作るフォルダがありません", target);
            return mstrARCHIVE_ERROR;
        }
        // A fresh archive, in a hidden folder of this call's own beside
        // File (one file system, so the archive moves by a rename), renamed
        // over File once whole. The folder holds the name while the archive
        // is made: no other packing can take it, and the control finds no
        // archive there to add to.
        std::optional<fs::TempFolder> work;
        try {
            work.emplace(fs::folderOf(target), "." + fs::nameOf(target) + ".");
        } catch (const Error& e) {
            logFailure(mstrARCHIVE_ERROR, "書庫を作れません", target + " (" + e.description() + ")");
            return mstrARCHIVE_ERROR;
        }
        const std::string staging = work->path() + fs::nameOf(target);

        c.setpArcFileName(staging);
        c.setpBaseFolder(folder);
        c.pFilesClear();
        if (names) {
            for (const auto& name : *names) {
                if (!fileExists(fs::join(folder, name))) return mstrNOT_FILE;
                c.pAddFile(name);
            }
        } else if (fs::folderOf(target) == base && fs::fileExists(target)) {
            // Every file of the folder but the archive's older copy, which
            // would otherwise be packed into the new one.
            for (const auto& name : fs::list(base, "*", fs::ListKind::All))
                if (text::icompare(name, fs::nameOf(target)) != 0) c.pAddFile(name);
            if (c.pFilesCount() == 0) {
                logFailure(mstrARCHIVE_ERROR, "書庫に入れるファイルがありません", base);
                return mstrARCHIVE_ERROR;
            }
        }
        c.Pack();
        if (c.Error() != 0) {
            logFailure(mstrARCHIVE_ERROR, "書庫を作れません " + target, c.Errorstring());
            return mstrARCHIVE_ERROR;
        }
        try {
            fs::rename(staging, target);
        } catch (const Error& e) {
            logFailure(mstrARCHIVE_ERROR, "書庫を置けません", e.description());
            return mstrARCHIVE_ERROR;
        }
        return mstrARCHIVE_SUCCESS;
    } catch (const Error& e) {
        logFailure(mstrARCHIVE_ERROR, "書庫を作れません " + target, e.description());
        return mstrARCHIVE_ERROR;
    }
}

long Archive::expand(const std::string& strFileFolder, const std::string& strFileName) {
    return expandNames(strFileFolder, strFileName.empty() ? std::vector<std::string>{} : std::vector{strFileName});
}

long Archive::expand(const std::string& strFileFolder, const std::vector<std::string>& strFileNames) {
    if (strFileNames.empty()) return folderExists(strFileFolder) ? mstrARCHIVE_SUCCESS : mstrNOT_FOLDER;
    // To the control an empty name is every entry.
    if (std::find(strFileNames.begin(), strFileNames.end(), std::string()) != strFileNames.end()) {
        logFailure(mstrEXPAND_ERROR, "書庫を展開できません " + file_, "取り出す名前が空です");
        return mstrEXPAND_ERROR;
    }
    return expandNames(strFileFolder, strFileNames);
}

long Archive::expandNames(const std::string& folder, const std::vector<std::string>& names) {
    if (!folderExists(folder)) return mstrNOT_FOLDER;
    try {
        prepare(TAR_GZ, true);
        if (!fileExists(file_)) return mstrNOT_FILE;
        Parvolt& c = control();
        c.seteArcFileName(located(absolute(file_)));
        c.seteFolder(folder);
        c.eFilesClear();
        for (const std::string& name : names) c.eAddFile(name);
        c.Extract();
        if (c.Error() != 0) {
            logFailure(mstrEXPAND_ERROR, "書庫を展開できません " + file_ + " → " + folder, c.Errorstring());
            return mstrEXPAND_ERROR;
        }
        return mstrARCHIVE_SUCCESS;
    } catch (const Error& e) {
        logFailure(mstrEXPAND_ERROR, "書庫を展開できません " + file_, e.description());
        return mstrEXPAND_ERROR;
    }
}

bool Archive::openListing() {
    prepare(TAR_GZ, false);
    if (!fileExists(file_)) return false;
    Parvolt& c = control();
    c.setoArcFileName(located(absolute(file_)));
    c.OpenFile();
    if (c.Error() != 0) {
        logFailure(c.Error(), "書庫の一覧を読めません " + file_, c.Errorstring());
        return false;
    }
    return true;
}

std::vector<std::string> Archive::getFileNameList() {
    std::vector<std::string> list{""};
    try {
        if (!openListing()) return list;
        Parvolt& c = control();
        Parvolt::Int n = c.oFilesCount();
        if (n <= 0) return list;
        list.clear();
        for (Parvolt::Int i = 0; i < n; ++i) list.push_back(c.oFilesList(i));
    } catch (const Error& e) {
        logFailure(e.number(), "書庫の一覧を読めません " + file_, e.description());
        return {""};
    }
    return list;
}

std::optional<std::vector<std::string>> Archive::getStoredNameList() {
    std::vector<std::string> list;
    try {
        if (!openListing()) return std::nullopt;
        Parvolt& c = control();
        for (Parvolt::Int i = 0; i < c.oFilesCount(); ++i)
            list.push_back(arc::normalName(c.oPath(i) + c.oFilesList(i)));
    } catch (const Error& e) {
        logFailure(e.number(), "書庫の一覧を読めません " + file_, e.description());
        return std::nullopt;
    }
    return list;
}

}  // namespace fg
