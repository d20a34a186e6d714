#include "platform/testing/whole_home.h"

#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace fg::testing {

std::size_t killWholeHome(const std::string& home) {
    std::size_t killed = 0;
    // Whatever a dying parent still starts is caught by the next pass.
    eventually(
        [&] {
            auto processes = processesOfHome(home);
            for (const HomeProcess& p : processes) {
                pid_t group = ::getpgid(p.pid);
                if (group > 0 && group != ::getpgid(0)) ::killpg(group, SIGKILL);
                if (::kill(p.pid, SIGKILL) == 0) ++killed;
            }
            return processes.empty();
        },
        std::chrono::milliseconds(30000));
    return killed;
}

std::vector<std::string> handOversOf(const std::string& home) {
    // fs::list never lists names that begin with ".".
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(home)) {
        const std::string name = entry.path().filename().string();
        if (fs::matchWildcard(".@*.handover", name)) out.push_back(name);
    }
    return out;
}

std::vector<std::string> SendAccount::notRecordedOnce() const {
    std::vector<std::string> out;
    for (const std::string& n : numbers) {
        auto r = results.find(n);
        if (r == results.end() || r->second.size() != 1) out.push_back(n);
    }
    return out;
}

SendAccount accountSends(const std::string& homeIn) {
    const std::string home = fs::withSlash(homeIn);
    SendAccount a;
    xml::Document records;
    if (records.load(home + "data/FAXManageNumber.xml"))
        for (const auto& n : records.selectNodes("/FAXManageNums/FAXManageNum/RepManageNo")) a.numbers.push_back(n.text());
    xml::Document log;
    if (log.load(home + "data/FaxSendLog.xml"))
        for (const auto& entry : log.selectNodes("/FaxSendLogs/FaxSendLog")) {
            xml::Node number = entry.selectSingleNode("RepManageNo");
            xml::Node result = entry.selectSingleNode("Result");
            if (number.isNull()) continue;
            a.results[number.text()].push_back(result.isNull() ? "" : result.text());
            if (!result.isNull() && result.text() == "OK") ++a.recordedOK;
        }
    for (const auto& line : fs::list(home + "FaxLines", "*", fs::ListKind::Folders))
        for (const auto& call : fs::list(home + "FaxLines/" + line + "/outbox", "*", fs::ListKind::Folders)) {
            xml::Document fax;
            if (fax.load(home + "FaxLines/" + line + "/outbox/" + call + "/fax.xml") &&
                fax.selectSingleNode("/Fax/Status").text() == "sent")
                ++a.faxesSent;
        }
    for (const std::string& rel : everythingIn(home)) {
        const std::string name = fs::nameOf(rel), folder = fs::folderOf(rel);
        const bool marker = folder.empty() && fs::matchWildcard("@*.XML", name);
        const bool ofMarker = folder.empty() && name.rfind(".@", 0) == 0;  // a marker's lock or hand-over
        const bool work = folder.rfind("SendTemp/", 0) == 0 &&
                          !std::filesystem::is_directory(std::filesystem::symlink_status(home + rel));
        if (marker || ofMarker || (work && name != ".keep")) a.leftovers.push_back(rel);
    }
    return a;
}

}  // namespace fg::testing
