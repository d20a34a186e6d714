#include "supervisor/end_control_file.h"

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/values.h"
#include "platform/xml.h"

namespace fg {

EndControlFile::EndControlFile() : path_(fs::programFolder() + kFileName) {}

EndControlFile::Reading EndControlFile::read() const {
    Reading r;
    xml::Document doc;
    // Saves are atomic renames: a load sees the old file or the new one, so
    // a reader needs no lock.
    if (!doc.load(path_)) {
        r.loadError = doc.parseError().reason;
        return r;
    }
    r.loaded = true;
    auto lastValue = [&](const char* name) {
        int value = 0;
        for (const auto& node : doc.getElementsByTagName(name)) {
            std::string text = node.text();
            try {
                value = toInt16(text);
            } catch (const Error&) {
                value = 0;
                r.badText = std::string(name) + "=\"" + text + "\"";
            }
        }
        return value;
    };
    r.value = lastValue(kEndRequest);
    if (r.value == 0) r.value = lastValue(kTelephonyErrReq);
    return r;
}

void EndControlFile::set(const std::vector<std::pair<std::string, std::string>>& values) const {
    (void)change(values, nullptr);
}

bool EndControlFile::setIfUnchanged(const std::vector<std::pair<std::string, std::string>>& values,
                                    const std::optional<fs::FileStamp>& since) const {
    return change(values, &since);
}

std::optional<fs::FileStamp> EndControlFile::stamp() const { return fs::stampOf(path_); }

bool EndControlFile::change(const std::vector<std::pair<std::string, std::string>>& values,
                            const std::optional<fs::FileStamp>* since) const {
    FileLock lock(path_);
    if (since && fs::stampOf(path_) != *since) return false;
    xml::Document doc;
    if (!doc.load(path_)) {
        long number = fs::fileExists(path_) ? doc.parseError().errorCode : errnum::FileNotFound;
        throw Error(number ? number : errnum::FileNotFound,
                    "起動･終了ファイル[End.xml]を読めません: " + path_ + ": " + doc.parseError().reason, "EndControlFile");
    }
    for (const auto& [element, value] : values)
        for (auto& node : doc.getElementsByTagName(element)) node.setText(value);
    doc.save(path_);
    return true;
}

}  // namespace fg
