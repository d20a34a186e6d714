// The child program of the process layer's tests. Its first argument picks
// what it does; see each branch.
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/child_server.h"
#include "platform/process/event_pump.h"
#include "platform/process/process.h"
#include "platform/process/run_marker.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

void sleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The working folder, the arguments, FAXGATE_TEST_VALUE and the open
// descriptors above 2, one per line.
int report(const std::string& file, int argc, char** argv) {
    std::string out;
    char cwd[4096];
    out += std::string(::getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
    for (int i = 3; i < argc; ++i) out += std::string("arg:") + argv[i] + "\n";
    const char* v = std::getenv("FAXGATE_TEST_VALUE");
    out += std::string("env:") + (v ? v : "(none)") + "\n";
    if (DIR* d = ::opendir("/proc/self/fd")) {
        int self = ::dirfd(d);
        while (dirent* e = ::readdir(d)) {
            int fd = std::atoi(e->d_name);
            if (e->d_name[0] != '.' && fd > 2 && fd != self) out += "fd:" + std::to_string(fd) + "\n";
        }
        ::closedir(d);
    }
    if (file == "-") std::fputs(out.c_str(), stdout);  // to standard output
    else fg::fs::writeFileAtomic(file, out);
    return 0;
}

int serve(const std::string& how) {
    fg::EventPump pump;
    fg::ChildServer server(pump);
    if (how == "refuse") {
        server.refuse(fg::Error(40001, "開始できません", "TestChild"));
        return 1;
    }
    if (how == "silent") {
        sleepMs(60000);
        return 0;
    }
    server.on("echo", [](const fg::ChildServer::Values& args) { return args; });
    server.on("nothing", [](const fg::ChildServer::Values&) { return fg::ChildServer::Values{}; });
    server.on("fail", [](const fg::ChildServer::Values&) -> fg::ChildServer::Values {
        throw fg::Error(40522, "スケジュールを開始できません", "TestChild");
    });
    server.on("slow", [](const fg::ChildServer::Values& args) {
        sleepMs(std::stol(args.at(0)));
        return fg::ChildServer::Values{"late"};
    });
    server.on("raise", [&server](const fg::ChildServer::Values& args) {
        for (const auto& a : args) (void)server.raiseEvent("Tick", {a});
        return fg::ChildServer::Values{"raised"};
    });
    server.on("raiseLater", [&server, &pump](const fg::ChildServer::Values& args) {
        std::string name = args.at(0);
        pump.addTimer(std::chrono::milliseconds(std::stol(args.at(1))), [&server, name] { (void)server.raiseEvent(name); });
        return fg::ChildServer::Values{};
    });
    server.on("die", [](const fg::ChildServer::Values& args) -> fg::ChildServer::Values {
        std::fflush(nullptr);
        ::_exit(args.empty() ? 3 : std::atoi(args[0].c_str()));
    });
    server.on("raiseAndDie", [&server](const fg::ChildServer::Values&) -> fg::ChildServer::Values {
        (void)server.raiseEvent("Last", {"1"});
        (void)server.raiseEvent("Last", {"2"});
        ::_exit(4);
    });
    server.on("garbage", [](const fg::ChildServer::Values&) -> fg::ChildServer::Values {
        const char junk[] = "HELLO there\n";
        ssize_t n = ::write(3, junk, sizeof junk - 1);
        (void)n;
        sleepMs(60000);
        return {};
    });
    if (how == "stubborn") {
        // Ignores the release and SIGTERM: only SIGKILL ends it.
        ::signal(SIGTERM, SIG_IGN);
        server.onRelease([] {});
    }
    server.ready();
    if (how == "events-first") (void)server.raiseEvent("Early", {"x"});
    pump.run();
    return 0;
}

// Creates a run marker, starts a long sleeper that outlives us, tells its
// name in `file`, and waits to be killed.
int holdMarker(const std::string& folder, const std::string& file, const std::string& self) {
    fg::RunMarker m = fg::RunMarker::create(folder);
    fg::Process::startDetached(self, {"sleep", "1500"});
    fg::fs::writeFileAtomic(file, m.name());
    sleepMs(60000);
    return 0;
}

// Starts a sleeper of its own (ending with us when `ends` is "1"), tells
// its process id in `file`, and waits to be killed.
int parent(const std::string& file, const std::string& ends, const std::string& self) {
    fg::SpawnOptions o;
    o.endWithParent = ends == "1";
    fg::Process sleeper = fg::Process::start(self, {"sleep", "30000"}, o);
    fg::fs::writeFileAtomic(file, std::to_string(sleeper.pid()));
    sleeper.detach();
    sleepMs(60000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string mode = argv[1];
    try {
        if (mode == "report" && argc >= 3) return report(argv[2], argc, argv);
        if (mode == "exit" && argc >= 3) return std::atoi(argv[2]);
        if (mode == "copy-input") {
            // Standard input to standard output, until the input ends.
            char buf[256];
            for (ssize_t n; (n = ::read(0, buf, sizeof buf)) > 0;)
                if (::write(1, buf, static_cast<std::size_t>(n)) != n) return 1;
            return 0;
        }
        if (mode == "sleep" && argc >= 3) {
            sleepMs(std::atol(argv[2]));
            return 0;
        }
        if (mode == "ignore-term" && argc >= 3) {
            ::signal(SIGTERM, SIG_IGN);
            sleepMs(std::atol(argv[2]));
            return 0;
        }
        if (mode == "term-exit") {
            ::signal(SIGTERM, [](int) { ::_exit(0); });
            sleepMs(60000);
            return 1;
        }
        if (mode == "serve") return serve(argc >= 3 ? argv[2] : "");
        if (mode == "parent" && argc >= 4) return parent(argv[2], argv[3], argv[0]);
        if (mode == "marker" && argc >= 4) return holdMarker(argv[2], argv[3], argv[0]);
    } catch (const fg::Error& e) {
        std::fprintf(stderr, "test child: %ld %s\n", e.number(), e.description().c_str());
        return 9;
    }
    return 2;
}
