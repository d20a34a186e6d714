#include "tools/resource_update/command_line.h"

#include "tools/set_up_form.h"

#include "platform/message_sink.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace fg {

namespace {

class NoView : public SetUpView {
public:
    void setDataTypes(const std::vector<std::string>&, int) override {}
    void setFileNames(const std::vector<std::string>&) override {}
    void setButtons(const SetUpButtons&) override {}
    void endProgram(bool) override {}
};

int refuse(const std::string& why) {
    std::fprintf(stderr, "resource_update: %s\n", why.c_str());
    return 2;
}

int exitCode(FrmSetUp::Outcome outcome) { return outcome == FrmSetUp::Outcome::Done ? 0 : 1; }

// Selects the data type of that name; -1 when there is none.
int selectType(FrmSetUp& form, const std::string& type) {
    const auto& types = form.dataTypes();
    auto found = std::find(types.begin(), types.end(), type);
    return found == types.end() ? -1 : static_cast<int>(found - types.begin());
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args) {
    setMessageSink(std::make_shared<ConsoleMessageSink>());
    NoView view;
    FrmSetUp form(view);
    if (form.Form_Load() != FrmSetUp::Outcome::Done) return 1;
    const std::string& command = args.at(0);
    if (command == "types") {
        for (std::size_t i = 0; i < form.dataTypes().size(); ++i) {
            if (form.cmbDataType_Click(static_cast<int>(i)) != FrmSetUp::Outcome::Done) return 1;
            std::printf("%s\t%s\n", form.dataTypes()[i].c_str(), form.UpdatePath().c_str());
        }
        return 0;
    }
    bool key = command == "key";
    const std::string type = key ? FrmSetUp::kKeyDataType : args.at(1);
    int index = selectType(form, type);
    if (index < 0) return refuse("no data type \"" + type + "\" in resource.xml");
    if (form.cmbDataType_Click(index) != FrmSetUp::Outcome::Done) return 1;
    std::vector<std::string> files(args.begin() + (key ? 1 : 2), args.end());
    if (form.cmdChoice_Chosen(files) != FrmSetUp::Outcome::Done) return 1;
    if (key) {
        if (!form.buttons().cmdKeyUpdate) return refuse("the key is registered from exactly one file");
        return exitCode(form.cmdKeyUpdate_Click());
    }
    if (!form.buttons().cmdUpdate)
        return refuse(std::string("one file of \"") + FrmSetUp::kKeyDataType + "\" is registered with: resource_update key FILE");
    return exitCode(form.cmdUpdate_Click());
}

}  // namespace fg
