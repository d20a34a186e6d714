#include "settings/set_up_info.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/xml.h"
#include "settings/locked_document.h"
#include "settings/errors.h"
#include "settings/member_guard.h"

namespace fg {

namespace {

constexpr long kNoSession = settings::errs::NoSession;
constexpr long kSaveFailed = settings::errs::SetUpSaveFailed;

struct Group {
    const char* name;
    int first;  // index of its first value
    int count;
};
// The groups in file order, each with its values in file order.
constexpr Group kGroups[] = {{"Session", 0, 6}, {"FaxFunction", 6, 1}, {"Execute", 7, 1}, {"Mail", 8, 3}};
constexpr const char* kValueNames[SetUpInfo::kValueCount] = {
    "FaxMakerCode", "EDIMakerCode",   "EDIMakerName", "EDIAddress", "ClientCertiKey", "EDIMethodRoot",
    "SendReTryNum", "Condition",      "SMTPServerName", "MailTo",   "MailFrom"};

}  // namespace

SetUpInfo::SetUpInfo() {
    try {
        path_ = FolderPathInfo().getFolderPath("SetupInfo") + kFileName;
        xml::Document doc;
        if (!doc.load(path_)) {
            readFailure_ = settings::loadFailure(path_, doc.parseError());
            settings::traceFailure(kErrorSource, Error(errnum::PathFileAccessError, readFailure_));
        }
        bool session = false;
        for (const Group& group : kGroups) {
            for (const xml::Node& element : doc.getElementsByTagName(group.name)) {
                if (group.first == 0) session = true;
                for (int v = group.first; v < group.first + group.count; ++v)
                    for (const xml::Node& value : element.getElementsByTagName(kValueNames[v]))
                        values_[v] = Variant(value.text());
            }
        }
        if (!session) throw Error(kNoSession, kFileName);
    } catch (...) {
        logCurrentError(kErrorSource);
    }
}

bool SetUpInfo::save() {
    try {
        if (path_.empty()) throw Error(errnum::PathNotFound, "設定ファイルのフォルダが分かりません。");
        // The new document is complete before the file is touched: a value
        // that cannot be written (Null) fails here.
        xml::Document doc;
        doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"Shift_JIS\""));
        xml::Node root = doc.appendChild(doc.createElement("SetUpInfo"));
        for (const Group& group : kGroups) {
            xml::Node element = root.appendChild(doc.createElement(group.name));
            for (int v = group.first; v < group.first + group.count; ++v) {
                xml::Node value = element.appendChild(doc.createElement(kValueNames[v]));
                std::string text = values_[v].toText();
                if (!text.empty()) value.setText(text);
            }
        }
        FileLock lock(path_);
        if (fs::fileExists(path_)) {
            xml::Document existing;
            if (!existing.load(path_))
                throw Error(kSaveFailed, "読み込めない設定ファイルは上書きしません。" +
                                             settings::loadFailure(path_, existing.parseError()));
        }
        doc.save(path_);
        return true;
    } catch (...) {
        Error e = currentError();
        settings::logError(kErrorSource, Error(kSaveFailed, e.description()));
        return false;
    }
}

}  // namespace fg
