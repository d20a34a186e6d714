#include "archive/parvolt/result_codes.h"

#include <cstdio>

namespace fg::parvolt {

namespace {

// The texts of the archivers' return values 0x8005 to 0x8033, in order; the
// mix of full-width and half-width stops is theirs.
const char* const kArchiverTexts[] = {
    "ディスクの空きが足りません。",
    "展開先のファイルはリードオンリーです。",
    "ユーザーによって処理がスキップされました。",
    "UnKnown Type",
    "Method",
    "Password File",
    "Version",
    "格納ファイルのチェックサムが合っていません。",
    "ファイルを開けませんでした。",
    "より新しいファイルが展開先に存在しています。",
    "ファイルは展開先に存在していません。",
    "ファイルは既に存在しています。",
    "Too Many Files",
    "ディレクトリが作成できません。",
    "書き込みエラーが生じました。",
    "格納ファイルのハフマンコードが壊れています。",
    "Comment Header",
    "書庫のヘッダのチェックサムが合っていません。",
    "書庫のヘッダが壊れています。",
    "書庫を開く事が出来ません。",
    "書庫のファイル名が指定がされていません。",
    "ファイルの読み込み時にエラーが生じました。",
    "指定されたファイルは有効な LZH 書庫ではありません。",
    "コマンド指定が間違っています。",
    "作業用のためのヒープメモリが不足しています。",
    "グローバルメモリが不足しています。",
    "既に DLL が動作中です。",
    "ユーザーによって処理を中断されました。",
    "OpenArchive() で書庫とハンドルを関連付ける前に FindFirst() 等の API が使用されました。",
    "FindFirst() を使用する前に FindNext() が呼ばれた。または，これらを呼び出す前に UnlhaGetFileName() 等の API が呼ばれました。",
    "DLL でサポートされていない API が使用されました。",
    "日付及び時間の指定形式が間違っています｡",
    "作業ファイルが作成できません｡",
    "ディレクトリのパスが長すぎます｡",
    "書き込み専用属性の書庫に対する操作はできません｡",
    "すでに同じ名前のファイルが書庫に格納されています｡",
    "指定されたディレクトリには書庫がありませんでした｡",
    "レスポンスファイルの読み込み時にエラーが生じました｡",
    "ファイル名の指定が必要です｡",
    "作業ファイルの書庫への書き戻しができませんでした｡",
    "書庫のデータが欠落しています｡",
    "この SFX への書庫操作は行えません。",
    "作業ファイルの書き戻しに必要なディスクの空きがありません｡",
    "ファイルへのアクセスが許可されていません｡",
    "ファイルが見つかりません｡",
    "ログファイルのエラーです｡",
    "デバイスが見つかりません｡",
};
static_assert(sizeof(kArchiverTexts) / sizeof(kArchiverTexts[0]) == 0x8033 - 0x8005 + 1);

}  // namespace

std::string resultText(std::int32_t code, const std::string& lastErrorDescription) {
    if (code == result::Success) return "";
    if (code >= 0x8005 && code <= 0x8033) return kArchiverTexts[code - 0x8005];
    switch (code) {
    case result::Trapped: return lastErrorDescription;
    case result::NotSupported: return "サポートされていません。";
    case result::NoPath: return "指定されたパスがありません。";
    case result::BadFilePath: return "指定されたファイルのパスが誤っています。";
    default: break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<std::uint32_t>(code));
    return std::string("エラー。 ") + hex;
}

}  // namespace fg::parvolt
