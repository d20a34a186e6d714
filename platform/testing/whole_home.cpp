#include "platform/testing/whole_home.h"

#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>

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
    // The error log's lines that name a number as a fax that may have gone out.
    std::string errors;
    try {
        errors = fs::readFile(home + "log/ErrorLog.txt");
    } catch (...) {
    }
    for (const auto& [number, results] : a.results) {
        if (std::find(results.begin(), results.end(), "NG") == results.end()) continue;
        const std::string named = "帳票管理番号：" + number + "　";
        for (std::size_t at = errors.find(named); at != std::string::npos; at = errors.find(named, at + 1)) {
            std::size_t end = errors.find('\n', at);
            if (errors.substr(at, end - at).find("届いている可能性があります") != std::string::npos) {
                a.mayHaveGoneOut.insert(number);
                break;
            }
        }
    }
    a.leftovers = leftBehind(home);
    // A fax document (or base copy) that neither a record nor the send log
    // names was made by a batch that never stored it, and left behind.
    for (const std::string& name : fs::list(home + "FaxSendXML", "*.xml")) {
        const std::size_t from = name.rfind("base", 0) == 0 ? 4 : 0;
        const std::string number = name.substr(from, name.size() - 4 - from);
        if (!a.results.count(number) && std::find(a.numbers.begin(), a.numbers.end(), number) == a.numbers.end())
            a.leftovers.push_back("FaxSendXML/" + name);
    }
    return a;
}

std::vector<std::string> leftBehind(const std::string& homeIn) {
    const std::string home = fs::withSlash(homeIn);
    std::vector<std::string> left;
    for (const std::string& rel : everythingIn(home)) {
        const std::string name = fs::nameOf(rel), folder = fs::folderOf(rel);
        const bool hidden = !name.empty() && name[0] == '.';
        // Lock files stay for the next holder, but a run marker's goes with its marker.
        const bool lockFile = name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0;
        if (hidden && (name == ".keep" || (lockFile && name.rfind(".@", 0) != 0))) continue;
        const bool marker = folder.empty() && fs::matchWildcard("@*.XML", name);
        const bool work = (folder.rfind("temp/", 0) == 0 || folder.rfind("SendTemp/", 0) == 0) &&
                          !std::filesystem::is_directory(std::filesystem::symlink_status(home + rel));
        if (hidden || marker || work || text::icompare(name, "MyTalkStUp.xml") == 0) left.push_back(rel);
    }
    return left;
}

std::vector<std::string> takeTemporariesOfEndedWriters(std::vector<std::string>& left) {
    auto ended = [](const std::string& rel) {
        // The first component that is such a temporary decides (a folder's files go with it).
        for (const std::string& part : text::split(rel, '/')) {
            std::size_t mark = part.find(".tmp.");
            if (part.empty() || part[0] != '.' || mark == std::string::npos) continue;
            pid_t pid = static_cast<pid_t>(std::atol(part.c_str() + mark + 5));
            return fs::writerEnded(pid);
        }
        return false;
    };
    std::vector<std::string> taken;
    std::copy_if(left.begin(), left.end(), std::back_inserter(taken), ended);
    left.erase(std::remove_if(left.begin(), left.end(), ended), left.end());
    return taken;
}

}  // namespace fg::testing
