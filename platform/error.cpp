#include "platform/error.h"

#include "platform/invariant.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace fg {

Error::Error(long number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {
    what_ = std::to_string(number_) + ": " + description_;
}

std::string Error::standardText(long number) {
    switch (number) {
    case errnum::InvalidProcedureCall: return "プロシージャの呼び出し、または引数が不正です。";
    case errnum::Overflow: return "オーバーフローしました。";
    case errnum::OutOfMemory: return "メモリが不足しています。";
    case errnum::SubscriptOutOfRange: return "インデックスが有効範囲にありません。";
    case errnum::TypeMismatch: return "型が一致しません。";
    case errnum::InternalError: return "内部エラーです。";
    case errnum::BadFileNameOrNumber: return "ファイル名または番号が不正です。";
    case errnum::FileNotFound: return "ファイルが見つかりません。";
    case errnum::FileAlreadyExists: return "既に同名のファイルが存在しています。";
    case errnum::PermissionDenied: return "書き込みできません。";
    case errnum::PathFileAccessError: return "パス名が無効です。";
    case errnum::PathNotFound: return "パスが見つかりません。";
    case errnum::ObjectNotSet: return "オブジェクト変数または With ブロック変数が設定されていません。";
    case 94: return "Null の使い方が不正です。";
    case 457: return "このキーは既にこのコレクションの要素に割り当てられています。";
    default: return "アプリケーション定義またはオブジェクト定義のエラーです。";
    }
}

Error Error::standard(long number, std::string source) {
    return Error(number, standardText(number), std::move(source));
}

namespace {

Error foreign(long number, const char* words) {
    std::string description = Error::standardText(number);
    if (words && *words) description += std::string(" (") + words + ")";
    return Error(number, std::move(description));
}

}  // namespace

Error currentError() {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error::standard(errnum::OutOfMemory);
    } catch (const std::out_of_range& e) {
        return foreign(errnum::SubscriptOutOfRange, e.what());
    } catch (const std::exception& e) {
        return foreign(errnum::InvalidProcedureCall, e.what());
    } catch (...) {
        return Error::standard(errnum::InvalidProcedureCall);
    }
}

}  // namespace fg
