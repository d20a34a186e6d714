// The resource update tool's form (frmSetUp): the operator picks a data type,
// chooses files, and either copies them into the data type's folder or, for
// the client certification key, writes the key file's values into
// SetUpInformation.xml of that folder. The logic works through a view, so
// one class drives the GTK window, the command line and the tests; chosen
// files come in as full paths, one path each whatever blanks it holds.
//
// Beyond the form's bare logic:
// - a registered file replaces the installed one atomically: a copy that
//   fails leaves the installed file as it was (nothing is deleted first);
// - a chosen file that already lies in the target folder is left alone
//   however its folder is spelt (letter case, links);
// - the key is written under the settings file's lock with an atomic save,
//   and only when all four settings elements exist: a failure leaves the
//   file unchanged; its cause goes to the error log;
// - a click on a button that is off does nothing.
#pragma once

#include "tools/resource_list.h"

#include <memory>
#include <string>
#include <vector>

namespace fg {

class EdiFolderInformationObject;

// Which buttons controlDisply leaves on.
struct SetUpButtons {
    bool cmdCancel = false;
    bool cmdAllCancel = false;
    bool cmdUpdate = false;
    bool cmdKeyUpdate = false;
    bool operator==(const SetUpButtons&) const = default;
};

class SetUpView {
public:
    virtual ~SetUpView() = default;
    virtual void setDataTypes(const std::vector<std::string>& types, int selected) = 0;  // cmbDataType
    virtual void setFileNames(const std::vector<std::string>& names) = 0;                // lstFileName
    virtual void setButtons(const SetUpButtons& buttons) = 0;
    // The program ends: cmdEnd, or (`failed`) a failure that ends it.
    virtual void endProgram(bool failed) = 0;
};

class FrmSetUp {
public:
    static constexpr const char* kCaption = "ファイル登録";
    static constexpr const char* kTitle = "resource_update";  // message boxes
    static constexpr const char* kLabel1 = "データ種別";
    static constexpr const char* kChoice = "ファイル選択";
    static constexpr const char* kCancel = "ファイル選択解除";
    static constexpr const char* kAllCancel = "ファイル選択全解除";
    static constexpr const char* kUpdate = "ファイル登録";
    static constexpr const char* kKeyUpdate = "クライアント認証キー登録";
    static constexpr const char* kEnd = "終了";
    static constexpr const char* kKeyDataType = "クライアント認証キー";

    static constexpr const char* kNothingSelected = "ファイルが選択されていません。";
    static constexpr const char* kFinished = "処理が終了しました。";
    static constexpr const char* kNotKeyFile = "選択されたファイルはクライアント認証キーではありません。";
    static constexpr const char* kKeyFailed = "クライアント認証キーの登録に失敗しました。";
    static constexpr const char* kUnexpected = "予期しないエラーが発生しました。";

    // How an operation ended.
    enum class Outcome {
        Done,     // it ran through (with "処理が終了しました。" where it shows one)
        Refused,  // a message said why; the form goes on
        Ended,    // an unexpected failure: its message was shown and the program ends
    };

    explicit FrmSetUp(SetUpView& view);
    ~FrmSetUp();
    FrmSetUp(const FrmSetUp&) = delete;
    FrmSetUp& operator=(const FrmSetUp&) = delete;

    Outcome Form_Load();
    // A selection in cmbDataType (index into dataTypes).
    Outcome cmbDataType_Click(int index);
    // cmdChoice after the dialog: the full paths chosen; none when cancelled.
    Outcome cmdChoice_Chosen(const std::vector<std::string>& paths);
    // The dialog's filter for the current data type: "name|pattern|".
    std::string fileFilter() const;
    // cmdCancel with the selected lines of lstFileName.
    Outcome cmdCancel_Click(const std::vector<int>& selectedLines);
    Outcome cmdAllCancel_Click();
    Outcome cmdUpdate_Click();
    Outcome cmdKeyUpdate_Click();
    void cmdEnd_Click();

    const std::string& UpdatePath() const { return updatePath_; }
    void setUpdatePath(const std::string& path);

    const std::vector<std::string>& dataTypes() const { return dataTypes_; }
    int selectedDataType() const { return selected_; }
    // The chosen paths; its empty state is one "".
    const std::vector<std::string>& chosenFiles() const { return chosenFiles_; }
    const SetUpButtons& buttons() const { return buttons_; }
    // Lines of lstFileName.
    std::size_t lineCount() const;

private:
    Outcome unexpected();
    void show(const std::string& message);
    std::string selectedType() const;
    void addChosenFiles(const std::vector<std::string>& paths);
    void showChosenFiles();
    void clearChosenFiles();
    void controlDisply();
    void registerFile(const std::string& path);
    bool readKeyFile(std::string values[4]);

    SetUpView& view_;
    Resource resource_;
    std::unique_ptr<EdiFolderInformationObject> folders_;
    std::vector<std::string> dataTypes_;
    int selected_ = -1;
    std::vector<std::string> chosenFiles_{std::string()};
    std::string updatePath_;
    SetUpButtons buttons_;
};

}  // namespace fg
