#include "page_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

namespace fg::testing {

ProgramRun runProgram(const std::vector<std::string>& args) {
    ProgramRun result;
    int fds[2];
    if (::pipe(fds) != 0) return result;
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TiffPage readThroughFax2tiff(const std::string& g3Path, const std::string& tiffPath) {
    TiffPage page;
    ProgramRun conv = runProgram({"fax2tiff", "-o", tiffPath, g3Path});
    EXPECT_EQ(conv.exitCode, 0) << conv.output;
    EXPECT_EQ(conv.output.find("Bad code"), std::string::npos) << conv.output;
    ProgramRun info = runProgram({"tiffinfo", tiffPath});
    EXPECT_EQ(info.exitCode, 0) << info.output;
    // "  Image Width: 1728 Image Length: 2296"
    std::istringstream in(info.output);
    std::string line;
    while (std::getline(in, line)) {
        auto w = line.find("Image Width:");
        auto l = line.find("Image Length:");
        if (w == std::string::npos || l == std::string::npos) continue;
        page.width = std::stoi(line.substr(w + 12));
        page.length = std::stoi(line.substr(l + 13));
    }
    return page;
}

}  // namespace fg::testing
