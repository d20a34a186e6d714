#include "archive/parvolt/parvolt.h"

#include "archive/parvolt/backend.h"
#include "archive/parvolt/result_codes.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/text.h"

#include <optional>

namespace fg {

using namespace parvolt;
using Long = Parvolt::Long;
using Int = Parvolt::Int;

namespace {

constexpr Int kMaxCount = 32767;

// State that every control of a thread shares.
struct ModuleState {
    Long currentArcMode = LHA_;
    Long lastErrorNumber = 0;
    std::string lastErrorDescription;
    std::vector<ArcListEntry> listing = std::vector<ArcListEntry>(1);
};

ModuleState& module() {
    thread_local ModuleState state;
    return state;
}

fg::Error readOnly() { return fg::Error(errnum::ReadOnlyProperty, "値を設定できません。プロパティは読み取り専用です。", "Parvolt"); }
fg::Error invalidValue() { return fg::Error(errnum::InvalidPropertyValue, "プロパティの値が不正です。", "Parvolt"); }
fg::Error subscript() { return fg::Error::standard(errnum::SubscriptOutOfRange, "Parvolt"); }

std::string withoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool isFileThere(const std::string& path) {
    try {
        return !path.empty() && fs::fileExists(withoutTrailingSlash(path));
    } catch (...) {
        return false;
    }
}

bool isFolderThere(const std::string& path) {
    try {
        return !path.empty() && fs::folderExists(withoutTrailingSlash(path));
    } catch (...) {
        return false;
    }
}

// A name as the system finds it: relative names resolve against `folder`,
// and an existing file or folder is found without regard to case.
std::string located(const std::string& folder, const std::string& path) {
    std::string full = (!path.empty() && path[0] == '/') ? path : fs::withSlash(folder) + path;
    if (auto found = fs::resolve(withoutTrailingSlash(full))) return *found;
    return full;
}

std::string folderOfArchiveName(const std::string& name) {
    std::size_t cut = name.find_last_of("/:");
    return cut == std::string::npos ? std::string() : name.substr(0, cut);
}

std::string quote(const std::string& s) { return "\"" + s + "\""; }

// One quoted name a line, CR LF, as the archivers read their response files.
// The file lives only for its operation: it is never synced to disk.
void writeListFile(const std::string& path, const std::vector<std::string>& items) {
    std::string body;
    for (const auto& item : items) body += "\"" + item + "\"\r\n";
    fs::writeFileAtomic(path, body, fs::Sync::Passing);
}

// The list file of an operation, in the temporary folder, as the archivers
// take it ("@path"); it goes however the operation ends.
std::string listFileArgument(std::optional<fs::TempFile>& list, const std::vector<std::string>& items) {
    list.emplace(fs::temporaryFolder(), "~TR");
    writeListFile(list->path(), items);
    return quote("@" + list->path());
}

// A run-time error inside an operation: shown through the message sink
// (logged on a server, never waiting for a person) and kept as the thread's
// last trapped error. Call only inside a catch.
Long trap() {
    const fg::Error error = currentError();
    module().lastErrorNumber = static_cast<Long>(error.number());
    module().lastErrorDescription = error.description();
    messageSink().show(error.description(), msgbox::OKOnly, "Parvolt");
    return result::Trapped;
}

Long notSupported(const std::string& what) {
    ErrorLogWriter().writeError("Parvolt", result::NotSupported, what + " はこのシステムではできません。");
    return result::NotSupported;
}

const char* kindName(Long kind) {
    static const char* const names[] = {"LHA", "ZIP", "CAB", "ARJ", "ISH", "TAR", "RAR"};
    return kind >= 0 && kind < kKinds ? names[kind] : "?";
}

bool checkArc(const std::string& path) {
    Long kind = module().currentArcMode;
    if (kind < 0 || kind >= kKinds) return false;
    try {
        return checkArchive(kind, path);
    } catch (...) {
        trap();
        return false;
    }
}

Long openArc(const std::string& path, Int& count) {
    Long kind = module().currentArcMode;
    if (kind < 0 || kind >= kKinds) return result::Success;
    auto& listing = module().listing;
    listing.assign(1, ArcListEntry{});
    count = 0;
    try {
        std::vector<ArcListEntry> entries = listArchive(kind, path);
        for (auto& entry : entries) {
            if (count == kMaxCount) throw fg::Error::standard(errnum::Overflow, "Parvolt");
            if (static_cast<std::size_t>(count) >= listing.size()) listing.emplace_back();
            listing[static_cast<std::size_t>(count)] = std::move(entry);
            ++count;
        }
        return result::Success;
    } catch (...) {
        return trap();
    }
}

const ArcListEntry& listed(const Int& i) {
    const auto& listing = module().listing;
    if (i < 0 || static_cast<std::size_t>(i) >= listing.size()) throw subscript();
    return listing[static_cast<std::size_t>(i)];
}

}  // namespace

Parvolt::Parvolt() { initProperties(); }

// Every member starts at its default; the thread's mode starts at LHA_.
void Parvolt::initProperties() { module().currentArcMode = LHA_; }

void Parvolt::readProperties(const PropertyBag& bag) {
    auto l = [&](const char* name, Long def) { return std::get<std::int32_t>(bag.readProperty(name, def)); };
    auto i = [&](const char* name, Int def) { return std::get<std::int16_t>(bag.readProperty(name, def)); };
    auto b = [&](const char* name, Int def) {
        return std::get<bool>(bag.readProperty(name, def == vbTrue)) ? vbTrue : vbFalse;
    };
    auto s = [&](const char* name) { return std::get<std::string>(bag.readProperty(name, std::string())); };
    SwitchSettings d;
    arcMode_ = l("ArcMode", LHA_);
    pArcFileName_ = s("pArcFileName");
    switches_.pTypeOfArc = l("pTypeOfArc", d.pTypeOfArc);
    switches_.pTypeOfCab = l("pTypeOfCab", d.pTypeOfCab);
    switches_.pTypeOfIsh = l("pTypeOfIsh", d.pTypeOfIsh);
    pBaseFolder_ = s("pBaseFolder");
    eArcFileName_ = s("eArcFileName");
    eFolder_ = s("eFolder");
    switches_.swUnderFolder = b("swUnderFolder", d.swUnderFolder);
    switches_.swDialog = b("swDialog", d.swDialog);
    switches_.swGaugeProgress = b("swGaugeProgress", d.swGaugeProgress);
    switches_.swFolderName = b("swFolderName", d.swFolderName);
    switches_.swAttribute = b("swAttribute", d.swAttribute);
    switches_.swCheckTimeStamp = b("swCheckTimeStamp", d.swCheckTimeStamp);
    switches_.swDiskSpace = b("swDiskSpace", d.swDiskSpace);
    switches_.swCommand = s("swCommand");
    sfxArcFileName_ = s("sfxArcFileName");
    sfxFolder_ = s("sfxFolder");
    switches_.sfxType = l("sfxType", d.sfxType);
    switches_.sfxCommand = s("sfxCommand");
    oBaseFolder_ = s("oBaseFolder");
    oArcFileName_ = s("oArcFileName");
    switches_.cabMultiVolume = l("cabMultiVolume", d.cabMultiVolume);
    switches_.LevelLZX = i("LevelLZX", d.LevelLZX);
    switches_.LevelQUANTUM = i("LevelQUANTUM", d.LevelQUANTUM);
    module().currentArcMode = arcMode_;
}

void Parvolt::writeProperties(PropertyBag& bag) const {
    SwitchSettings d;
    auto l = [&](const char* name, Long v, Long def) { bag.writeProperty(name, v, def); };
    auto i = [&](const char* name, Int v, Int def) { bag.writeProperty(name, v, def); };
    auto b = [&](const char* name, Int v, Int def) { bag.writeProperty(name, v == vbTrue, def == vbTrue); };
    auto s = [&](const char* name, const std::string& v) { bag.writeProperty(name, v, std::string()); };
    l("ArcMode", arcMode_, LHA_);
    s("pArcFileName", pArcFileName_);
    s("pBaseFolder", pBaseFolder_);
    l("pTypeOfArc", switches_.pTypeOfArc, d.pTypeOfArc);
    l("pTypeOfCab", switches_.pTypeOfCab, d.pTypeOfCab);
    l("pTypeOfIsh", switches_.pTypeOfIsh, d.pTypeOfIsh);
    s("eArcFileName", eArcFileName_);
    s("eFolder", eFolder_);
    b("swUnderFolder", switches_.swUnderFolder, d.swUnderFolder);
    b("swDialog", switches_.swDialog, d.swDialog);
    b("swGaugeProgress", switches_.swGaugeProgress, d.swGaugeProgress);
    b("swFolderName", switches_.swFolderName, d.swFolderName);
    b("swAttribute", switches_.swAttribute, d.swAttribute);
    b("swCheckTimeStamp", switches_.swCheckTimeStamp, d.swCheckTimeStamp);
    b("swDiskSpace", switches_.swDiskSpace, d.swDiskSpace);
    s("swCommand", switches_.swCommand);
    s("sfxArcFileName", sfxArcFileName_);
    s("sfxFolder", sfxFolder_);
    l("sfxType", switches_.sfxType, d.sfxType);
    s("sfxCommand", switches_.sfxCommand);
    s("oBaseFolder", oBaseFolder_);
    s("oArcFileName", oArcFileName_);
    l("cabMultiVolume", switches_.cabMultiVolume, d.cabMultiVolume);
    i("LevelLZX", switches_.LevelLZX, d.LevelLZX);
    i("LevelQUANTUM", switches_.LevelQUANTUM, d.LevelQUANTUM);
}

void Parvolt::setPropertyChangedHandler(std::function<void(const std::string&)> handler) {
    propertyChanged_ = std::move(handler);
}

void Parvolt::changed(const char* name) {
    if (propertyChanged_) propertyChanged_(name);
}

void Parvolt::resize(Long& width, Long& height) const {
    width = 495;
    height = 495;
}

void Parvolt::show(bool userMode) {
    iconVisible_ = !userMode;
    borderStyle_ = userMode ? 0 : 1;
}

void Parvolt::setErrorstring(const std::string&) { throw readOnly(); }
void Parvolt::setpFilesCount(Int) { throw readOnly(); }
void Parvolt::seteFilesCount(Int) { throw readOnly(); }
void Parvolt::setoFilesList(const Int&, const std::string&) { throw readOnly(); }
void Parvolt::setoPath(const Int&, const std::string&) { throw readOnly(); }

void Parvolt::sethwnd(Long value) {
    hwnd_ = value;
    changed("Hwnd");
}

void Parvolt::setArcMode(Long value) {
    arcMode_ = value;
    module().currentArcMode = value;
    changed("ArcMode");
}

#define FG_STRING_PROPERTY(name, member)          \
    void Parvolt::set##name(const std::string& v) { \
        member = v;                                \
        changed(#name);                            \
    }
FG_STRING_PROPERTY(pArcFileName, pArcFileName_)
FG_STRING_PROPERTY(eArcFileName, eArcFileName_)
FG_STRING_PROPERTY(oArcFileName, oArcFileName_)
FG_STRING_PROPERTY(pBaseFolder, pBaseFolder_)
FG_STRING_PROPERTY(eFolder, eFolder_)
FG_STRING_PROPERTY(oBaseFolder, oBaseFolder_)
FG_STRING_PROPERTY(sfxFolder, sfxFolder_)
FG_STRING_PROPERTY(sfxArcFileName, sfxArcFileName_)
FG_STRING_PROPERTY(sfxCommand, switches_.sfxCommand)
#undef FG_STRING_PROPERTY

#define FG_VALUE_PROPERTY(name, type)  \
    void Parvolt::set##name(type v) {  \
        switches_.name = v;            \
        changed(#name);                \
    }
FG_VALUE_PROPERTY(swUnderFolder, Int)
FG_VALUE_PROPERTY(swDialog, Int)
FG_VALUE_PROPERTY(swGaugeProgress, Int)
FG_VALUE_PROPERTY(swFolderName, Int)
FG_VALUE_PROPERTY(swAttribute, Int)
FG_VALUE_PROPERTY(swCheckTimeStamp, Int)
FG_VALUE_PROPERTY(swDiskSpace, Int)
FG_VALUE_PROPERTY(pTypeOfArc, Long)
FG_VALUE_PROPERTY(pTypeOfCab, Long)
FG_VALUE_PROPERTY(pTypeOfIsh, Long)
FG_VALUE_PROPERTY(sfxType, Long)
#undef FG_VALUE_PROPERTY

void Parvolt::setswCommand(const std::string& value) {
    switches_.swCommand = text::trim(value);
    changed("swCommand");
}

void Parvolt::setcabMultiVolume(Long value) {
    if (value < 0) throw invalidValue();
    switches_.cabMultiVolume = value;
    changed("cabMultiVolume");
}

void Parvolt::setLevelLZX(Int value) {
    if (value < 15 || value > 21) throw invalidValue();
    switches_.LevelLZX = value;
    changed("LevelLZX");
}

void Parvolt::setLevelQUANTUM(Int value) {
    if (value < 1 || value > 7) throw invalidValue();
    switches_.LevelQUANTUM = value;
    changed("LevelQUANTUM");
}

std::string Parvolt::pFilesList(const Int& i) const {
    if (i < 0 || i >= pFilesCount_) throw subscript();
    return pFilesList_[static_cast<std::size_t>(i)];
}

void Parvolt::setpFilesList(const Int& i, const std::string& value) {
    if (i < 0 || i >= pFilesCount_) throw subscript();
    pFilesList_[static_cast<std::size_t>(i)] = value;
    changed("pFilesList");
}

std::string Parvolt::eFilesList(const Int& i) const {
    if (i < 0 || i >= eFilesCount_) throw subscript();
    return eFilesList_[static_cast<std::size_t>(i)];
}

void Parvolt::seteFilesList(const Int& i, const std::string& value) {
    if (i < 0 || i >= eFilesCount_) throw subscript();
    eFilesList_[static_cast<std::size_t>(i)] = value;
    changed("eFilesList");
}

std::string Parvolt::oFilesList(const Int& i) const { return listed(i).name; }
std::string Parvolt::oPath(const Int& i) const { return listed(i).path; }
std::string Parvolt::oOrgSize(const Int& i) const { return listed(i).orgSize; }
std::string Parvolt::oPackedSize(const Int& i) const { return listed(i).packedSize; }
std::string Parvolt::oRatio(const Int& i) const { return listed(i).ratio; }
std::string Parvolt::oType(const Int& i) const { return listed(i).type; }
std::string Parvolt::oDate(const Int& i) const { return listed(i).date; }
std::string Parvolt::oTime(const Int& i) const { return listed(i).time; }
std::string Parvolt::oCRC(const Int& i) const { return listed(i).crc; }
std::string Parvolt::oAttr(const Int& i) const { return listed(i).attr; }

Long Parvolt::Version() const {
    Long kind = module().currentArcMode;
    if (kind < 0 || kind >= kKinds) return 0;
    return static_cast<Long>(archiverVersion(kind));
}

Long Parvolt::VersionZipJ() const { return static_cast<Long>(archiverVersion(ZIP_)); }

// The archivers run synchronously inside the caller's call: none is ever
// busy when asked.
bool Parvolt::Running() const { return false; }
bool Parvolt::RunningZipJ() const { return false; }

void Parvolt::pFilesClear() { pFilesCount_ = 0; }

void Parvolt::pAddFile(const std::string& strFile) {
    std::string name = text::trim(strFile);
    if (name.empty()) return;
    if (pFilesCount_ == kMaxCount) throw fg::Error::standard(errnum::Overflow, "Parvolt");
    pFilesList_.resize(static_cast<std::size_t>(pFilesCount_) + 1);
    pFilesList_[static_cast<std::size_t>(pFilesCount_)] = name;
    ++pFilesCount_;
}

void Parvolt::eFilesClear() { eFilesCount_ = 0; }

void Parvolt::eAddFile(const std::string& strFile) {
    if (eFilesCount_ == kMaxCount) throw fg::Error::standard(errnum::Overflow, "Parvolt");
    eFilesList_.resize(static_cast<std::size_t>(eFilesCount_) + 1);
    eFilesList_[static_cast<std::size_t>(eFilesCount_)] = strFile;
    ++eFilesCount_;
}

void Parvolt::setResult(Long code) {
    error_ = code;
    errorString_ = resultText(code, module().lastErrorDescription);
}

void Parvolt::Pack() { setResult(pack()); }
void Parvolt::Extract() { setResult(extract()); }
void Parvolt::SFX() { setResult(sfx()); }

Long Parvolt::pack() {
    const Long kind = module().currentArcMode;
    std::string base = fs::withSlash(pBaseFolder_);
    if (!isFolderThere(base)) return result::NoPath;
    std::string baseFolder = fs::withSlash(located(fs::currentFolder(), base));

    // A relative archive name lands in the base folder, as the archivers
    // resolve it there.
    std::string archive = located(baseFolder, pArcFileName_);
    if (!isFolderThere(folderOfArchiveName(archive).empty() ? "/" : folderOfArchiveName(archive)))
        return result::BadFilePath;

    std::optional<fs::TempFile> list;
    std::string files = "*.*";
    std::vector<std::string> names;
    if (kind != ARJ_ && kind != RAR_) {
        if (pFilesCount_ > 0) {
            std::vector<std::string> items;
            for (Int i = 0; i < pFilesCount_; ++i) {
                const std::string& entry = pFilesList_[static_cast<std::size_t>(i)];
                if (entry.empty()) continue;
                items.push_back(isFolderThere(baseFolder + entry) ? entry + "/*.*" : entry);
            }
            files = listFileArgument(list, items);
        }
    } else {
        std::string shown;
        for (Int i = 0; i < pFilesCount_; ++i) {
            const std::string& entry = pFilesList_[static_cast<std::size_t>(i)];
            if (entry.empty()) continue;
            bool folder = isFolderThere(baseFolder + entry);
            shown += located(baseFolder, entry) + (folder ? "/*.* " : " ");
            names.push_back(folder ? entry + "/*.*" : entry);
        }
        if (pFilesCount_ == 0) {
            shown = "*.*";
            names.push_back("*.*");
        }
        files = shown;
    }
    const std::string arc = quote(pArcFileName_);
    const std::string dir = quote(base);

    texts_ = makeSwitches(switches_);
    if (kind < 0 || kind >= kKinds) return notSupported(std::string("書庫の種類 ") + std::to_string(kind) + " の作成");
    try {
        PackCall call;
        call.kind = kind;
        call.switches = texts_.packSwitches[static_cast<std::size_t>(kind)];
        call.archive = archive;
        call.base = baseFolder;
        call.files = list ? list->path() : "*.*";
        call.names = names;
        const std::string& p = call.switches;
        switch (kind) {
        case LHA_: commandLine_ = "u -+ " + p + " " + arc + " " + dir + " " + files; break;
        case ZIP_:
            if (switches_.swCheckTimeStamp == vbTrue && isFileThere(archive)) call.switches = "-u " + p;
            commandLine_ = call.switches + " " + arc + " " + dir + " " + files;
            break;
        case CAB_: commandLine_ = "-a " + p + " " + arc + " " + dir + " " + files; break;
        case TAR_: commandLine_ = "-c " + p + " -f " + arc + " " + dir + " " + files; break;
        case ISH_:
            // One file is encoded into the folder that pArcFileName names.
            if (!isFolderThere(archive)) return result::BadFilePath;
            if (pFilesCount_ != 1) return result::TooManyFiles;
            commandLine_ = "/s " + located(baseFolder, pFilesList_[0]) + " " + text::trim(p) + " /f=" + archive;
            return notSupported("ISH 形式への変換");
        case ARJ_: commandLine_ = "arj.exe u " + p + " " + pArcFileName_ + " " + files; break;
        case RAR_:
            commandLine_ = std::string("rar.exe ") + (switches_.swCheckTimeStamp == vbTrue ? "u -std" : "a -std") + " " +
                           p + " " + pArcFileName_ + " " + files;
            break;
        }
        if (kind == LHA_ || kind == RAR_) return notSupported(std::string(kindName(kind)) + " 書庫の作成");
        return packArchive(call);
    } catch (...) {
        return trap();
    }
}

Long Parvolt::extract() {
    const Long kind = module().currentArcMode;
    std::string dest = fs::withSlash(eFolder_);
    const bool destThere = isFolderThere(dest);
    std::string destFolder = destThere ? fs::withSlash(located(fs::currentFolder(), dest)) : dest;
    if (!destFolder.empty() && destFolder[0] != '/') destFolder = fs::currentFolder() + destFolder;

    std::string archive = located(destThere ? destFolder : fs::currentFolder(), eArcFileName_);
    if (!isFileThere(archive)) return result::NoFile;
    if (kind >= 0 && kind < kKinds && !canRead(kind)) return notSupported(std::string(kindName(kind)) + " 書庫の展開");
    if (!checkArc(archive)) return result::CannotOpenFile;

    const std::string arc = quote(eArcFileName_);
    const std::string dir = quote(dest);
    std::optional<fs::TempFile> list;
    std::string files = "*.*";
    if (eFilesCount_ > 0) {
        std::vector<std::string> items;
        for (Int i = 0; i < eFilesCount_; ++i) {
            const std::string& entry = eFilesList_[static_cast<std::size_t>(i)];
            if (!entry.empty()) items.push_back(entry);
        }
        files = listFileArgument(list, items);
    }

    texts_ = makeSwitches(switches_);
    try {
        ExtractCall call;
        call.kind = kind;
        call.switches = texts_.extractSwitches[static_cast<std::size_t>(kind)];
        call.archive = archive;
        call.dest = destFolder;
        call.files = list ? list->path() : "*.*";
        const std::string& x = call.switches;
        switch (kind) {
        case LHA_: commandLine_ = "e -+ " + x + " " + arc + " " + dir + " " + files; break;
        case ZIP_: commandLine_ = x + " " + arc + " " + dir + " " + files; break;
        case CAB_:
            commandLine_ = "-x " + x + " " + arc + " " + dir + " " + files;
            if (!destThere) return result::NoPath;
            break;
        case ARJ_:
            call.keepFolders = switches_.swFolderName == vbTrue;
            commandLine_ = std::string(call.keepFolders ? "x -+" : "e -+") + " " + x + " " + arc + " " + dir + " " + files;
            break;
        case TAR_:
            commandLine_ = eFilesCount_ > 0 ? " -x" + x + " -f " + arc + " " + dir + " " + files
                                            : " -x " + x + " -f " + arc + " " + dir + " " + "*.*";
            break;
        case RAR_:
            call.keepFolders = switches_.swFolderName == vbTrue;
            commandLine_ = std::string(call.keepFolders ? "-x" : "-e") + " " + x + " " + arc + " " + dir + " " + files;
            break;
        }
        return extractArchive(call);
    } catch (...) {
        return trap();
    }
}

Long Parvolt::sfx() {
    const Long kind = module().currentArcMode;
    std::string dest = !sfxFolder_.empty() ? sfxFolder_ : folderOfArchiveName(sfxArcFileName_);
    if (!dest.empty()) dest = fs::withSlash(dest);
    const bool destThere = isFolderThere(dest);
    if (!destThere && kind != ZIP_) return result::NoPath;
    std::string archive = located(destThere ? located(fs::currentFolder(), dest) : fs::currentFolder(), sfxArcFileName_);
    if (!isFileThere(archive)) return result::NoFile;
    if (!checkArc(archive)) return result::CannotOpenFile;
    const std::string arc = quote(sfxArcFileName_);
    const std::string dir = quote(dest);
    texts_ = makeSwitches(switches_);
    switch (kind) {
    case LHA_: commandLine_ = "s " + texts_.sfxSwitches + " " + arc + " " + dir; break;
    case ZIP_: commandLine_ = "--sfx " + arc + " " + dir; break;
    case CAB_: commandLine_ = "-f " + arc + " " + dir; break;
    default: return result::NotSupported;
    }
    // Self-extracting programs are programs of another platform.
    return notSupported(std::string(kindName(kind)) + " の自己解凍書庫の作成");
}

void Parvolt::OpenFile() {
    Long code;
    std::string archive = located(fs::currentFolder(), oArcFileName_);
    const Long kind = module().currentArcMode;
    if (!isFileThere(archive)) {
        code = result::NoFile;
    } else if (kind >= 0 && kind < kKinds && !canRead(kind)) {
        code = notSupported(std::string(kindName(kind)) + " 書庫の一覧");
    } else if (!checkArc(archive)) {
        code = result::CannotOpenFile;
    } else {
        Int count = 0;
        code = openArc(archive, count);
        if (code == result::Success) oFilesCount_ = count;
    }
    setResult(code);
}

void Parvolt::AboutBox() const {
    messageSink().show("Parvolt\nVersion 1.0.0", msgbox::OKOnly, "Parvolt");
}

Long Parvolt::currentArcMode() { return module().currentArcMode; }
Long Parvolt::lastErrorNumber() { return module().lastErrorNumber; }
const std::string& Parvolt::lastErrorDescription() { return module().lastErrorDescription; }

}  // namespace fg
