#include "tools/set_up_form.h"

#include "common/vantrel/edi_folder_information_object.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "settings/locked_document.h"
#include "settings/set_up_info.h"

#include <algorithm>

namespace fg {

namespace {

constexpr const char* kErrorSource = "frmSetUp";

// The key file's elements and the settings elements they go to, in step.
constexpr const char* kKeyElements[4] = {"Key-information/CertificationKey", "Key-information/Edi-Server-Code",
                                         "Key-information/Edi-Server-Name", "Key-information/Edi-Server-URL"};
constexpr const char* kSettingsElements[4] = {"SetUpInfo/Session/ClientCertiKey", "SetUpInfo/Session/EDIMakerCode",
                                              "SetUpInfo/Session/EDIMakerName", "SetUpInfo/Session/EDIMethodRoot"};

}  // namespace

FrmSetUp::FrmSetUp(SetUpView& view) : view_(view) {}
FrmSetUp::~FrmSetUp() = default;

FrmSetUp::Outcome FrmSetUp::Form_Load() {
    try {
        dataTypes_ = resource_.getResourceName();
        view_.setDataTypes(dataTypes_, 0);
        if (cmbDataType_Click(0) == Outcome::Ended) return Outcome::Ended;
        clearChosenFiles();
        buttons_ = {};
        view_.setButtons(buttons_);
        return Outcome::Done;
    } catch (...) {
        return unexpected();
    }
}

FrmSetUp::Outcome FrmSetUp::cmbDataType_Click(int index) {
    try {
        const std::string& type = dataTypes_.at(static_cast<std::size_t>(index));
        selected_ = index;
        std::string remembered = updatePath_;
        std::string folderClass = resource_.getClass(type);
        std::string folder;
        if (!folderClass.empty()) {
            if (!folders_) folders_ = std::make_unique<EdiFolderInformationObject>();
            folder = folders_->getData(folderClass);
        }
        // Folder values of folder.xml lie below the program folder.
        updatePath_ = folder.empty() ? fs::programFolder() : fs::join(fs::programFolder(), folder);
        if (updatePath_ != remembered) clearChosenFiles();
        controlDisply();
        return Outcome::Done;
    } catch (...) {
        return unexpected();
    }
}

FrmSetUp::Outcome FrmSetUp::cmdChoice_Chosen(const std::vector<std::string>& paths) {
    try {
        std::vector<std::string> chosen;
        for (const std::string& path : paths)
            if (!path.empty()) chosen.push_back(path);
        if (chosen.empty()) return Outcome::Done;  // the dialog was cancelled
        addChosenFiles(chosen);
        showChosenFiles();
        controlDisply();
        return Outcome::Done;
    } catch (...) {
        return unexpected();
    }
}

std::string FrmSetUp::fileFilter() const {
    return selectedType() == kKeyDataType ? "クライアント認証キー (*.xml)|*.xml|" : "すべてのファイル (*.*)|*.*|";
}

FrmSetUp::Outcome FrmSetUp::cmdCancel_Click(const std::vector<int>& selectedLines) {
    if (!buttons_.cmdCancel) return Outcome::Refused;
    try {
        std::vector<std::string> names;
        for (int line : selectedLines) names.push_back(fs::nameOf(chosenFiles_.at(static_cast<std::size_t>(line))));
        if (names.empty()) {
            show(kNothingSelected);
            return Outcome::Refused;
        }
        // A selected name drops every chosen path of that file name.
        std::vector<std::string> kept;
        for (const std::string& path : chosenFiles_)
            if (std::find(names.begin(), names.end(), fs::nameOf(path)) == names.end()) kept.push_back(path);
        if (kept.empty()) {
            clearChosenFiles();
        } else {
            chosenFiles_ = std::move(kept);
            showChosenFiles();
        }
        controlDisply();
        return Outcome::Done;
    } catch (...) {
        return unexpected();
    }
}

FrmSetUp::Outcome FrmSetUp::cmdAllCancel_Click() {
    if (!buttons_.cmdAllCancel) return Outcome::Refused;
    try {
        clearChosenFiles();
        controlDisply();
        return Outcome::Done;
    } catch (...) {
        return unexpected();
    }
}

FrmSetUp::Outcome FrmSetUp::cmdUpdate_Click() {
    if (!buttons_.cmdUpdate) return Outcome::Refused;
    try {
        for (const std::string& path : chosenFiles_) registerFile(path);
    } catch (...) {
        return unexpected();
    }
    show(kFinished);
    return Outcome::Done;
}

void FrmSetUp::registerFile(const std::string& path) {
    // A file already in the target folder stays as it is: copying it over
    // itself is at best nothing.
    std::string folder = fs::folderOf(path);
    if (fs::sameFile(folder.empty() ? "." : folder, updatePath_)) return;
    // The copy lands beside the installed file and is renamed over it, so
    // that a failed copy leaves the installed one (read-only or not) in place.
    fs::copyFile(path, updatePath_ + fs::nameOf(path));
}

FrmSetUp::Outcome FrmSetUp::cmdKeyUpdate_Click() {
    if (!buttons_.cmdKeyUpdate) return Outcome::Refused;
    std::string values[4];
    if (!readKeyFile(values)) {
        show(kNotKeyFile);
        return Outcome::Refused;
    }
    values[3] = "https://" + values[3] + "/";
    try {
        // Other processes change the settings too: the load, change and save
        // hold the file's lock, and the save is atomic.
        settings::LockedDocument file(updatePath_ + SetUpInfo::kFileName);
        if (!file.loaded()) throw Error(errnum::PathFileAccessError, settings::loadFailure(file.path(), file.parseError()));
        xml::Node targets[4];
        for (int i = 0; i < 4; ++i) {
            targets[i] = file.document().selectSingleNode(kSettingsElements[i]);
            if (!targets[i]) throw Error(errnum::PathFileAccessError, file.path() + " に " + kSettingsElements[i] + " がありません。");
        }
        for (int i = 0; i < 4; ++i) targets[i].setText(values[i]);
        file.save();
    } catch (...) {
        logCurrentError(kErrorSource);
        show(kKeyFailed);
        return Outcome::Refused;
    }
    show(kFinished);
    return Outcome::Done;
}

bool FrmSetUp::readKeyFile(std::string values[4]) {
    try {
        xml::Document key;
        if (!key.load(chosenFiles_.front())) return false;
        for (int i = 0; i < 4; ++i) {
            xml::Node element = key.selectSingleNode(kKeyElements[i]);
            if (!element) return false;
            values[i] = element.text();
        }
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

void FrmSetUp::cmdEnd_Click() { view_.endProgram(false); }

void FrmSetUp::setUpdatePath(const std::string& path) { updatePath_ = fs::withSlash(path); }

std::size_t FrmSetUp::lineCount() const {
    return chosenFiles_.size() == 1 && chosenFiles_.front().empty() ? 0 : chosenFiles_.size();
}

FrmSetUp::Outcome FrmSetUp::unexpected() {
    Error e = logCurrentError(kErrorSource);
    show(std::string(kUnexpected) + "   ERROR_CODE:" + std::to_string(e.number()));
    view_.endProgram(true);
    return Outcome::Ended;
}

void FrmSetUp::show(const std::string& message) { messageSink().show(message, msgbox::OKOnly, kTitle); }

std::string FrmSetUp::selectedType() const {
    return selected_ >= 0 && static_cast<std::size_t>(selected_) < dataTypes_.size() ? dataTypes_[selected_] : std::string();
}

void FrmSetUp::addChosenFiles(const std::vector<std::string>& paths) {
    if (lineCount() == 0) chosenFiles_.clear();
    chosenFiles_.insert(chosenFiles_.end(), paths.begin(), paths.end());
}

void FrmSetUp::showChosenFiles() {
    std::vector<std::string> names;
    for (const std::string& path : chosenFiles_) names.push_back(fs::nameOf(path));
    view_.setFileNames(names);
}

void FrmSetUp::clearChosenFiles() {
    chosenFiles_.assign(1, std::string());
    view_.setFileNames({});
}

void FrmSetUp::controlDisply() {
    std::size_t lines = lineCount();
    bool key = selectedType() == kKeyDataType;
    buttons_.cmdCancel = lines > 0;
    buttons_.cmdAllCancel = lines > 0;
    buttons_.cmdUpdate = lines >= 2 || (lines == 1 && !key);
    buttons_.cmdKeyUpdate = lines == 1 && key;
    view_.setButtons(buttons_);
}

}  // namespace fg
