#include "settings/locked_document.h"

#include "platform/error.h"

namespace fg::settings {

LockedDocument::LockedDocument(const std::string& path, std::chrono::milliseconds lockBound)
    : path_(path), lock_(path, FileLock::Mode::Exclusive, lockBound) {
    loaded_ = document_.load(path_);
}

void LockedDocument::save() const {
    if (!loaded_ || document_.documentElement().isNull())
        throw Error(errnum::PathFileAccessError, "読み込めなかったファイルには保存しません。" + path_);
    document_.save(path_);
}

std::string loadFailure(const std::string& path, const xml::ParseError& error) {
    std::string text = path;
    if (!error.reason.empty()) text += " " + error.reason;
    if (error.line > 0) text += " (" + std::to_string(error.line) + " 行目)";
    return text;
}

}  // namespace fg::settings
