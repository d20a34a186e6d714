// Stands in for every fax job program in the tests: the test links it into
// its home under a job's name, and each start appends one line to
// "JobStarts.txt" of the program folder: the name it was started by, then
// each argument, separated by tabs.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* home = std::getenv("FAXGATE_HOME");
    if (!home) return 2;
    std::string name = argv[0];
    name = name.substr(name.rfind('/') + 1);
    std::string line = name;
    for (int i = 1; i < argc; ++i) line += std::string("\t") + argv[i];
    line += "\n";
    int fd = ::open((std::string(home) + "JobStarts.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    // One write per line keeps the lines of jobs started together whole.
    bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written ? 0 : 1;
}
